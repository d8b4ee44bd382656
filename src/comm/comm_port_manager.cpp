#include "comm/comm_port_manager.h"

#include "kernel/thread_manager.h"

namespace tolvek {

TCommPortManager::TCommPortManager() : threadManager_(std::make_unique<TThreadManager>()) {
  threadManager_->SetName("CommPortManager");
}

TCommPortManager::~TCommPortManager() = default;

std::unique_ptr<TCommDriver> TCommPortManager::NewCommDriver() {
  return std::make_unique<TCommDriver>(threadManager_.get());
}

}  // namespace tolvek
