// The Talk status byte carried by every answer of a request batch: 0 and 1 come from the
// drive, the others from the layers between the client and the line.
#pragma once

#include <cstdint>

namespace tolvek {

constexpr uint8_t kTalkSuccess = 0x00;          // the answer frame follows
constexpr uint8_t kTalkInProgress = 0x01;       // interim answer: the final one follows later
constexpr uint8_t kTalkSlotOutOfRange = 0x80;   // port driver
constexpr uint8_t kTalkDriverNotOpen = 0x81;    // port driver
constexpr uint8_t kTalkSlotTaken = 0x82;        // port driver
constexpr uint8_t kTalkSendFailed = 0x8F;       // the serial send failed
constexpr uint8_t kTalkNoPortDriver = 0x90;     // device without port driver
constexpr uint8_t kTalkNotLockOwner = 0x91;     // the sending actor does not hold the device lock
constexpr uint8_t kTalkUnknownDevice = 0xB0;    // no device with this number
constexpr uint8_t kTalkTimeout = 0xB2;          // no answer in time
constexpr uint8_t kTalkActorState = 0xBF;       // actor holds no device, or already holds one
constexpr uint8_t kTalkDeviceFailure = 0xFF;    // the device reported failure (TP1 translation)

}  // namespace tolvek
