#include "app/debug_manager.h"

#include "kernel/task.h"
#include "platform/text_format.h"

namespace tolvek {

TDebugManager::TDebugManager() : mainThread_(std::this_thread::get_id()) { SetDebugLog(this); }

TDebugManager::~TDebugManager() {
  if (DebugLog() == this) SetDebugLog(nullptr);
  deliveryTask_.reset();
}

void TDebugManager::DeliverOn(TMxScheduler& mainScheduler) {
  deliveryTask_ = std::make_unique<TMxTask>(mainScheduler);
  deliveryTask_->OnExecute = [this](TMxTask& task) {
    // Cleared before delivering: a line written meanwhile sets it again (or is delivered now).
    linesWaiting_.SetSignal(false);
    DeliverPending();
    task.WaitFor(linesWaiting_, kMxInfinite);
  };
  SetMainThreadWaker([this] { linesWaiting_.SetSignal(true); });
  deliveryTask_->Start();
}

void TDebugManager::SetOutputTarget(TDebugOutputTarget* target) { target_ = target; }

void TDebugManager::SetMainThreadWaker(std::function<void()> waker) {
  std::lock_guard<std::mutex> guard(pendingLock_);
  waker_ = std::move(waker);
}

std::string TDebugManager::FormatLine(uint16_t code, const std::string& text) {
  return StrFormat("[%.4X] %s", code, text);
}

void TDebugManager::Subscribe(int channel, TDebugSubscription callback, const void* subscriber) {
  if (!ValidChannel(channel)) return;
  bool enabled;
  {
    std::lock_guard<std::mutex> guard(subscriptionLock_);
    subscriptions_.push_back({channel, callback, subscriber});
    enabled = enabled_[channel];
  }
  if (enabled && callback) callback(ChannelWriter(channel));
}

void TDebugManager::Unsubscribe(const void* subscriber) {
  std::lock_guard<std::mutex> guard(subscriptionLock_);
  std::erase_if(subscriptions_, [&](const TNode& node) { return node.subscriber == subscriber; });
}

void TDebugManager::EnableChannel(int channel) {
  if (!ValidChannel(channel)) return;
  std::vector<TDebugSubscription> callbacks;
  {
    std::lock_guard<std::mutex> guard(subscriptionLock_);
    enabled_[channel] = true;
    for (const TNode& node : subscriptions_)
      if (node.channel == channel && node.callback) callbacks.push_back(node.callback);
  }
  // Outside the lock: a subscriber may write its first line from the callback.
  TDebugWriter writer = ChannelWriter(channel);
  for (const auto& callback : callbacks) callback(writer);
}

bool TDebugManager::ChannelEnabled(int channel) const {
  if (!ValidChannel(channel)) return false;
  std::lock_guard<std::mutex> guard(subscriptionLock_);
  return enabled_[channel];
}

TDebugWriter TDebugManager::ChannelWriter(int channel) {
  return [this, channel](uint16_t code, const std::string& text) { Output(channel, code, text); };
}

void TDebugManager::Output(int /*channel*/, uint16_t code, const std::string& text) {
  if (std::this_thread::get_id() == mainThread_) {
    DeliverPending();
    Append(code, text);
    return;
  }
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> guard(pendingLock_);
    if (pending_.size() >= kMaxPendingLines) {
      ++droppedLines_;
      return;
    }
    if (pending_.empty()) wake = waker_;
    pending_.push_back({code, text});
  }
  if (wake) wake();
}

void TDebugManager::DeliverPending() {
  std::vector<TPendingLine> lines;
  size_t dropped;
  {
    std::lock_guard<std::mutex> guard(pendingLock_);
    lines.swap(pending_);
    dropped = droppedLines_;
    droppedLines_ = 0;
  }
  for (const TPendingLine& line : lines) Append(line.code, line.text);
  if (dropped > 0)
    Append(1, StrFormat("***WARNING: %d debug lines dropped while the main thread was busy",
                        static_cast<int64_t>(dropped)));
}

void TDebugManager::Append(uint16_t code, const std::string& text) {
  if (!target_ || !filters_.Allows(code)) return;
  if (!target_->AppendLine(FormatLine(code, text))) target_->Clear();
}

}  // namespace tolvek
