// The port driver of the RS link: Talk frames wrapped in RS link frames on one serial port,
// one drive per port.
//
// Reception runs on the port's thread-manager thread ("TalkServer"): the link receiver checks
// each frame and puts it as a message into the frame queue. A task on the Talk scheduler
// takes the frames from there and delivers them to slot 0. The link has no acknowledgement and
// no retransmission; waiting for answers belongs to the Talk server.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "comm/frame_delivery.h"
#include "comm/port_driver.h"
#include "comm/rs_link_frame.h"

namespace tolvek {

class TCommPort;

class TRsDriver : public TPortDriver {
public:
  // `portIndex` 1..8 selects the port "COM1".."COM8".
  TRsDriver(int portIndex, uint32_t baudRate);
  ~TRsDriver() override;

  const char* ClassName() const override { return "TRsDriver"; }
  const std::string& PortName() const { return portName_; }

  // Opens the port on `threadManager`, lets the line settle, and starts the delivery task on
  // `scheduler`. Open failures are raised with the port's texts.
  void Open(TMxScheduler& scheduler, TThreadManager& threadManager) override;
  void Close() override;
  // Writes header and frame; 0x8F when the line refuses them.
  uint8_t SendFrame(uint8_t slot, const std::string& frame) override;

  // Time the line is left to settle after opening before the first frame may go out.
  static constexpr int kSettleMs = 50;

private:
  std::string portName_;
  std::unique_ptr<TCommPort> port_;
  TFrameDelivery delivery_;
  TRsReceiver receiver_;
};

}  // namespace tolvek
