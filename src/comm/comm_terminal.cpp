#include "comm/comm_terminal.h"

#include "comm/comm_driver.h"
#include "comm/comm_port_manager.h"
#include "platform/debug_log.h"

namespace tolvek {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string ParseTerminalHex(const std::string& entry) {
  std::string text;
  for (char c : entry) text += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  text += ' ';
  std::string bytes;
  int value = 0;
  bool inRun = false;
  for (char c : text) {
    int digit = HexDigit(c);
    if (digit >= 0) {
      value = ((value << 4) | digit) & 0xFF;
      inRun = true;
    } else if (inRun) {
      if (bytes.size() < 255) bytes += static_cast<char>(value);
      value = 0;
      inRun = false;
    }
  }
  return bytes;
}

const std::vector<std::string>& TCommTerminal::PortNames() {
  static const std::vector<std::string> names = {"COM1", "COM2", "COM3", "COM4",
                                                 "COM5", "COM6", "COM7", "COM8"};
  return names;
}

const std::vector<uint32_t>& TCommTerminal::BaudRates() {
  static const std::vector<uint32_t> rates = {4800, 9600, 19200, 38400, 57600, 115200};
  return rates;
}

TCommTerminal::TCommTerminal(TCommPortManager& manager) : manager_(manager) {}

TCommTerminal::~TCommTerminal() { driver_.reset(); }

void TCommTerminal::Open(const std::string& portName, uint32_t baudRate) {
  if (driver_) return;
  auto driver = manager_.NewCommDriver();
  driver->SetPortName(portName);
  driver->SetBaudRate(baudRate);
  driver->OpenPort();
  driver->OnComplete = [this](TCommDriver&) { Received(); };
  driver_ = std::move(driver);
  portName_ = portName;
  AddLine("Port " + portName + " opened.");
  driver_->ReceiveCount(buffer_, 1);
}

void TCommTerminal::Close() {
  if (!driver_) return;
  driver_->ClosePort();
  driver_.reset();
  AddLine("Port " + portName_ + " closed.");
}

void TCommTerminal::Send(const std::string& entry) {
  if (!driver_) return;
  std::string bytes = ParseTerminalHex(entry);
  driver_->SendBuffer(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  {
    std::lock_guard<std::mutex> guard(lock_);
    lines_.push_back("-> " + entry);
    newLine_ = true;
  }
  if (OnChanged) OnChanged();
}

void TCommTerminal::Clear() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    lines_.clear();
  }
  if (OnChanged) OnChanged();
}

std::vector<std::string> TCommTerminal::Lines() const {
  std::lock_guard<std::mutex> guard(lock_);
  return lines_;
}

void TCommTerminal::AddLine(const std::string& line) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    lines_.push_back(line);
  }
  if (OnChanged) OnChanged();
}

void TCommTerminal::Received() {
  std::string hex = DebugHexDump(std::string(reinterpret_cast<const char*>(buffer_),
                                             driver_->ReceivedCount()));
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (newLine_ || lines_.empty()) {
      lines_.push_back("<- " + hex);
      newLine_ = false;
    } else {
      lines_.back() += hex;
    }
  }
  if (OnChanged) OnChanged();
  driver_->ReceiveNone();
  driver_->ReceiveCount(buffer_, 1);
}

}  // namespace tolvek
