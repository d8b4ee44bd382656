// The Talk stack against the simulated drive over a pseudo-terminal, through everything a
// device service uses: actor, Talk server, server actor, RS link driver, serial port.
//
// WordRoundTrip: one single-word read per actor execution, the simulator answering at once;
// "per_second" is round trips per second and "ratio" that rate against the goal of 10,000
// (under 100 us of software per request); "cpu_us" is the processor time this process (the
// whole PC side, every thread) spends per round trip.
// BlockRead64KiB: a block reader fetching 64 KiB with the simulator paced at 115200 baud;
// "ratio" is the wire time of every byte of the exchange (requests and answers in their link
// frames, 10 bits per byte) divided by the measured time, against the goal of 0.97.
#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/program_registry.h"
#include "comm/block_reader.h"
#include "comm/rs_driver.h"
#include "comm/talk_client.h"
#include "comm/talk_server.h"
#include "comm/talk_service.h"
#include "devices/device.h"
#include "devices/device_manager.h"
#include "kernel/scheduler.h"
#include "platform/main_loop.h"
#include "script/object_text.h"

namespace {

using namespace tolvek;

constexpr int kBaud = 115200;

// <build>/bench/x -> <build>/bin/tolvek-drivesim.
std::string SimPath() {
  const auto self = std::filesystem::read_symlink("/proc/self/exe");
  return (self.parent_path().parent_path() / "bin" / "tolvek-drivesim").string();
}

class TSim {
public:
  explicit TSim(std::vector<std::string> args) {
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe");
    args.insert(args.begin(), SimPath());
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(out[1], 1);
      ::close(2);
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') device_ += c;
    ::close(out[0]);
    if (device_.empty()) throw std::runtime_error("no simulator device (is tolvek-drivesim built?)");
  }
  ~TSim() {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  const std::string& Device() const { return device_; }

private:
  pid_t pid_ = -1;
  std::string device_;
};

constexpr const char* kDevices =
    "[D /Profiles [D /Drive [D /DeviceType 'Online' /Services [A [D /Name 'TalkService' /Profile "
    "'Devices\\ServiceProfiles\\Talk' ] ] ] ] /ServiceProfiles [D /Talk [D /Name 'TalkService' ] ] ]";

// A logged-in device on COM1, the simulator behind it.
class TStack {
public:
  explicit TStack(const std::vector<std::string>& simOptions) : sim_(simOptions) {
    ::setenv("TOLVEK_PORT_COM1", sim_.Device().c_str(), 1);
    server_ = std::make_unique<TTalkServer>();
    server_->RegisterPort("COM1", std::make_unique<TRsDriver>(1, kBaud));
    Client.RegisterStandardPatterns();
    configuration_.SetKey("Devices", StrToObj(kDevices).Get());
    devices_ = std::make_unique<TDeviceManager>(configuration_);
    devices_->RegisterDeviceService("TalkService", DeviceServiceClass<TBasicTalkService>());
    TDevice& device = devices_->CreateDevice("Drive", "Drive");
    device.SetDeviceVar("PortName", "COM1");
    device.CreateServices();
    Talk = &dynamic_cast<TBasicTalkService&>(device.GetService("TalkService"));
    Talk->RequestNode = server_->RequestQueue().Node()->Number();
    Talk->ControlNode = server_->ControlQueue().Node()->Number();
    bool started = false;
    device.StartupServices([&](TDevice&) { started = true; });
    if (!Loop.RunUntil([&] { return started; }, 30000) || Talk->State() != ssStarted)
      throw std::runtime_error("login failed: " + Talk->ErrorText());
  }
  ~TStack() {
    devices_.reset();
    server_.reset();
    ::unsetenv("TOLVEK_PORT_COM1");
  }

  THeadlessMainLoop Loop;

private:
  TMxScheduler scheduler_{&Loop};
  TSim sim_;
  std::unique_ptr<TTalkServer> server_;

public:
  TTalkClient Client;
  TBasicTalkService* Talk = nullptr;

private:
  TProgramRegistry configuration_;
  std::unique_ptr<TDeviceManager> devices_;
};

// Processor time of every thread of this process (the whole PC side, not the simulator), in s.
double ProcessCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void WordRoundTrip(benchmark::State& state) {
  TStack stack({});
  TTalkActor* actor = stack.Client.GetActor();
  int64_t trips = 0;
  const double cpuStart = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    actor->Clear();
    stack.Talk->Commands.ReadMemory.AddRequest(*actor, 0, 0x100);
    actor->Execute();
    stack.Loop.RunUntil([&] { return !actor->IsBusy(); }, 10000);
    if (actor->GetStatus() != 0) state.SkipWithError("read failed");
    ++trips;
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  const double cpu = ProcessCpuSeconds() - cpuStart;
  stack.Client.ReturnActor(actor);
  const double perSecond = static_cast<double>(trips) / elapsed.count();
  state.counters["per_second"] = perSecond;
  state.counters["ratio"] = perSecond / 10000.0;
  // Processor time of the PC side per round trip, all its threads together.
  state.counters["cpu_us"] = cpu / static_cast<double>(trips) * 1e6;
}
BENCHMARK(WordRoundTrip)->UseRealTime()->MinTime(3.0);

void BlockRead64KiB(benchmark::State& state) {
  TStack stack({"--baud", std::to_string(kBaud)});
  constexpr uint32_t kBytes = 64 * 1024;
  TBlockReader reader(stack.Client);
  double wireSeconds = 0, measuredSeconds = 0;
  for (auto _ : state) {
    reader.Put(*stack.Talk, 0x10000, kBytes);
    // Every chunk: request frame (3 link bytes, command, 3 address bytes, count) and answer
    // frame (3 link bytes, command, status, data).
    double wireBytes = 0;
    const size_t maxChunk = stack.Talk->Commands.ReadBlock.GetMaxSize();
    for (uint32_t left = kBytes; left > 0;) {
      const uint32_t chunk = std::min<uint32_t>(left, static_cast<uint32_t>(maxChunk));
      wireBytes += 8 + 5 + chunk;
      left -= chunk;
    }
    const auto start = std::chrono::steady_clock::now();
    reader.Execute();
    stack.Loop.RunUntil([&] { return !reader.IsBusy(); }, 120000);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
    if (reader.Result() != 0) state.SkipWithError("block read failed");
    wireSeconds += wireBytes * 10 / kBaud;
    measuredSeconds += took.count();
  }
  state.counters["wire_s"] = wireSeconds / static_cast<double>(state.iterations());
  state.counters["ratio"] = wireSeconds / measuredSeconds;
}
BENCHMARK(BlockRead64KiB)->UseManualTime()->Iterations(3)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
