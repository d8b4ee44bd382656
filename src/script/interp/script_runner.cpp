// Running scripts to their end outside a script task.
#include "script/interp/script_runner.h"

#include <chrono>
#include <thread>

#include "platform/text_format.h"
#include "script/interp/system_dictionary.h"
#include "script/lookahead_stream.h"
#include "script/storage_manager.h"
#include "script/stream_decoder.h"
#include "script/stream_encoder.h"
#include "script/string_stream.h"

namespace tolvek {

TSLScriptRunner::TSLScriptRunner(TStorageManager* storage)
    : storage_(storage), system_(CreateSystemDictionary()), create_(MakeRef<TSLDictionary>()) {}

TSLScriptRunner::~TSLScriptRunner() = default;

std::string TSLScriptRunner::ValueText(TSLObject* value) {
  try {
    TSLStreamEncoder encoder;
    std::string text = encoder.EncodeToString(value);
    if (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
  } catch (const EError&) {
    return std::string("<") + (value ? value->ClassName() : "nil") + ">";
  }
}

std::string TSLScriptRunner::SourceName(uint16_t storageID) const {
  return storage_ ? storage_->GetIDManager().SourceName(storageID) : std::string();
}

TRef<TSLBlock> TSLScriptRunner::Decode(std::string_view text, TSLRunResult& result) {
  try {
    TRef<TSLStreamDecoder> decoder = MakeRef<TSLStreamDecoder>();
    decoder->RegisterStandardSyntax();
    TRef<TSLStringStream> stream = MakeRef<TSLStringStream>();
    // A comment on the last line would swallow the closing bracket: it then goes on a line of
    // its own (otherwise it stays on the last line, so that line numbers stay the text's).
    const size_t lastLine = text.find_last_of("\r\n");
    const bool comment = text.find('%', lastLine == std::string_view::npos ? 0 : lastLine) !=
                         std::string_view::npos;
    stream->LoadText("[B " + std::string(text) + (comment ? "\n]" : " ]"));
    TRef<TSLLookaheadStream> input = MakeRef<TSLLookaheadStream>(stream.Get());
    TRef<TSLObject> block = decoder->DecodeObject(*input, true);
    // A "]" too many closes the block early; what follows it is an error, not ignored text.
    if (decoder->DecodeObject(*input, true))
      throw EError(StrFormat("[string, %d] Syntax error: composite not opened", input->GetLine()));
    input->SetStream(nullptr);
    return TRef<TSLBlock>(CastObj<TSLBlock>(block.Get()));
  } catch (const EError& e) {
    result.Error = e.Message();
    return nullptr;
  }
}

TSLRunResult TSLScriptRunner::RunText(std::string_view text) {
  TSLRunResult result;
  TRef<TSLBlock> block = Decode(text, result);
  if (!block) return result;
  return RunBlock(block.Get());
}

TSLRunResult TSLScriptRunner::RunSessionText(std::string_view text) {
  TSLRunResult result;
  TRef<TSLBlock> block = Decode(text, result);
  if (!block) return result;
  if (!context_) {
    context_ = CreateScriptContext(system_.Get(), create_.Get());
    context_->SetStorageManager(storage_);
    context_->SetOwningTask(this);
  }
  // Whatever an earlier failure left on the call stack is abandoned.
  context_->AbandonRun();
  return Execute(block.Get());
}

TSLRunResult TSLScriptRunner::RunFile(const std::string& name) {
  TSLRunResult result;
  TRef<TSLObject> script;
  try {
    if (!storage_) throw EError("no storage manager to load scripts from");
    TRef<TSLStorageObject> object(storage_->GetObject(name, saRead, true));
    script = TRef<TSLObject>(object->GetData());
    if (!dynamic_cast<TSLBlock*>(script.Get()))
      throw EError(StrFormat("'%s' does not hold a script block", name));
  } catch (const EError& e) {
    result.Error = e.Message();
    return result;
  }
  result = RunBlock(static_cast<TSLBlock*>(script.Get()));
  return result;
}

TSLRunResult TSLScriptRunner::RunBlock(TSLBlock* block) {
  context_ = CreateScriptContext(system_.Get(), create_.Get());
  context_->SetStorageManager(storage_);
  context_->SetOwningTask(this);
  return Execute(block);
}

TSLRunResult TSLScriptRunner::Execute(TSLBlock* block) {
  TSLRunResult result;
  TRef<TSLBlock> script(block);
  aborted_ = false;
  context_->ClearError();
  context_->PushBlock(block);
  try {
    for (;;) {
      ++result.RunCalls;
      const bool finished = interpreter_.Run(*context_);
      TRefObjManager::Instance().ReleasePool();
      if (aborted_) throw EError("script task aborted");
      if (finished) break;
      switch (context_->GetState()) {
        case csWait:
          std::this_thread::sleep_for(std::chrono::milliseconds(context_->GetWaitTime()));
          context_->Resume(0);
          break;
        case csBreak:
          context_->ResumeBreak();
          break;
        default:
          break;
      }
    }
    result.Ok = true;
  } catch (const std::exception& e) {
    result.Error = aborted_ ? std::string(e.what())
                            : RuntimeErrorText(*context_, e.what(), [this](uint16_t id) {
                                return SourceName(id);
                              });
  }
  TSLValueStack& operands = context_->Operands();
  for (int32_t i = operands.Count() - 1; i >= 0; --i)
    result.Stack.push_back(ValueText(operands.Top(i)));
  return result;
}

}  // namespace tolvek
