// The process's comm drivers share one thread manager, "CommPortManager", that waits for the
// input of their ports.
#pragma once

#include <memory>

#include "comm/comm_driver.h"

namespace tolvek {

class TThreadManager;

class TCommPortManager {
public:
  TCommPortManager();
  ~TCommPortManager();

  // A new driver on the shared thread manager; the caller owns it.
  std::unique_ptr<TCommDriver> NewCommDriver();
  TThreadManager& ThreadManager() { return *threadManager_; }

private:
  std::unique_ptr<TThreadManager> threadManager_;
};

}  // namespace tolvek
