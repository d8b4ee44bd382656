#include "platform/user_interface.h"

#include <cstdio>

namespace tolvek {

namespace {

TUserInterface* installed = nullptr;

const char* TypeCaption(TMsgDlgType type) {
  switch (type) {
    case TMsgDlgType::mtWarning: return "Warning";
    case TMsgDlgType::mtError: return "Error";
    case TMsgDlgType::mtInformation: return "Information";
    case TMsgDlgType::mtConfirmation: return "Confirmation";
  }
  return "Message";
}

}  // namespace

void THeadlessUserInterface::Report(const std::string& text) {
  if (!quiet_) std::fprintf(stderr, "%s\n", text.c_str());
  if (logSink_) logSink_(text);
}

TMsgDlgButton THeadlessUserInterface::MessageBox(const std::string& text, TMsgDlgType type,
                                                 unsigned buttons, TMsgDlgButton defaultButton) {
  Report(std::string(TypeCaption(type)) + ": " + text);
  if (buttons & defaultButton) return defaultButton;
  // A default outside the offered buttons would be an answer nobody could give: take the
  // first offered button instead.
  for (unsigned bit = 1; bit <= mbIgnore; bit <<= 1)
    if (buttons & bit) return static_cast<TMsgDlgButton>(bit);
  return mbOK;
}

std::optional<std::string> THeadlessUserInterface::OpenFileDialog(const std::string& title,
                                                                  const std::vector<TFileFilter>&,
                                                                  const std::string&) {
  Report(title + ": no file can be chosen without a display");
  return std::nullopt;
}

std::optional<std::string> THeadlessUserInterface::SaveFileDialog(const std::string& title,
                                                                  const std::vector<TFileFilter>&,
                                                                  const std::string&) {
  Report(title + ": no file can be chosen without a display");
  return std::nullopt;
}

void THeadlessUserInterface::Beep() {}

std::optional<std::string> THeadlessUserInterface::GetClipboardText(const std::string& format) {
  auto it = clipboard_.find(format);
  if (it == clipboard_.end()) return std::nullopt;
  return it->second;
}

void THeadlessUserInterface::SetClipboardText(const std::string& format, const std::string& text) {
  clipboard_.clear();
  clipboard_[format] = text;
}

TUserInterface& UserInterface() {
  static THeadlessUserInterface headless;
  return installed ? *installed : headless;
}

void SetUserInterface(TUserInterface* ui) { installed = ui; }

}  // namespace tolvek
