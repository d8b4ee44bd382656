// Reference counting and the auto-release pool.
#include "script/ref_obj.h"

#include <exception>

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

namespace {
constexpr size_t kPoolInitialCapacity = 2000;
constexpr size_t kPoolGrowth = 1000;
}  // namespace

TRefObj::TRefObj() noexcept { ++TRefObjManager::objectCount_; }

TRefObj::~TRefObj() { --TRefObjManager::objectCount_; }

void TRefObj::Retain() noexcept {
  ++count_;
  ++TRefObjManager::refCount_;
}

void TRefObj::Release() {
  if (count_ <= 0) throw EError(StrFormat("%s.Release: reference counter is zero", ClassName()));
  --count_;
  --TRefObjManager::refCount_;
  if (count_ == 0) Destroy();
}

void TRefObj::AutoRelease() {
  if (count_ <= 0) throw EError(StrFormat("%s.AutoRelease: reference counter is zero", ClassName()));
  TRefObjManager::Instance().AddToPool(this);
}

void TRefObj::Free() {
  if (count_ != 0) throw EError("Error using reference counting");
  Destroy();
}

void TRefObj::Destroy() noexcept {
  TRefObjManager& manager = TRefObjManager::Instance();
  if (manager.TraceEvent) manager.Trace("Destroy ", this);
  delete this;
}

TRefObjManager& TRefObjManager::Instance() {
  // Never destroyed: values may still be released while static objects are torn down.
  static TRefObjManager* instance = new TRefObjManager();
  return *instance;
}

TRefObjManager::TRefObjManager() { pool_.reserve(kPoolInitialCapacity); }

void TRefObjManager::AddToPool(TRefObj* obj) {
  if (pool_.size() == pool_.capacity()) pool_.reserve(pool_.capacity() + kPoolGrowth);
  pool_.push_back(obj);
}

void TRefObjManager::Trace(const char* what, const TRefObj* obj) {
  // A failing debug hook must not turn a construction or destruction into a failure.
  try {
    TraceEvent(std::string(what) + obj->ClassName());
  } catch (...) {
  }
}

void TRefObjManager::ReleasePool() {
  const size_t count = pool_.size();
  std::exception_ptr firstFailure;
  for (size_t i = 0; i < count; ++i) {
    try {
      pool_[i]->Release();
    } catch (...) {
      if (!firstFailure) firstFailure = std::current_exception();
    }
  }
  pool_.erase(pool_.begin(), pool_.begin() + static_cast<std::ptrdiff_t>(count));
  if (firstFailure) std::rethrow_exception(firstFailure);
}

}  // namespace tolvek
