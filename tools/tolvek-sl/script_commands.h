// The script-running side of tolvek-sl: running a text, standard input or a script file to its
// end and printing the operand stack, and the interactive session.
#pragma once

#include <string>

namespace tolvek {

// Runs `text` as the body of a block; prints the final operand stack bottom to top, one value
// per line, or the error text on standard error. Answers the exit status (0 or 1).
int RunScriptText(const std::string& text);
// Runs the root value of a script file as a script task would, with the same output.
int RunScriptFile(const std::string& fileName);
// The interactive session: line editing and history, the operand stack after every line,
// errors shown without ending the session. Answers the exit status.
int RunInteractive();

}  // namespace tolvek
