// The port through which the core talks to the user: message boxes, questions, file dialogs,
// the beep and the clipboard. The desktop build plugs in Qt dialogs; headless runs (tests,
// -NoForm, tolvek-sl) use THeadlessUserInterface, which answers every question with its
// default button and keeps the clipboard in the process.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tolvek {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };

// Buttons of a message box; a set is a bit mask of these.
enum TMsgDlgButton : unsigned {
  mbYes = 1u << 0,
  mbNo = 1u << 1,
  mbOK = 1u << 2,
  mbCancel = 1u << 3,
  mbAbort = 1u << 4,
  mbRetry = 1u << 5,
  mbIgnore = 1u << 6,
};

// One file-dialog filter: caption and pattern list ("Configurations (*.qvc)", "*.qvc").
struct TFileFilter {
  std::string caption;
  std::string patterns;
};

class TUserInterface {
public:
  virtual ~TUserInterface() = default;

  // Shows a message box with the given buttons and answers the button pressed. `defaultButton`
  // is the answer when nobody can be asked.
  virtual TMsgDlgButton MessageBox(const std::string& text, TMsgDlgType type, unsigned buttons,
                                   TMsgDlgButton defaultButton) = 0;

  // Asks for a file to open or a name to save under; no value when the user cancels.
  virtual std::optional<std::string> OpenFileDialog(const std::string& title,
                                                    const std::vector<TFileFilter>& filters,
                                                    const std::string& initialName) = 0;
  virtual std::optional<std::string> SaveFileDialog(const std::string& title,
                                                    const std::vector<TFileFilter>& filters,
                                                    const std::string& initialName) = 0;

  virtual void Beep() = 0;

  // The clipboard, by private format name ("ZuvivavOvo ESD"): the text held in that format,
  // or no value when the clipboard holds none.
  virtual std::optional<std::string> GetClipboardText(const std::string& format) = 0;
  // Replaces the clipboard's contents with `text` in the given format.
  virtual void SetClipboardText(const std::string& format, const std::string& text) = 0;

  // Shows an error text without a question (windows catch user-action failures this way).
  void ShowError(const std::string& text) { MessageBox(text, TMsgDlgType::mtError, mbOK, mbOK); }
};

// Without a display: every box is answered with its default button; the text goes to standard
// error and to the optional log sink. File dialogs are cancelled. The clipboard lives in the
// process.
class THeadlessUserInterface : public TUserInterface {
public:
  TMsgDlgButton MessageBox(const std::string& text, TMsgDlgType type, unsigned buttons,
                           TMsgDlgButton defaultButton) override;
  std::optional<std::string> OpenFileDialog(const std::string& title,
                                            const std::vector<TFileFilter>& filters,
                                            const std::string& initialName) override;
  std::optional<std::string> SaveFileDialog(const std::string& title,
                                            const std::vector<TFileFilter>& filters,
                                            const std::string& initialName) override;
  void Beep() override;
  std::optional<std::string> GetClipboardText(const std::string& format) override;
  void SetClipboardText(const std::string& format, const std::string& text) override;

  // Where message texts go besides standard error (the debug log, once it exists).
  void SetLogSink(std::function<void(const std::string&)> sink) { logSink_ = std::move(sink); }
  // Silences standard error (tests that provoke message boxes on purpose).
  void SetQuiet(bool quiet) { quiet_ = quiet; }

private:
  void Report(const std::string& text);

  std::map<std::string, std::string> clipboard_;
  std::function<void(const std::string&)> logSink_;
  bool quiet_ = false;
};

// The process's user interface: the one installed with SetUserInterface, else a headless one.
TUserInterface& UserInterface();
// Installs `ui` (not owned; nullptr restores the headless one).
void SetUserInterface(TUserInterface* ui);

}  // namespace tolvek
