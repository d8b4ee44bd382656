// The logic of the manual serial terminal: open a port at a chosen speed, send bytes typed as
// hexadecimal text, and log what goes out and what comes back. The dialog shows Lines() and
// redraws on OnChanged, which may come from the port thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tolvek {

class TCommDriver;
class TCommPortManager;

// The bytes of a hex entry: upper-cased with a blank appended, every run of hex digits that
// ends at another character gives one byte from its last two digits ("1 2A 3FF" gives 01 2A
// FF); at most 255 bytes.
std::string ParseTerminalHex(const std::string& entry);

class TCommTerminal {
public:
  static const std::vector<std::string>& PortNames();  // "COM1" .. "COM8"
  static const std::vector<uint32_t>& BaudRates();     // 4800 .. 115200

  explicit TCommTerminal(TCommPortManager& manager);
  ~TCommTerminal();

  // Opens the port and starts listening; on failure nothing stays open and the exception
  // (with the port's message) goes to the caller.
  void Open(const std::string& portName, uint32_t baudRate);
  void Close();
  bool IsOpen() const { return driver_ != nullptr; }
  // Sends the bytes of a hex entry; the log gets "-> " and the entry as typed.
  void Send(const std::string& entry);
  void Clear();

  std::vector<std::string> Lines() const;
  // Called after the log changed, on the thread that changed it.
  std::function<void()> OnChanged;

private:
  void Received();
  void AddLine(const std::string& line);

  TCommPortManager& manager_;
  std::unique_ptr<TCommDriver> driver_;
  std::string portName_;
  uint8_t buffer_[1024] = {};
  mutable std::mutex lock_;
  std::vector<std::string> lines_;
  bool newLine_ = false;
};

}  // namespace tolvek
