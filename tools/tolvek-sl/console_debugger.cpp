// The console debugger's commands and output.
#include "console_debugger.h"

#include <readline/history.h>
#include <readline/readline.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "platform/file_paths.h"
#include "platform/number_text.h"
#include "platform/text_format.h"
#include "script/interp/script_runner.h"
#include "script/name_compare.h"
#include "script/interp/sl_context.h"
#include "script/tasks/script_task.h"

namespace tolvek {

namespace {

constexpr const char* kHelp =
    "commands: s(tep) into, n(ext) over, c(ontinue), b(reak) [FILE:]LINE toggles a breakpoint,\n"
    "          l(ist) breakpoints, p(rint) stacks, q(uit) aborts the script, h(elp)\n";

// The next command line; false at the end of the input.
bool ReadCommand(std::string& line) {
  if (isatty(STDIN_FILENO)) {
    std::unique_ptr<char, decltype(&std::free)> text(readline("(debug) "), &std::free);
    if (!text) return false;
    line = text.get();
    if (!line.empty()) add_history(text.get());
    return true;
  }
  return static_cast<bool>(std::getline(std::cin, line));
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

}  // namespace

TConsoleDebugger::TConsoleDebugger(TScriptTask& task, TRunUntil runUntil)
    : task_(task), debugger_(*task.GetDebugger()), runUntil_(std::move(runUntil)) {
  debugger_.SetView(this);
  ShowDebugger();
  for (uint16_t id : debugger_.GetSources()) SourceAdded(id, debugger_.SourceName(id));
}

TConsoleDebugger::~TConsoleDebugger() { debugger_.SetView(nullptr); }

void TConsoleDebugger::ShowDebugger() { std::printf("%s", kHelp); }

void TConsoleDebugger::SourceAdded(uint16_t, const std::string& name) {
  std::printf("source %s\n", name.c_str());
}

std::string TConsoleDebugger::Where(uint16_t storageID, int32_t line) {
  const std::string name = debugger_.SourceName(storageID);
  return StrFormat("[%s, %d]", name.empty() ? std::string("string") : std::string(FileNamePart(name)),
                   line);
}

std::string TConsoleDebugger::SourceLine(uint16_t storageID, int32_t line) {
  auto it = sourceLines_.find(storageID);
  if (it == sourceLines_.end()) {
    std::vector<std::string> lines;
    const std::string name = debugger_.SourceName(storageID);
    if (!name.empty() && FileExists(name)) {
      std::ifstream in(NativePath(name), std::ios::binary);
      for (std::string text; std::getline(in, text);) lines.push_back(text);
    }
    it = sourceLines_.emplace(storageID, std::move(lines)).first;
  }
  if (line < 1 || line > static_cast<int32_t>(it->second.size())) return {};
  return Trim(it->second[static_cast<size_t>(line - 1)]);
}

void TConsoleDebugger::ShowPosition(uint16_t storageID, int32_t, int32_t, int32_t line) {
  std::printf("at %s %s\n", Where(storageID, line).c_str(), SourceLine(storageID, line).c_str());
}

void TConsoleDebugger::ShowMessage(const std::string& text) { std::printf("%s\n", text.c_str()); }

bool TConsoleDebugger::Stopped() {
  if (!task_.IsBusy()) return true;
  if (task_.GetSchedulerTask().State() != tsWaiting) return false;
  const TSLContextState state = task_.GetContext()->GetState();
  return state == csRunning || state == csBreak;
}

void TConsoleDebugger::Run() {
  for (;;) {
    std::fflush(stdout);
    runUntil_([this] { return Stopped(); });
    if (!task_.IsBusy()) return;
    std::string line;
    if (!ReadCommand(line)) {
      // Without further commands the script runs to its end.
      debugger_.Run();
      runUntil_([this] { return !task_.IsBusy(); });
      return;
    }
    if (!Command(Trim(line))) {
      task_.Abort();
      runUntil_([this] { return !task_.IsBusy(); });
      return;
    }
  }
}

bool TConsoleDebugger::Command(const std::string& line) {
  const size_t blank = line.find(' ');
  const std::string word = line.substr(0, blank);
  const std::string argument = blank == std::string::npos ? std::string() : Trim(line.substr(blank));
  if (word == "s" || word == "step") {
    debugger_.StepInto();
  } else if (word == "n" || word == "next") {
    debugger_.StepOver();
  } else if (word == "c" || word == "continue") {
    debugger_.Run();
  } else if (word == "b" || word == "break") {
    Break(argument);
  } else if (word == "l" || word == "list") {
    ListBreakpoints();
  } else if (word == "p" || word == "print") {
    PrintStacks();
  } else if (word == "q" || word == "quit") {
    return false;
  } else if (word == "h" || word == "help" || word.empty()) {
    std::printf("%s", kHelp);
  } else {
    std::printf("unknown command '%s'\n%s", word.c_str(), kHelp);
  }
  return true;
}

void TConsoleDebugger::Break(const std::string& argument) {
  const std::vector<uint16_t>& sources = debugger_.GetSources();
  if (sources.empty()) {
    std::printf("no source file to set breakpoints in\n");
    return;
  }
  uint16_t source = sources.front();
  std::string lineText = argument;
  const size_t colon = argument.rfind(':');
  if (colon != std::string::npos) {
    const std::string file = argument.substr(0, colon);
    lineText = argument.substr(colon + 1);
    bool found = false;
    for (uint16_t id : sources)
      if (SameName(FileNamePart(debugger_.SourceName(id)), file)) {
        source = id;
        found = true;
      }
    if (!found) {
      std::printf("no source '%s'\n", file.c_str());
      return;
    }
  }
  int64_t line = 0;
  if (!TryParseInt(lineText, line)) {
    std::printf("usage: b [FILE:]LINE\n");
    return;
  }
  const int32_t position = debugger_.PositionOfLine(source, static_cast<int32_t>(line));
  if (position < 0) {
    std::printf("no executable name on line %s\n", lineText.c_str());
    return;
  }
  const bool set = debugger_.ToggleBreak(source, position);
  std::printf("breakpoint %s at %s\n", set ? "set" : "removed",
              Where(source, static_cast<int32_t>(line)).c_str());
}

void TConsoleDebugger::ListBreakpoints() {
  for (uint16_t id : debugger_.GetSources())
    for (const TScriptBreakpoint& breakpoint : debugger_.Breakpoints(id))
      std::printf("breakpoint at %s %s\n", Where(id, breakpoint.Line).c_str(),
                  breakpoint.Name.c_str());
}

void TConsoleDebugger::PrintStacks() {
  TSLContextImplementation& context = *task_.GetContext();
  std::string operands;
  for (int32_t i = context.Operands().Count() - 1; i >= 0; --i)
    operands.append(" ").append(TSLScriptRunner::ValueText(context.Operands().Top(i)));
  std::printf("operands (bottom to top):%s\n", operands.c_str());
  std::string dictionaries;
  TSLDictionary& spaces = context.GetNamespaces();
  for (int32_t i = 0; i < context.Dicts().Count(); ++i) {
    auto* dictionary = static_cast<TSLDictionary*>(context.Dicts().Top(i));
    const int32_t named = spaces.IndexOfObj(dictionary);
    dictionaries.append(" ")
        .append(named >= 0 ? spaces.GetNameAtIndex(named) : std::string("<dictionary>"))
        .append(StrFormat("(%d)", dictionary->GetCount()));
  }
  std::printf("dictionaries (top first):%s\n", dictionaries.c_str());
  std::printf("calls (top first):\n");
  for (int32_t i = 0; i < context.Calls().Count(); ++i) {
    auto* tokenizer = static_cast<TSLTokenizer*>(context.Calls().Top(i));
    TSLObject* token = tokenizer->GetCurrentToken();
    TElmDbgInfo* info = token ? token->GetDbgInfo() : nullptr;
    std::printf("  %s %s\n", tokenizer->ClassName(),
                info ? Where(info->GetStorageID(), info->GetTokLine()).c_str() : "");
  }
}

}  // namespace tolvek
