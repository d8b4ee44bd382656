// The Talk service's login, close and unsolicited-frame handling.
#include "comm/talk_service.h"

#include <algorithm>
#include <atomic>
#include <charconv>

#include "comm/talk_client.h"
#include "comm/talk_hex.h"
#include "devices/device.h"
#include "platform/debug_log.h"
#include "platform/error.h"
#include "platform/text_format.h"
#include "platform/user_interface.h"

namespace tolvek {

namespace {

std::atomic<bool> networkClient{false};

}  // namespace

TTalkListener::~TTalkListener() { Detach(); }

void TTalkListener::Attach(TTalkService& service) {
  Detach();
  service.AddListener(*this);
}

void TTalkListener::Detach() {
  if (service_) service_->RemoveListener(*this);
}

void TTalkService::SetNetworkClient(bool client) { networkClient.store(client); }
bool TTalkService::NetworkClient() { return networkClient.load(); }

TTalkService::TTalkService(TDevice& device, TSLDictionary* profile) : TDeviceService(device, profile) {
  queue_.LogOn();
  answerTask_ = std::make_unique<TMxTask>();
  answerTask_->OnExecute = [this](TMxTask& task) { AnswerSlice(task); };
  answerTask_->Start();
  loginTask_ = std::make_unique<TMxTask>();
  loginTask_->OnExecute = [this](TMxTask& task) { LoginSlice(task); };
  loginTask_->Start();
}

TTalkService::~TTalkService() {
  loginTask_.reset();
  answerTask_.reset();
  for (TTalkListener* listener : listeners_) listener->service_ = nullptr;
  listeners_.clear();
  queue_.LogOff();
}

void TTalkService::Init() {
  TDeviceService::Init();
  portSpec_ = Device().GetDeviceVar("PortName");
  loginData_ = Device().GetDeviceVar("LoginData");
  RequestNode = 0;
  ControlNode = RequestNode + 1;
  ServerDomain = NetworkClient() ? kNetworkClientDomain : 0;
}

void TTalkService::Start(bool& wait) {
  if (State() != ssStopped) return;
  if (Device().DeviceType() == dtOnline) {
    SetState(ssStarting);
    wait = true;
    loginState_ = lsOpen;
  } else {
    SetState(ssStarted);
    loginState_ = lsIdle;
  }
  WakeLogin();
}

void TTalkService::Stop(bool& wait) {
  if (State() != ssStarted && State() != ssError) return;
  SetState(ssStopping);
  wait = true;
  loginState_ = lsClose;
  WakeLogin();
}

void TTalkService::Kill() { throw EError("kill not implemented"); }

void TTalkService::GetInfo(const std::string& name, std::string& value, bool& handled) {
  if (name == "FlashBaseAddr") {
    value = std::to_string(Link.FlashBase);
    handled = true;
  } else if (name == "DeviceType") {
    value = std::to_string(Link.DeviceType());
    handled = true;
  } else {
    TDeviceService::GetInfo(name, value, handled);
  }
}

void TTalkService::AddListener(TTalkListener& listener) {
  if (std::find(listeners_.begin(), listeners_.end(), &listener) != listeners_.end())
    throw EError("TTalkService.AddListener: listener already in list");
  listeners_.push_back(&listener);
  listener.service_ = this;
}

void TTalkService::RemoveListener(TTalkListener& listener) {
  auto it = std::find(listeners_.begin(), listeners_.end(), &listener);
  if (it == listeners_.end()) throw EError("TTalkService.RemoveListener: listener not in list");
  listeners_.erase(it);
  listener.service_ = nullptr;
}

void TTalkService::SendControl(uint8_t kind, const char* command, const std::string& parameter1,
                               const std::string& parameter2) {
  TMxMessage* message = writer_.NewMessage();
  writer_.PutCommand(command);
  writer_.PutParameter(parameter1);
  if (!parameter2.empty()) writer_.PutParameter(parameter2);
  message->SetReceiver(ControlNode, ServerDomain, kind);
  queue_.SendMessage(message);
}

void TTalkService::SendLoginRequest() {
  TMxMessage* message = writer_.NewMessage();
  writer_.PutCommand(TalkHex(TTalkClient::kLoginRequestId));
  writer_.PutParameter(TalkHex(DeviceNumber));
  writer_.PutParameter("1");
  writer_.PutParameter("1");
  message->SetReceiver(RequestNode, ServerDomain, 3);
  queue_.SendMessage(message);
}

void TTalkService::Fail(const std::string& text) {
  errorText_ = text;
  loginResult_ = lrFailure;
}

bool TTalkService::LoginStep() {
  switch (loginState_) {
    case lsIdle:
      return false;
    case lsOpen:
      DeviceOpened = false;
      Online = false;
      loginResult_ = lrNone;
      loginState_ = lsOpening;
      try {
        SendControl(1, "OpenDevice", portSpec_.empty() ? "-" : portSpec_, TalkHex(kUnsolicitedKind));
      } catch (const std::exception& failure) {
        Fail(failure.what());
        loginState_ = lsFailed;
        return true;
      }
      return false;
    case lsOpening:
      if (loginResult_ == lrNone) return false;
      if (loginResult_ == lrFailure) {
        loginState_ = lsFailed;
        return true;
      }
      DeviceOpened = true;
      loginState_ = lsLogin;
      return true;
    case lsLogin:
      if (!loginData_.empty()) {
        TTalkLinkParameters parameters;
        if (!ParseLoginData(loginData_, parameters)) {
          Fail(StrFormat("%s: invalid LoginData '%s'", ClassName(), loginData_));
          loginState_ = lsFailed;
          return true;
        }
        Link = parameters;
        Online = true;
        loginState_ = lsIdle;
        SetState(ssStarted);
        return false;
      }
      loginResult_ = lrNone;
      loginState_ = lsLoggingIn;
      try {
        SendLoginRequest();
      } catch (const std::exception& failure) {
        Fail(failure.what());
        loginState_ = lsFailed;
        return true;
      }
      return false;
    case lsLoggingIn:
      if (loginResult_ == lrNone) return false;
      if (loginResult_ == lrFailure) {
        loginState_ = lsFailed;
        return true;
      }
      loginState_ = lsIdle;
      SetState(ssStarted);
      return false;
    case lsClose:
      loginResult_ = lrNone;
      loginState_ = lsClosing;
      Online = false;
      if (!DeviceOpened) {
        // Nothing was opened (an offline device, or a failed open): nothing to close.
        loginState_ = lsIdle;
        SetState(ssStopped);
        return false;
      }
      try {
        SendControl(2, "CloseDevice", TalkHex(DeviceNumber), "");
      } catch (const std::exception& failure) {
        Fail(failure.what());
        DeviceOpened = false;
        loginState_ = lsFailed;
        return true;
      }
      return false;
    case lsClosing:
      if (loginResult_ == lrNone) return false;
      // The server keeps no device it refused to close: asking again would only repeat the
      // failure for ever.
      DeviceOpened = false;
      if (loginResult_ == lrFailure) {
        loginState_ = lsFailed;
        return true;
      }
      loginState_ = lsIdle;
      SetState(ssStopped);
      return false;
    case lsFailed:
      Online = false;
      SetState(ssError);
      DebugError(errorText_);
      UserInterface().ShowError(errorText_);
      loginState_ = DeviceOpened ? lsClose : lsIdle;
      return DeviceOpened;
  }
  return false;
}

void TTalkService::LoginSlice(TMxTask& task) {
  bool more = false;
  try {
    more = LoginStep();
  } catch (const std::exception& failure) {
    DebugError(failure.what());
  }
  if (!more) loginSignal_.SetSignal(false);
  task.WaitFor(loginSignal_, kMxInfinite);
}

void TTalkService::Deliver(const std::string& frame) {
  if (frame.empty()) return;
  const uint8_t command = static_cast<uint8_t>(frame[0]);
  // A callback may detach listeners: each is looked up again before it is called.
  const std::vector<TTalkListener*> listeners = listeners_;
  for (TTalkListener* listener : listeners) {
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) continue;
    if (listener->Command != command || !listener->Callback) continue;
    try {
      listener->Callback(frame, listener->UserValue);
    } catch (const std::exception& failure) {
      DebugError(failure.what());
    }
  }
}

