// The debug log as every layer sees it: the three severity lines, which anybody may write
// from any thread, and the numbered channels through which producers (the Talk devices'
// traffic log) get a writer. The application's debug manager implements it and installs
// itself with SetDebugLog; until then, and after it is gone, every line is dropped.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tolvek {

// Writes one line with a 16-bit message code into a debug channel.
using TDebugWriter = std::function<void(uint16_t code, const std::string& text)>;
// Hands a channel's writer to a subscriber when the channel is (or becomes) enabled.
using TDebugSubscription = std::function<void(const TDebugWriter& writer)>;

class TDebugLog {
public:
  virtual ~TDebugLog() = default;

  // Subscribes `subscriber` to channel 1..8 (others are ignored); when the channel is
  // enabled already, `callback` gets the writer at once.
  virtual void Subscribe(int channel, TDebugSubscription callback, const void* subscriber) = 0;
  // Forgets every subscription of `subscriber`; a subscriber that goes away must call this.
  virtual void Unsubscribe(const void* subscriber) = 0;
  // Enables channel 1..8 and hands its writer to each of its subscribers in order.
  virtual void EnableChannel(int channel) = 0;
  virtual bool ChannelEnabled(int channel) const = 0;
  // One line into channel 0..8 with message code `code`.
  virtual void Output(int channel, uint16_t code, const std::string& text) = 0;

  void Info(const std::string& text) { Output(0, 0, "***INFO: " + text); }
  void Warning(const std::string& text) { Output(0, 1, "***WARNING: " + text); }
  void Error(const std::string& text) { Output(0, 2, "***ERROR: " + text); }
};

// The installed debug log, or nullptr.
TDebugLog* DebugLog();
// Installs `log` (not owned); nullptr uninstalls.
void SetDebugLog(TDebugLog* log);

// Info, Warning and Error of the installed debug log; nothing while none is installed.
void DebugInfo(const std::string& text);
void DebugWarning(const std::string& text);
void DebugError(const std::string& text);

// Each byte as two upper-case hexadecimal digits followed by a blank ("01 A5 ").
std::string DebugHexDump(const std::string& bytes);

}  // namespace tolvek
