// The Talk service of a device: opens the device at the Talk server, logs in and learns the
// drive's link parameters, closes the device again, and hands frames that the drive sends on
// its own to listeners. The basic Talk service adds the pattern instances of the standard
// command set, through which the other services build their requests.
//
// Everything runs on the main scheduler: a login task walks the login states, an answer task
// takes the server's answers from the service's own queue and wakes the login task.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "comm/talk_command_set.h"
#include "comm/talk_link.h"
#include "devices/device_service.h"
#include "kernel/message_text.h"
#include "kernel/queue.h"
#include "kernel/task.h"
#include "kernel/task_control.h"

namespace tolvek {

class TTalkService;

// Receives the unsolicited frames of one Talk command byte from the service it is attached to.
class TTalkListener {
public:
  using TFrameEvent = std::function<void(const std::string& frame, uint32_t userValue)>;

  TTalkListener(uint8_t command, TFrameEvent callback, uint32_t userValue = 0)
      : Command(command), UserValue(userValue), Callback(std::move(callback)) {}
  // Detaches.
  ~TTalkListener();
  TTalkListener(const TTalkListener&) = delete;
  TTalkListener& operator=(const TTalkListener&) = delete;

  // Attaches to `service`, detaching from the previous one first.
  void Attach(TTalkService& service);
  // Detaches from its service, if any.
  void Detach();
  TTalkService* Service() const { return service_; }

  uint8_t Command;
  uint32_t UserValue;
  TFrameEvent Callback;

private:
  friend class TTalkService;
  TTalkService* service_ = nullptr;
};

class TTalkService : public TDeviceService, public TTalkLink {
public:
  // Login states: 0 nothing to do, 1 open, 2 opening, 3 log in, 4 logging in, 5 close,
  // 6 closing, 7 failed.
  enum TLoginState : uint8_t { lsIdle, lsOpen, lsOpening, lsLogin, lsLoggingIn, lsClose, lsClosing, lsFailed };
  enum TLoginResult : uint8_t { lrNone = 0, lrSuccess = 1, lrFailure = 2 };
  // The message kind of unsolicited frames, given to the server with "OpenDevice".
  static constexpr uint8_t kUnsolicitedKind = 5;
  // The domain of the Talk server when this program runs as a network client.
  static constexpr uint8_t kNetworkClientDomain = 22;

  // Needs the main scheduler and the message dispatcher.
  TTalkService(TDevice& device, TSLDictionary* profile);
  ~TTalkService() override;

  const char* ClassName() const override { return "TTalkService"; }

  // Reads "PortName" and "LoginData" from the device variables and fixes the server addresses.
  void Init() override;
  // From "Stopped": an "Online" device opens and logs in ("Starting", wait), any other device
  // is "Started" at once.
  void Start(bool& wait) override;
  // From "Started" or "Error": closes the device ("Stopping", wait).
  void Stop(bool& wait) override;
  // "kill not implemented".
  void Kill() override;
  // "FlashBaseAddr" and "DeviceType", as decimal text.
  void GetInfo(const std::string& name, std::string& value, bool& handled) override;

  // "TTalkService.AddListener: listener already in list".
  void AddListener(TTalkListener& listener);
  // "TTalkService.RemoveListener: listener not in list".
  void RemoveListener(TTalkListener& listener);
  size_t ListenerCount() const { return listeners_.size(); }

  const std::string& PortSpecification() const { return portSpec_; }
  const std::string& LoginData() const { return loginData_; }
  uint8_t LoginState() const { return loginState_; }
  uint8_t LoginResult() const { return loginResult_; }
  const std::string& ErrorText() const { return errorText_; }

  // Whether services of this process address the Talk server through the network gateway.
  static void SetNetworkClient(bool client);
  static bool NetworkClient();

private:
  void WakeLogin() { loginSignal_.SetSignal(true); }
  void LoginSlice(TMxTask& task);
  // Runs one login state; answers whether the next state runs without waiting.
  bool LoginStep();
  void AnswerSlice(TMxTask& task);
  void HandleAnswer(TMxMessage* message);
  void SendControl(uint8_t kind, const char* command, const std::string& parameter1, const std::string& parameter2);
  void SendLoginRequest();
  void Fail(const std::string& text);
  void Deliver(const std::string& frame);

  std::string portSpec_;
  std::string loginData_;
  uint8_t loginState_ = lsIdle;
  uint8_t loginResult_ = lrNone;
  std::string errorText_;
  std::vector<TTalkListener*> listeners_;
  TMessageWriter writer_;
  TMessageReader reader_;
  TMxQueue queue_;
  TMxSignal loginSignal_;
  std::unique_ptr<TMxTask> answerTask_;
  std::unique_ptr<TMxTask> loginTask_;
};

// The Talk service with the pattern instances of the standard command set ("TalkService").
class TBasicTalkService : public TTalkService {
public:
  TBasicTalkService(TDevice& device, TSLDictionary* profile) : TTalkService(device, profile), Commands(*this) {}

  const char* ClassName() const override { return "TBasicTalkService"; }
  TTalkCommandSet* StandardCommands() override { return &Commands; }

  TTalkCommandSet Commands;
};

}  // namespace tolvek
