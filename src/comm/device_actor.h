// The device actor: single Talk requests queued in a job ring and sent one at a time through
// one pooled actor, each answered through its own callback.
#pragma once

#include <cstdint>

#include "comm/client_job_queue.h"

namespace tolvek {

class TTalkActor;
class TTalkClient;

class TDeviceActor {
public:
  static constexpr size_t kJobCapacity = 64;

  // Takes an actor from the client's pool for its lifetime.
  explicit TDeviceActor(TTalkClient& client, size_t capacity = kJobCapacity);
  ~TDeviceActor();
  TDeviceActor(const TDeviceActor&) = delete;
  TDeviceActor& operator=(const TDeviceActor&) = delete;

  const char* ClassName() const { return "TDeviceActor"; }

  // Each queues one job for `service` (a Talk service with the standard command set) and starts
  // it when the actor is free; "TClientJobQueue.GetNewJob: FULL" when the ring is full.
  void StartProgram(TTalkLink& service, uint32_t address, TClientJob::TCallback callback, uint32_t userValue);
  void StopProgram(TTalkLink& service, TClientJob::TCallback callback, uint32_t userValue);
  void ResetDevice(TTalkLink& service, TClientJob::TCallback callback, uint32_t userValue);
  void EraseFlash(TTalkLink& service, uint32_t address, TClientJob::TCallback callback, uint32_t userValue);
  void ReadMemory(TTalkLink& service, uint32_t address, TClientJob::TCallback callback, uint32_t userValue);
  void WriteMemory(TTalkLink& service, uint32_t address, uint32_t value, TClientJob::TCallback callback,
                   uint32_t userValue);
  void WriteFlash(TTalkLink& service, uint32_t address, uint32_t value, TClientJob::TCallback callback,
                  uint32_t userValue);

  size_t QueuedJobs() const { return jobs_.Count(); }
  TTalkActor& Actor() const { return *actor_; }

private:
  void AddJob(TClientJobType type, TTalkLink& service, uint32_t address, uint32_t value,
              TClientJob::TCallback callback, uint32_t userValue);
  void StartNextJob();
  void ActorDone();

  TTalkClient& client_;
  TTalkActor* actor_;
  TClientJobQueue jobs_;
};

}  // namespace tolvek
