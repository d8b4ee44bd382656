// The module check dialog: a check-box tree through which the user chooses which kinds of data
// a configuration run saves or imports. The desktop build installs a real dialog; without one
// every choice is kept, as if the user pressed OK at once.
#pragma once

#include <string>
#include <vector>

namespace tolvek {

// One choice of the dialog: a child node of the root.
struct TModuleCheckChoice {
  std::string Name;
  int ImageIndex = 0;
  bool Checked = true;
};

class TModuleCheckDialog {
public:
  virtual ~TModuleCheckDialog() = default;
  // Shows `choices` under a root node captioned `rootCaption`, all ticked, with `caption` as
  // the dialog's text. Answers false when the user cancels; on OK the choices carry the ticks.
  virtual bool Execute(const std::string& caption, const std::string& rootCaption,
                       std::vector<TModuleCheckChoice>& choices) = 0;
};

// The installed dialog, or nullptr when none is (every choice is then kept).
TModuleCheckDialog* ModuleCheckDialog();
// Installs `dialog` (not owned; nullptr uninstalls).
void SetModuleCheckDialog(TModuleCheckDialog* dialog);

// Runs the installed dialog, or keeps every choice without one.
bool ExecuteModuleCheckDialog(const std::string& caption, const std::string& rootCaption,
                              std::vector<TModuleCheckChoice>& choices);

}  // namespace tolvek
