// The interpreter's run loop.
#include "script/interp/sl_interpreter.h"

#include "platform/file_paths.h"
#include "platform/text_format.h"
#include "platform/tick_count.h"

namespace tolvek {

namespace {

// Steps between two looks at the clock: a step is far shorter than a millisecond, so the slice
// still ends within a fraction of a millisecond of its due time.
constexpr uint32_t kStepsPerClockRead = 64;

// What a step notification shows: names, strings and numbers; other tokens as null.
TSLObject* ShownToken(TSLObject* token) {
  if (dynamic_cast<TSLIdent*>(token) || dynamic_cast<TSLString*>(token) ||
      dynamic_cast<TSLNumber*>(token))
    return token;
  return nullptr;
}

bool AtBreakpoint(TSLObject* token) {
  auto* ident = dynamic_cast<TSLIdent*>(token);
  if (!ident || !ident->GetExecutable()) return false;
  TElmDbgInfo* info = ident->GetDbgInfo();
  return info && info->GetBreakpoint();
}

}  // namespace

bool TSLInterpreter::Run(TSLContext& context) { return Execute(context, mdRun); }
bool TSLInterpreter::Step(TSLContext& context) { return Execute(context, mdStep); }
bool TSLInterpreter::StepOver(TSLContext& context) { return Execute(context, mdStepOver); }

bool TSLInterpreter::Execute(TSLContext& base, TMode mode) {
  auto& context = *CastObj<TSLContextImplementation>(&base);
  switch (context.GetState()) {
    case csIdle: throw EError("interpreter called in idle state");
    case csFinished: throw EError("interpreter called in finished state");
    default: break;
  }
  context.ResetWaitTime();
  if (mode == mdStepOver && context.GetState() == csRunning)
    context.SetCallDepthMark(context.Calls().Count());
  if (context.GetState() == csSlice) context.SetState(csRunning);
  const uint32_t start = GetTickCount();
  uint32_t steps = 0;
  for (;;) {
    // Without a debugger nothing needs to look at single steps: run a batch between two looks
    // at the clock.
    if (mode == mdRun && !OnDebugger && context.GetState() == csRunning) {
      context.RunSteps(kStepsPerClockRead);
      const TSLContextState state = context.GetState();
      if (state == csFinished) return true;
      if (state == csWait) return false;
      if (state != csRunning && state != csContinue) return false;
      if (GetTickCount() - start > kSliceMilliseconds) {
        if (state == csRunning) context.SetState(csSlice);
        return false;
      }
      continue;
    }
    switch (context.GetState()) {
      case csRunning:
        context.Step();
        if (mode == mdStep) {
          if (OnDebugger) OnDebugger(ShownToken(context.CurrentToken()));
        } else {
          if (context.GetState() == csFinished) return true;
          if (OnDebugger && context.GetState() == csRunning && AtBreakpoint(context.CurrentToken())) {
            OnDebugger(context.CurrentToken());
            context.SetState(csBreak);
            return false;
          }
        }
        break;
      case csWait:
        throw EError("interpreter called in wait state");
      case csContinue:
        context.ContinueAfterWait();
        break;
      default:
        return false;
    }
    const TSLContextState state = context.GetState();
    if (mode == mdStep) return state == csFinished;
    if (state == csFinished) return true;
    if (state == csWait) return false;
    if (mode == mdStepOver && context.Calls().Count() <= context.GetCallDepthMark()) {
      if (OnDebugger) OnDebugger(ShownToken(context.CurrentToken()));
      return false;
    }
    if (++steps % kStepsPerClockRead == 0 && GetTickCount() - start > kSliceMilliseconds) {
      context.SetState(csSlice);
      return false;
    }
  }
}

std::string RuntimeErrorText(TSLContext& context, const std::string& message,
                             const std::function<std::string(uint16_t storageID)>& sourceName) {
  TSLObject* location = context.GetErrorLocation();
  if (!location) location = context.CurrentToken();
  TElmDbgInfo* info = location ? location->GetDbgInfo() : nullptr;
  if (info && sourceName) {
    const std::string source = sourceName(info->GetStorageID());
    if (!source.empty())
      return StrFormat("[%s, %s] Runtime error: ", FileNamePart(source), info->GetTokLine()) +
             message;
  }
  return "Runtime error: " + message;
}

}  // namespace tolvek
