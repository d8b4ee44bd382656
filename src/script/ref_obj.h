// Reference counting of script values: the counted base object, the process-wide manager with
// its auto-release pool and counters, and the smart pointer C++ code holds values with.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tolvek {

// Base of every script value and of the engine's helper objects. A new object has count 0 and
// belongs to whoever made it until a container (or a TRef) retains it; the last Release
// destroys it.
class TRefObj {
public:
  TRefObj(const TRefObj&) = delete;
  TRefObj& operator=(const TRefObj&) = delete;

  // The runtime class name used in messages ("TSLArray").
  virtual const char* ClassName() const { return "TRefObj"; }

  // Adds one outstanding reference.
  inline void Retain() noexcept;
  // Drops one reference and destroys the object when none is left; fails
  // "%s.Release: reference counter is zero" when there is none to drop.
  inline void Release();
  // Hands one reference to the pool, which releases it at the next drain; fails
  // "%s.AutoRelease: reference counter is zero" when the object holds no reference.
  void AutoRelease();
  // Destroys an object its creator still owns (count 0); fails "Error using reference counting"
  // while references are outstanding.
  void Free();

  // Number of outstanding retains.
  int32_t GetCount() const noexcept { return count_; }

  // Values are small and made and freed by the million when texts are read, so they come from
  // per-thread free lists of a few size classes (plain new/delete in sanitizer builds, so that
  // leaks stay visible).
  static void* operator new(std::size_t size);
  static void operator delete(void* p, std::size_t size) noexcept;

protected:
  TRefObj() noexcept;
  virtual ~TRefObj();

private:
  void Destroy() noexcept;
  // Release of the last reference, or of none.
  void ReleaseLast();
  int32_t count_ = 0;
};

// The process-wide bookkeeping of reference-counted objects: the auto-release pool and the two
// counters the script debugger shows ("ObjectCount", "RefCount").
class TRefObjManager {
public:
  // The one instance; it lives for the whole process.
  static TRefObjManager& Instance();

  // Live TRefObj instances.
  int64_t ObjectCount() const noexcept { return objectCount_; }
  // Outstanding retains over all objects.
  int64_t RefCount() const noexcept { return refCount_; }
  // Objects waiting in the pool for the next drain.
  size_t PoolCount() const noexcept { return pool_.size(); }
  // Slots reserved in the pool (2000 at start, grown by 1000 whenever full).
  size_t PoolCapacity() const noexcept { return pool_.capacity(); }

  // Releases every pooled object once, in order of insertion, then empties the pool. Objects
  // pooled while draining wait for the next drain. If a release fails, the others still run
  // and the first failure is passed on.
  void ReleasePool();

  // Debugging aid, unassigned by default: called with "Create <class>" when an object made by
  // MakeRef/MakeAuto/NewObj is complete and with "Destroy <class>" when any object is destroyed.
  std::function<void(const std::string&)> TraceEvent;

private:
  friend class TRefObj;
  template <class T, class... A> friend T* NewObj(A&&... args);
  TRefObjManager();
  void AddToPool(TRefObj* obj);
  void Trace(const char* what, const TRefObj* obj);

  std::vector<TRefObj*> pool_;
  inline static int64_t objectCount_ = 0;
  inline static int64_t refCount_ = 0;
};

// Counting is inline: the interpreter retains and releases on every step.
inline void TRefObj::Retain() noexcept {
  ++count_;
  ++TRefObjManager::refCount_;
}

inline void TRefObj::Release() {
  if (count_ <= 1) {
    ReleaseLast();
    return;
  }
  --count_;
  --TRefObjManager::refCount_;
}

// Makes an object owned by the caller (count 0): hand it to a container or a TRef.
template <class T, class... A>
T* NewObj(A&&... args) {
  T* obj = new T(std::forward<A>(args)...);
  TRefObjManager& manager = TRefObjManager::Instance();
  if (manager.TraceEvent) manager.Trace("Create ", obj);
  return obj;
}

// Makes an object owned by the auto-release pool: valid until the next drain unless retained.
template <class T, class... A>
T* MakeAuto(A&&... args) {
  T* obj = NewObj<T>(std::forward<A>(args)...);
  obj->Retain();
  obj->AutoRelease();
  return obj;
}

// Holds one reference for C++ code, so no path (including a failure) leaks a count.
template <class T>
class TRef {
public:
  TRef() noexcept = default;
  TRef(std::nullptr_t) noexcept {}
  // Retains `obj` (which may be null).
  TRef(T* obj) noexcept : obj_(obj) {
    if (obj_) obj_->Retain();
  }
  TRef(const TRef& other) noexcept : TRef(other.obj_) {}
  TRef(TRef&& other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  TRef(const TRef<U>& other) noexcept : TRef(other.Get()) {}
  ~TRef() { Reset(); }

  TRef& operator=(TRef other) noexcept {
    std::swap(obj_, other.obj_);
    return *this;
  }

  // Drops the reference held (which may destroy the object).
  void Reset() {
    if (T* obj = std::exchange(obj_, nullptr)) obj->Release();
  }
  // Gives up the reference without releasing it: the caller now holds that count.
  T* Detach() noexcept { return std::exchange(obj_, nullptr); }
  // Hands the held reference to the pool and returns the object (null stays null).
  T* AutoRelease() {
    T* obj = Detach();
    if (obj) obj->AutoRelease();
    return obj;
  }

  T* Get() const noexcept { return obj_; }
  T* operator->() const noexcept { return obj_; }
  T& operator*() const noexcept { return *obj_; }
  explicit operator bool() const noexcept { return obj_ != nullptr; }

private:
  T* obj_ = nullptr;
};

// Makes an object held by a TRef.
template <class T, class... A>
TRef<T> MakeRef(A&&... args) {
  return TRef<T>(NewObj<T>(std::forward<A>(args)...));
}

}  // namespace tolvek