void TTalkService::HandleAnswer(TMxMessage* message) {
  // Whoever holds the message at the end frees it, also when handling fails.
  struct TRelease {
    TMxMessage*& message;
    TMessageReader& reader;
    ~TRelease() {
      if (message) FreeMessage(message);
      else reader.ReleaseMessage();
    }
  } release{message, reader_};
  switch (message->Kind) {
    case 1:
    case 2: {
      const bool open = message->Kind == 1;
      if (loginState_ != (open ? lsOpening : lsClosing)) break;
      reader_.SetMessage(message);
      message = nullptr;
      reader_.GetCommand();
      if (reader_.GetParameter() == "OK") {
        if (open) {
          const std::string number = reader_.GetParameter();
          uint32_t value = 0;
          auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
          if (error != std::errc() || end != number.data() + number.size()) {
            Fail(StrFormat("%s: invalid device number '%s'", ClassName(), number));
            WakeLogin();
            break;
          }
          DeviceNumber = value;
        }
        loginResult_ = lrSuccess;
      } else {
        Fail(reader_.GetParameter());
      }
      WakeLogin();
      break;
    }
    case 3: {
      if (loginState_ != lsLoggingIn) break;
      reader_.SetMessage(message);
      message = nullptr;
      reader_.GetCommand();
      const std::optional<uint32_t> status = ParseTalkHex(reader_.GetParameter());
      std::string frame;
      bool complete = status && *status == 0;
      if (complete) {
        const std::optional<uint32_t> length = ParseTalkHex(reader_.GetParameter());
        complete = length.has_value();
        for (uint32_t i = 0; complete && i < *length; ++i) {
          const std::optional<uint32_t> byte = ParseTalkHex(reader_.GetParameter());
          if (!byte || *byte > 0xFF) complete = false;
          else frame.push_back(static_cast<char>(*byte));
        }
      }
      TTalkLinkParameters parameters;
      if (complete && ParseLoginAnswer(frame, parameters)) {
        Link = parameters;
        Online = true;
        loginResult_ = lrSuccess;
      } else {
        const uint32_t code = status && *status != 0 ? *status : kTalkAnswerRefused;
        Fail(StrFormat("Device login error: %.2X", code));
        DebugInfo("Error in TalkService.Work");
      }
      WakeLogin();
      break;
    }
    case kUnsolicitedKind:
      Deliver(message->AsString());
      break;
    default:
      break;
  }
}

void TTalkService::AnswerSlice(TMxTask& task) {
  if (TMxMessage* message = queue_.GetMessage()) {
    try {
      HandleAnswer(message);
    } catch (const std::exception& failure) {
      DebugError(failure.what());
    }
  }
  task.WaitFor(queue_, kMxInfinite);
}

}  // namespace tolvek
