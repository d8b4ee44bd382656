// Running scripts from the command line and the interactive session.
#include "script_commands.h"

#include <readline/history.h>
#include <readline/readline.h>

#include <cstdio>
#include <memory>

#include "platform/file_paths.h"
#include "script/archive_storage.h"
#include "script/clipboard_storage.h"
#include "script/file_storage.h"
#include "script/interp/script_runner.h"
#include "script/storage_manager.h"

namespace tolvek {

namespace {

// The storage manager scripts run with: files and archives, searched in the current
// directory and then in the installation's.
std::unique_ptr<TStorageManager> MakeStorage() {
  auto storage = std::make_unique<TStorageManager>();
  storage->AddPlugin(std::make_unique<TFileStoragePlugin>(*storage), true);
  storage->AddPlugin(std::make_unique<TArchiveStoragePlugin>(*storage), true);
  storage->AddPlugin(std::make_unique<TClipboardStoragePlugin>(*storage), false);
  storage->AddSearchDirectory(CurrentDir());
  storage->AddSearchDirectory(InstallDir());
  return storage;
}

int Report(const TSLRunResult& result) {
  if (!result.Ok) {
    std::fprintf(stderr, "%s\n", result.Error.c_str());
    return 1;
  }
  std::string out;
  for (const std::string& value : result.Stack) out.append(value).push_back('\n');
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int RunScriptText(const std::string& text) {
  auto storage = MakeStorage();
  TSLScriptRunner runner(storage.get());
  return Report(runner.RunText(text));
}

int RunScriptFile(const std::string& fileName) {
  auto storage = MakeStorage();
  TSLScriptRunner runner(storage.get());
  return Report(runner.RunFile(fileName));
}

int RunInteractive() {
  auto storage = MakeStorage();
  TSLScriptRunner runner(storage.get());
  std::printf("tolvek-sl: each line runs as a block; the operand stack follows. Ctrl-D ends.\n");
  for (;;) {
    std::unique_ptr<char, decltype(&std::free)> line(readline("sl> "), &std::free);
    if (!line) break;
    const std::string text(line.get());
    if (text.find_first_not_of(" \t") == std::string::npos) continue;
    add_history(line.get());
    const TSLRunResult result = runner.RunSessionText(text);
    if (!result.Ok) std::printf("%s\n", result.Error.c_str());
    std::string shown;
    for (const std::string& value : result.Stack) shown.append(shown.empty() ? "" : " ").append(value);
    std::printf("[%s]\n", shown.c_str());
  }
  std::printf("\n");
  return 0;
}

}  // namespace tolvek
