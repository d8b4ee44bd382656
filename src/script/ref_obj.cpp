// Reference counting and the auto-release pool.
#include "script/ref_obj.h"

#include <exception>

#include "platform/error.h"
#include "platform/text_format.h"

namespace tolvek {

namespace {

constexpr size_t kPoolInitialCapacity = 2000;
constexpr size_t kPoolGrowth = 1000;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TOLVEK_PLAIN_ALLOCATION 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TOLVEK_PLAIN_ALLOCATION 1
#endif
#endif

#ifndef TOLVEK_PLAIN_ALLOCATION
// Free lists for objects of up to kMaxPooled bytes in steps of kGranule. Blocks are carved
// lazily and kept for the life of the process; an object freed on another thread simply joins
// that thread's list.
class TObjectPool {
public:
  static constexpr size_t kGranule = 16;
  static constexpr size_t kMaxPooled = 256;
  static constexpr size_t kBlockSize = 64 * 1024;

  void* Allocate(size_t size) {
    const size_t index = (size + kGranule - 1) / kGranule;
    if (TFree* head = free_[index]) {
      free_[index] = head->Next;
      return head;
    }
    const size_t rounded = index * kGranule;
    if (static_cast<size_t>(end_ - next_) < rounded) {
      next_ = static_cast<char*>(::operator new(kBlockSize));
      end_ = next_ + kBlockSize;
    }
    void* p = next_;
    next_ += rounded;
    return p;
  }

  void Free(void* p, size_t size) noexcept {
    const size_t index = (size + kGranule - 1) / kGranule;
    auto* node = static_cast<TFree*>(p);
    node->Next = free_[index];
    free_[index] = node;
  }

private:
  struct TFree {
    TFree* Next;
  };
  TFree* free_[kMaxPooled / kGranule + 1] = {};
  char* next_ = nullptr;
  char* end_ = nullptr;
};

thread_local TObjectPool objectPool;
#endif

}  // namespace

void* TRefObj::operator new(std::size_t size) {
#ifndef TOLVEK_PLAIN_ALLOCATION
  if (size <= TObjectPool::kMaxPooled) return objectPool.Allocate(size);
#endif
  return ::operator new(size);
}

void TRefObj::operator delete(void* p, std::size_t size) noexcept {
#ifndef TOLVEK_PLAIN_ALLOCATION
  if (size <= TObjectPool::kMaxPooled) {
    objectPool.Free(p, size);
    return;
  }
#else
  (void)size;
#endif
  ::operator delete(p);
}

TRefObj::TRefObj() noexcept { ++TRefObjManager::objectCount_; }

TRefObj::~TRefObj() { --TRefObjManager::objectCount_; }

void TRefObj::ReleaseLast() {
  if (count_ <= 0) throw EError(StrFormat("%s.Release: reference counter is zero", ClassName()));
  --count_;
  --TRefObjManager::refCount_;
  Destroy();
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
