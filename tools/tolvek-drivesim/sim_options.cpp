// Parsing and documenting the simulator's options.
#include "sim_options.h"

#include <string_view>

#include "platform/error.h"
#include "platform/number_text.h"
#include "platform/text_format.h"

namespace tolvek {

namespace {

int64_t Number(std::string_view option, std::string_view text, int64_t low, int64_t high) {
  std::string digits(text);
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
    digits = "$" + digits.substr(2);
  int64_t value = 0;
  if (!TryParseInt(digits, value) || value < low || value > high)
    throw EError(StrFormat("%s: '%s' is not a number from %d to %d", option, text, low, high));
  return value;
}

std::vector<uint8_t> HexBytes(std::string_view option, std::string_view text) {
  std::vector<uint8_t> bytes;
  std::string digits;
  for (char c : text)
    if (c != ' ' && c != ':') digits += c;
  if (digits.empty() || digits.size() % 2 != 0 || digits.size() > 510)
    throw EError(StrFormat("%s: '%s' is not 1 to 255 bytes in hex", option, text));
  for (size_t i = 0; i < digits.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(Number(option, "$" + digits.substr(i, 2), 0, 255)));
  return bytes;
}

}  // namespace

std::string SimUsage() {
  return R"(usage: tolvek-drivesim [options]

A simulated Quarvo drive on a pseudo-terminal. The first line written to standard output is the
device path the PC opens as its serial port.

Transport
  --link rs|tp1           link protocol on the line (default rs)
  --baud N                pace everything sent at N baud, 10 bits per byte (default: unpaced)
  --link-file PATH        also create a symbolic link PATH to the device
  --stdin-lifetime        stop when standard input closes (besides SIGTERM and SIGINT)
  --log FILE              write a timestamped hex transcript of the line

Drive
  --drive FILE            drive description (default: demo-drive.stx beside the executable)
  --name TEXT             device name, up to 16 characters (default: from the description)
  --device-type N         device type word (default: from the description)
  --protocol N            protocol byte of the login answer (default 32)
  --address-width N       address bytes, 2..4 (default 3)
  --data-width N          data word bytes, 1, 2 or 4 (default 2)
  --address-step N        address step per data word (default 2)
  --max-frame N           maximum frame length, 16..255 (default 255)
  --flash-base N          first flash address (default 0x800000)
  --busy-delay MS         time flash work and program start take (default 100)
  --reset-time MS         time the drive is not ready after a reset (default 300)
  --running               the firmware program runs from power-on
  --tp1-chunk-limit N     chunk limit a TP1 block write announces, 1..255 (default 64)

Faults (all off by default, any combination)
  --drop-every N          drop every Nth answer
  --corrupt-every N       send every Nth answer with a wrong check byte
  --garbage N             put N noise bytes before every answer frame (RS link)
  --silent-after N        send nothing after the first N answers
  --late-every N          hold back every Nth answer by the late time
  --late-ms MS            the late time (default 2500)
  --pieces N              write answers in pieces of N bytes
  --piece-gap MS          pause between two pieces (default 2)
  --unsolicited MS        send a frame of the drive's own every MS milliseconds (RS link)
  --unsolicited-frame HEX that frame (default 8703A0860100, a recorder event)

Numbers are decimal, or hexadecimal with 0x or $.
)";
}

TSimOptions ParseSimOptions(int argc, char** argv) {
  TSimOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view opt = argv[i];
    auto value = [&]() -> std::string_view {
      if (i + 1 >= argc) throw EError(StrFormat("%s needs a value", opt));
      return argv[++i];
    };
    auto num = [&](int64_t low, int64_t high) { return Number(opt, value(), low, high); };
    TDriveConfig& d = o.drive;
    TFaultOptions& f = o.faults;
    if (opt == "--help" || opt == "-h") {
      o.help = true;
    } else if (opt == "--link") {
      const std::string_view kind = value();
      if (kind == "rs") o.link = TLinkKind::Rs;
      else if (kind == "tp1") o.link = TLinkKind::Tp1;
      else throw EError(StrFormat("--link: '%s' is neither rs nor tp1", kind));
    } else if (opt == "--baud") {
      o.baud = static_cast<int>(num(50, 10'000'000));
    } else if (opt == "--link-file") {
      o.linkFile = value();
    } else if (opt == "--stdin-lifetime") {
      o.stdinLifetime = true;
    } else if (opt == "--log") {
      o.logFile = value();
    } else if (opt == "--drive") {
      o.driveFile = value();
    } else if (opt == "--name") {
      d.name = value();
      o.nameGiven = true;
      if (d.name.size() > 16) throw EError("--name: at most 16 characters");
    } else if (opt == "--device-type") {
      d.deviceType = static_cast<uint16_t>(num(0, 0xFFFF));
      o.deviceTypeGiven = true;
    } else if (opt == "--protocol") {
      d.protocol = static_cast<uint8_t>(num(0, 255));
    } else if (opt == "--address-width") {
      d.addressWidth = static_cast<uint8_t>(num(2, 4));
    } else if (opt == "--data-width") {
      d.dataWidth = static_cast<uint8_t>(num(1, 4));
    } else if (opt == "--address-step") {
      d.addressStep = static_cast<uint8_t>(num(1, 4));
    } else if (opt == "--max-frame") {
      d.maxFrame = static_cast<uint8_t>(num(16, 255));
    } else if (opt == "--flash-base") {
      d.flashBase = static_cast<uint32_t>(num(1, 0xFFFFFFFF));
    } else if (opt == "--busy-delay") {
      d.busyDelayMs = static_cast<int>(num(0, 600'000));
    } else if (opt == "--reset-time") {
      d.resetTimeMs = static_cast<int>(num(0, 600'000));
    } else if (opt == "--running") {
      d.running = true;
    } else if (opt == "--tp1-chunk-limit") {
      o.tp1ChunkLimit = static_cast<int>(num(1, 255));
    } else if (opt == "--drop-every") {
      f.dropEvery = static_cast<int>(num(1, 1'000'000));
    } else if (opt == "--corrupt-every") {
      f.corruptEvery = static_cast<int>(num(1, 1'000'000));
    } else if (opt == "--garbage") {
      f.garbageBytes = static_cast<int>(num(0, 4096));
    } else if (opt == "--silent-after") {
      f.silentAfter = static_cast<int>(num(0, 1'000'000'000));
    } else if (opt == "--late-every") {
      f.lateEvery = static_cast<int>(num(1, 1'000'000));
    } else if (opt == "--late-ms") {
      f.lateMs = static_cast<int>(num(0, 600'000));
    } else if (opt == "--pieces") {
      f.pieceBytes = static_cast<int>(num(1, 255));
    } else if (opt == "--piece-gap") {
      f.pieceGapMs = static_cast<int>(num(0, 60'000));
    } else if (opt == "--unsolicited") {
      o.unsolicitedMs = static_cast<int>(num(1, 3'600'000));
    } else if (opt == "--unsolicited-frame") {
      o.unsolicitedFrame = HexBytes(opt, value());
    } else {
      throw EError(StrFormat("unknown option '%s'", opt));
    }
  }
  return o;
}

}  // namespace tolvek
