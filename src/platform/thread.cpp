// Threads, their names and the exit handler that stops the ones still running.
#include "platform/thread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace tolvek {

namespace {

std::string ShortName(std::string_view name) {
  return std::string(name.substr(0, std::min(name.size(), kMaxThreadNameLength)));
}

}  // namespace

// The threads started and not yet joined. It is never destroyed, so threads may come and go
// during static destruction; an exit guard, created when the first thread starts, stops the
// remaining ones newest first (the timer thread, usually started first, goes last).
class TRunningThreads {
public:
  static TRunningThreads& Instance() {
    static TRunningThreads* instance = new TRunningThreads;
    return *instance;
  }

  void Add(TThread* thread) {
    static TExitGuard guard;
    std::lock_guard lock(mutex_);
    threads_.push_back(thread);
  }

  void Remove(TThread* thread) {
    std::lock_guard lock(mutex_);
    std::erase(threads_, thread);
  }

private:
  struct TExitGuard {
    ~TExitGuard() { Instance().StopAll(); }
  };

  // The lock is held throughout, so no thread object can be destroyed while it is stopped here.
  void StopAll() {
    std::lock_guard lock(mutex_);
    std::vector<TThread*> pending = threads_;
    for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
      if (std::find(threads_.begin(), threads_.end(), *it) == threads_.end()) continue;
      if (!(*it)->IsCurrentThread()) (*it)->StopForExit();
    }
  }

  std::recursive_mutex mutex_;
  std::vector<TThread*> threads_;
};

void SetCurrentThreadName(std::string_view name) {
  pthread_setname_np(pthread_self(), ShortName(name).c_str());
}

TThread::TThread(std::string name) : name_(std::move(name)) {}

TThread::~TThread() {
  // A subclass normally stopped the thread already; this only catches the ones that did not.
  if (thread_.joinable()) {
    terminated_.store(true, std::memory_order_release);
    Join();
  }
  TRunningThreads::Instance().Remove(this);
}

void TThread::Start() {
  std::lock_guard lock(mutex_);
  if (started_.exchange(true)) return;
  finished_.ResetEvent();
  TRunningThreads::Instance().Add(this);
  thread_ = std::thread([this] { Run(); });
}

void TThread::Run() {
  threadId_.store(std::this_thread::get_id(), std::memory_order_release);
  {
    std::lock_guard lock(mutex_);
    native_ = pthread_self();
    running_ = true;
    SetCurrentThreadName(name_);
  }
  if (niceSteps_ > 0) {
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, tid);
    if (errno == 0) setpriority(PRIO_PROCESS, tid, current + niceSteps_);
  }
  try {
    Execute();
  } catch (const std::exception& e) {
    HandleFatalException(e.what());
  } catch (...) {
    HandleFatalException("unknown exception");
  }
  {
    std::lock_guard lock(mutex_);
    running_ = false;
  }
  finished_.SetEvent();
}

void TThread::HandleFatalException(const std::string& message) {
  std::lock_guard lock(mutex_);
  fatalMessage_ = message;
}

std::string TThread::FatalMessage() const {
  std::lock_guard lock(mutex_);
  return fatalMessage_;
}

void TThread::Terminate() { terminated_.store(true, std::memory_order_release); }

bool TThread::WaitFor(int64_t timeoutMs) {
  if (!Started() || IsCurrentThread()) return false;
  if (!finished_.WaitFor(timeoutMs)) return false;
  Join();
  return true;
}

void TThread::Join() {
  {
    std::lock_guard lock(joinMutex_);
    if (thread_.joinable()) thread_.join();
  }
  TRunningThreads::Instance().Remove(this);
}

void TThread::StopForExit() {
  Terminate();
  if (WaitFor(5000)) return;
  std::fprintf(stderr, "thread \"%s\" did not stop at program exit\n", Name().c_str());
  std::lock_guard lock(joinMutex_);
  if (thread_.joinable()) thread_.detach();
}

void TThread::Stop() {
  Terminate();
  WaitFor();
}

bool TThread::IsCurrentThread() const {
  return threadId_.load(std::memory_order_acquire) == std::this_thread::get_id();
}

std::string TThread::Name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

void TThread::SetName(std::string name) {
  std::lock_guard lock(mutex_);
  name_ = std::move(name);
  // Before it runs, Run names the thread when it starts.
  if (running_) pthread_setname_np(native_, ShortName(name_).c_str());
}

}  // namespace tolvek
