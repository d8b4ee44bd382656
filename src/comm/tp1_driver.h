// The port driver for drives of the older generation, which speak TP1 instead of Talk: one
// slot, whose Talk requests are translated into TP1 telegram exchanges on the line and whose
// answers come back as Talk response frames.
//
// Requests arrive on the Talk scheduler's thread and the drive's bytes on the port's
// thread-manager thread ("TalkServer"); both drive the one translator under the driver's lock.
// Response frames travel through the frame queue to a task on the Talk scheduler, which
// delivers them to slot 0.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "comm/frame_delivery.h"
#include "comm/port_driver.h"
#include "comm/tp1_translator.h"

namespace tolvek {

class TCommPort;

class TTp1Driver : public TPortDriver {
public:
  // `portIndex` 1..8 selects the port "COM1".."COM8".
  TTp1Driver(int portIndex, uint32_t baudRate);
  ~TTp1Driver() override;

  const char* ClassName() const override { return "TTp1Driver"; }
  const std::string& PortName() const { return portName_; }

  // Opens the port on `threadManager` and starts the delivery task on `scheduler`. Open
  // failures are raised with the port's texts.
  void Open(TMxScheduler& scheduler, TThreadManager& threadManager) override;
  void Close() override;
  // Starts the translation of `frame`; always 0: failures come back as [command, 0xFF].
  uint8_t SendFrame(uint8_t slot, const std::string& frame) override;

private:
  std::string portName_;
  // Serialises the translator between the Talk scheduler and the port thread.
  std::mutex lock_;
  TTp1Translator translator_;
  std::unique_ptr<TCommPort> port_;
  TFrameDelivery delivery_;
};

}  // namespace tolvek
