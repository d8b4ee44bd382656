// The installed module check dialog.
#include "devices/module_check_dialog.h"

namespace tolvek {

namespace {
TModuleCheckDialog* installedDialog = nullptr;
}

TModuleCheckDialog* ModuleCheckDialog() { return installedDialog; }

void SetModuleCheckDialog(TModuleCheckDialog* dialog) { installedDialog = dialog; }

bool ExecuteModuleCheckDialog(const std::string& caption, const std::string& rootCaption,
                              std::vector<TModuleCheckChoice>& choices) {
  for (TModuleCheckChoice& choice : choices) choice.Checked = true;
  if (!installedDialog) return true;
  return installedDialog->Execute(caption, rootCaption, choices);
}

}  // namespace tolvek
