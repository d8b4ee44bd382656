// Processor time of a process whose kernel is up but whose tasks all wait: tasks on the main
// scheduler and on a named scheduler waiting on a queue, a signal and a semaphore, one asleep,
// a thread manager with clients, a pending timer. Measured with getrusage over 5 s.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <thread>

#include "kernel/queue.h"
#include "kernel/scheduler.h"
#include "kernel/task_control.h"
#include "kernel/thread_manager.h"
#include "platform/main_loop.h"

namespace tolvek {
namespace {

double ProcessCpuSeconds() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_KernelIdleCpu(benchmark::State& state) {
  THeadlessMainLoop loop;
  TMxScheduler mainScheduler(&loop);
  TMxScheduler talk("TalkScheduler");
  TThreadManager ports;
  ports.SetName("CommPortManager");
  for (int i = 0; i < 4; ++i) ports.NewThreadClient();
  TMxQueue queue;
  queue.LogOn();
  TMxSignal signal;
  TMxSemaphore lock;
  TMxTimer pending;
  pending.SetTimer(3600000, false, true);

  TMxTask owner, onQueue, onSignal, sleeper;
  TMxTask talkOnQueue(talk), talkOnLock(talk);
  owner.OnExecute = [&](TMxTask& t) {
    t.WaitFor(lock, kMxPoll);
    t.Terminate();
  };
  onQueue.OnExecute = [&](TMxTask& t) { t.WaitFor(queue, kMxInfinite); };
  onSignal.OnExecute = [&](TMxTask& t) { t.WaitFor(signal, 3600000); };
  sleeper.OnExecute = [&](TMxTask& t) { t.Sleep(3600000); };
  talkOnQueue.OnExecute = [&](TMxTask& t) { t.WaitFor(queue, kMxInfinite); };
  talkOnLock.OnExecute = [&](TMxTask& t) { t.WaitFor(lock, kMxInfinite); };
  for (TMxTask* t : {&owner, &onQueue, &onSignal, &sleeper, &talkOnQueue, &talkOnLock}) t->Start();
  loop.ProcessPending();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // everything settles

  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuBefore = ProcessCpuSeconds();
    std::thread stopper([&] {
      std::this_thread::sleep_for(std::chrono::seconds(5));
      loop.Quit();
    });
    loop.Run();
    stopper.join();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(wall);
    state.counters["cpu_percent_of_a_core"] = 100.0 * cpu / wall;
    state.counters["cpu_ms"] = cpu * 1000.0;
  }
  talk.StopThread();
}
BENCHMARK(BM_KernelIdleCpu)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace tolvek

BENCHMARK_MAIN();
