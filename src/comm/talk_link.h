// What the request patterns, actors and block transfers need of a Talk service: where the Talk
// server is, which device number it assigned, and the link parameters learned at login.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvek {

class TTalkCommandSet;

// The link parameters of a logged-in drive. Trivially copyable: login records carry it.
struct TTalkLinkParameters {
  uint8_t Protocol = 0;
  uint8_t AddressWidth = 0;  // bytes of an address in a frame
  uint8_t DataWidth = 0;     // bytes of a data word in a frame
  uint8_t AddressStep = 0;   // address units per data word
  uint8_t MaxFrameLength = 0;
  uint16_t Words[4] = {};    // the second is the device type
  uint32_t FlashBase = 0;
  char Name[17] = {};        // NUL-terminated, at most 16 characters

  uint16_t DeviceType() const { return Words[1]; }
  std::string DeviceName() const { return Name; }
};

// Reads a login answer frame (command, status, protocol, widths, step, maximum frame length,
// four words, flash base in the address width, name of 16 bytes cut at its first NUL). False,
// and `link` untouched, when the frame is shorter than the layout up to the flash base; a name
// cut short keeps the characters that arrived.
bool ParseLoginAnswer(std::string_view frame, TTalkLinkParameters& link);

// The "LoginData" form: eight hex digits read as four bytes from the left (address width, data
// width, address step, maximum frame length). False, and `link` untouched, for any other text.
bool ParseLoginData(std::string_view text, TTalkLinkParameters& link);

// The Talk side of a device service. A Talk service derives from it; tests use it on its own.
class TTalkLink {
public:
  TTalkLink() = default;
  virtual ~TTalkLink() = default;
  TTalkLink(const TTalkLink&) = delete;
  TTalkLink& operator=(const TTalkLink&) = delete;

  virtual const char* ClassName() const { return "TTalkLink"; }
  // The pattern instances of the standard command set, when the service has them.
  virtual TTalkCommandSet* StandardCommands() { return nullptr; }

  // Where the Talk server listens: its request node, its control node and its domain.
  uint16_t RequestNode = 0;
  uint16_t ControlNode = 1;
  uint8_t ServerDomain = 0;
  // The number the server assigned when the device was opened.
  uint32_t DeviceNumber = 0;
  bool DeviceOpened = false;
  // Set once Link holds the drive's parameters.
  bool Online = false;
  TTalkLinkParameters Link;
};

}  // namespace tolvek
