// The script-running side of tolvek-sl: running a text, standard input or a script file to its
// end as a script task and printing the operand stack, the console debugger, and the
// interactive session.
#pragma once

#include <string>
#include <vector>

namespace tolvek {

// How a script is run.
struct TRunOptions {
  // Directories searched for storage objects (modules to import, files to load), in order,
  // after the current directory.
  std::vector<std::string> SearchDirectories;
  // Run under the console debugger.
  bool Debug = false;
};

// Runs `text` as the body of a block; prints the final operand stack bottom to top, one value
// per line, or the error text on standard error. Answers the exit status (0 or 1).
int RunScriptText(const std::string& text, const TRunOptions& options);
// Runs the root value of a script file as a script task, with the same output.
int RunScriptFile(const std::string& fileName, const TRunOptions& options);
// The interactive session: each line runs as a script task in one context that the session
// keeps; line editing and history, the operand stack after every line, errors shown without
// ending the session. Answers the exit status.
int RunInteractive(const TRunOptions& options);

}  // namespace tolvek
