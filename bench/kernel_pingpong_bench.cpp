// Message ping-pong between a task on the main scheduler (on the benchmark's thread, driven by
// the headless main loop) and a task on a named scheduler thread, through two queues: round
// trips per second, median round-trip latency, and heap allocations per message once warm.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <vector>

#include "kernel/message.h"
#include "kernel/queue.h"
#include "kernel/scheduler.h"
#include "kernel/task.h"
#include "platform/main_loop.h"

// The replacements below pair malloc with free on purpose; the warning cannot see that.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {

// Every heap allocation of the program, counted.
std::atomic<uint64_t> gAllocations{0};

}  // namespace

void* operator new(std::size_t size) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace tolvek {
namespace {

using Clock = std::chrono::steady_clock;

// The two ends: `ping` on the main scheduler runs a batch of round trips and then quits the
// main loop; `pong` on "TalkScheduler" answers each message with one of its own.
class TPingPong {
public:
  static constexpr size_t kMaxBatch = 100000;

  TPingPong() : talk_("TalkScheduler"), ping_(), pong_(talk_) {
    latencies_.resize(kMaxBatch);
    pingQueue_.LogOn();
    pongQueue_.LogOn();
    pong_.OnExecute = [this](TMxTask& t) {
      while (TMxMessage* request = pongQueue_.GetMessage()) {
        TMxMessage* reply = NewMessage();
        SetReplyTo(*reply, *request);
        reply->AppendByte(request->Body().First()->data[0]);
        FreeMessage(request);
        pongQueue_.SendMessage(reply);
      }
      t.WaitFor(pongQueue_, kMxInfinite);
    };
    ping_.OnExecute = [this](TMxTask& t) {
      if (TMxMessage* reply = pingQueue_.GetMessage()) {
        latencies_[done_] = Clock::now() - sentAt_;
        FreeMessage(reply);
        if (++done_ == batch_) {
          loop_.Quit();
          t.WaitFor(pingQueue_, kMxInfinite);
          return;
        }
        Send();
      }
      t.WaitFor(pingQueue_, kMxInfinite);
    };
    pong_.Start();
    ping_.Start();
  }

  ~TPingPong() { talk_.StopThread(); }

  // Runs `count` (at most kMaxBatch) round trips, one message in flight at a time.
  void RunBatch(size_t count) {
    batch_ = count;
    done_ = 0;
    Send();
    loop_.Run();
  }

  Clock::duration MedianLatency(size_t count) {
    std::nth_element(latencies_.begin(), latencies_.begin() + count / 2, latencies_.begin() + count);
    return latencies_[count / 2];
  }

private:
  void Send() {
    TMxMessage* message = NewMessage();
    message->SetReceiver(pongQueue_.Node()->Number(), 0, 1);
    message->AppendByte(static_cast<uint8_t>(done_));
    sentAt_ = Clock::now();
    pingQueue_.SendMessage(message);
  }

  THeadlessMainLoop loop_;
  TMxScheduler main_{&loop_};
  TMxScheduler talk_;
  TMxQueue pingQueue_, pongQueue_;
  TMxTask ping_;
  TMxTask pong_;
  std::vector<Clock::duration> latencies_;
  size_t batch_ = 0;
  size_t done_ = 0;
  Clock::time_point sentAt_;
};

void BM_KernelPingPong(benchmark::State& state) {
  constexpr size_t kBatch = 20000;
  TPingPong pingPong;
  pingPong.RunBatch(2000);  // warm-up: pools filled, threads running
  std::vector<double> medians;
  uint64_t allocations = 0;
  size_t roundTrips = 0;
  for (auto _ : state) {
    const uint64_t before = gAllocations.load();
    pingPong.RunBatch(kBatch);
    allocations += gAllocations.load() - before;
    roundTrips += kBatch;
    state.PauseTiming();
    medians.push_back(std::chrono::duration<double, std::micro>(pingPong.MedianLatency(kBatch)).count());
    state.ResumeTiming();
  }
  std::sort(medians.begin(), medians.end());
  state.counters["round_trips_per_s"] = benchmark::Counter(static_cast<double>(roundTrips), benchmark::Counter::kIsRate);
  state.counters["median_latency_us"] = medians[medians.size() / 2];
  // Two messages per round trip.
  state.counters["allocs_per_msg"] = static_cast<double>(allocations) / static_cast<double>(2 * roundTrips);
}
BENCHMARK(BM_KernelPingPong)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

}  // namespace
}  // namespace tolvek

BENCHMARK_MAIN();
