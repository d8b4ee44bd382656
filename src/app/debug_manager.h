// The process-wide debug manager: eight channels with their subscribers, the three severity
// lines, the filter list, and the hand-over of lines to the output target (the debug window's
// text pane, or a file or standard error in a headless run).
//
// Lines are written from any thread (the Talk devices log on the Talk scheduler's thread), but
// the target is touched only on the main thread: lines written elsewhere wait in a list, the
// main loop is woken through the waker, and DeliverPending, called on the main thread, filters
// and appends them in the order they were written.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/debug_filter.h"
#include "kernel/task_control.h"
#include "platform/debug_log.h"

namespace tolvek {

class TMxScheduler;

// Where accepted lines go. AppendLine answers false when the target is full.
class TDebugOutputTarget {
public:
  virtual ~TDebugOutputTarget() = default;
  virtual bool AppendLine(const std::string& line) = 0;
  virtual void Clear() = 0;
};

class TDebugManager : public TDebugLog {
public:
  static constexpr int kChannelCount = 8;
  // Lines from other threads kept while the main thread is busy; beyond this they are counted
  // and dropped, so a stalled main thread cannot make the log eat all memory.
  static constexpr size_t kMaxPendingLines = 100000;

  // The thread that constructs the manager is its main thread.
  TDebugManager();
  ~TDebugManager() override;

  const char* ClassName() const { return "TDebugManager"; }

  // The target accepted lines go to (not owned; nullptr: lines are dropped). Main thread only.
  void SetOutputTarget(TDebugOutputTarget* target);
  TDebugOutputTarget* OutputTarget() const { return target_; }

  // Delivers the lines of other threads through a task on the main scheduler: the writing
  // thread signals it, the task runs DeliverPending on the main thread. Call on the main
  // thread once the main scheduler exists.
  void DeliverOn(TMxScheduler& mainScheduler);
  // Instead of DeliverOn: called, from the writing thread, when lines start waiting; it must
  // make the main thread call DeliverPending soon.
  void SetMainThreadWaker(std::function<void()> waker);
  // Filters and appends the lines written on other threads. Main thread only.
  void DeliverPending();

  // The filter list; edit it on the main thread only.
  TDebugFilterList& Filters() { return filters_; }

  // Called by the debug window's Break button when assigned.
  std::function<void(uint16_t code, const std::string& data)> OnBreak;

  void Subscribe(int channel, TDebugSubscription callback, const void* subscriber) override;
  void Unsubscribe(const void* subscriber) override;
  void EnableChannel(int channel) override;
  bool ChannelEnabled(int channel) const override;
  void Output(int channel, uint16_t code, const std::string& text) override;

  // "[%.4X] %s": the code as four upper-case hexadecimal digits in brackets, a blank, the text.
  static std::string FormatLine(uint16_t code, const std::string& text);

private:
  struct TNode {
    int channel;
    TDebugSubscription callback;
    const void* subscriber;
  };
  struct TPendingLine {
    uint16_t code;
    std::string text;
  };

  static bool ValidChannel(int channel) { return channel >= 1 && channel <= kChannelCount; }
  TDebugWriter ChannelWriter(int channel);
  void Append(uint16_t code, const std::string& text);

  std::thread::id mainThread_;
  TDebugOutputTarget* target_ = nullptr;
  TDebugFilterList filters_ = TDebugFilterList::Defaults();

  mutable std::mutex subscriptionLock_;
  std::vector<TNode> subscriptions_;
  bool enabled_[kChannelCount + 1] = {};

  std::mutex pendingLock_;
  std::vector<TPendingLine> pending_;
  size_t droppedLines_ = 0;
  std::function<void()> waker_;

  // Declared last: the task goes first, before what its slice uses.
  TMxSignal linesWaiting_;
  std::unique_ptr<TMxTask> deliveryTask_;
};

}  // namespace tolvek
