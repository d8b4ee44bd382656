// The status service of a device: it keeps the drive's status word up to date by polling it
// twice a second, and carries the commands that change the state of the drive's firmware:
// start the executable firmware, stop it, reset the drive, and set the drive up from a
// firmware file through the installation's set-up script.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "comm/service_provider.h"
#include "devices/device_service.h"
#include "kernel/task.h"
#include "kernel/task_control.h"

namespace tolvek {

class TModuleService;
class TScriptTask;
class TTalkActor;
class TTalkClient;
class TTalkService;

class TStatusService : public TDeviceService {
public:
  // Status bits.
  static constexpr uint32_t kStatusReady = 1u << 15;
  static constexpr uint32_t kProgramRunning = 1u << 14;
  // Time between status polls, and the longest a command waits to be sent.
  static constexpr int32_t kPollInterval = 500;
  // Failed polls in a row after which the status word is cleared.
  static constexpr int kMaxFailedPolls = 3;
  // The set-up script of the installation.
  static constexpr const char* kSetupScript = "PackInst\\Load.sct";

  enum TRequestState : uint8_t { rsIdle = 0, rsPending = 1, rsStopping = 2 };
  // Request tags (the records' user values).
  enum TRequestTag : uint32_t { rtStatus = 0, rtStart = 1, rtStop = 2, rtReset = 3 };

  // `talkClient` supplies the actor. The poll task starts at once and polls while the service
  // is started. Needs the main scheduler.
  TStatusService(TDevice& device, TSLDictionary* profile, TTalkClient& talkClient);
  ~TStatusService() override;

  const char* ClassName() const override { return "TStatusService"; }

  // From "Stopped": "Started" once the Talk and the module service are.
  void Start(bool& wait) override;
  // From "Started": stops polling ("Stopping", wait) and is "Stopped" when no request is on its
  // way any more.
  void Stop(bool& wait) override;
  void Kill() override {}

  uint32_t StatusWord() const { return statusWord_; }
  bool IsReady() const { return (statusWord_ & kStatusReady) != 0; }
  bool IsProgramRunning() const { return (statusWord_ & kProgramRunning) != 0; }

  // Each replaces whichever of the three commands was requested and not yet sent.
  void RequestStart();
  void RequestStop();
  void RequestReset();
  // Sets the drive up from `fileName` (".h86", ".hx2" or ".gr2" in any letter case) with the
  // set-up script, under the debugger when `debug`. Another extension is refused here with
  // "%s.Setup: unknown file extension <ext>", so the poll task never meets it.
  void RequestSetup(const std::string& fileName, bool debug);

  uint8_t RequestState() const { return requestState_; }
  int ErrorCount() const { return errorCount_; }
  bool StartRequested() const { return startRequested_; }
  bool StopRequested() const { return stopRequested_; }
  bool ResetRequested() const { return resetRequested_; }
  bool SetupRequested() const { return setupRequested_; }

  // Clients that watch the status get an update pass whenever the status word changes.
  TServiceProvider& Provider() { return provider_; }

private:
  void RequestCommand(bool& flag);
  void Wake();
  void PollStep(TMxTask& task);
  // Fills and sends the next request; false when the slice should end without waiting.
  bool SendRequest();
  void AnswersArrived();
  void StoreStatus(uint32_t word);
  void StartSetup();
  void SetupFinished();

  TTalkClient& talkClient_;
  TTalkService* talk_ = nullptr;
  TModuleService* module_ = nullptr;
  TTalkActor* actor_;
  TMxSignal signal_;
  std::unique_ptr<TMxTask> task_;
  uint8_t requestState_ = rsIdle;
  uint32_t statusWord_ = 0;
  bool startRequested_ = false;
  bool stopRequested_ = false;
  bool resetRequested_ = false;
  int errorCount_ = 0;
  std::string setupFileName_;
  bool setupDebug_ = false;
  bool setupRequested_ = false;
  TScriptTask* setupTask_ = nullptr;  // the running set-up script (it frees itself)
  TServiceProvider provider_;
};

}  // namespace tolvek
