// A value made once per process, on first use, by whichever thread gets there first.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

namespace pelorix::sync {

template <class T>
class OnceCell {
 public:
  OnceCell() = default;
  OnceCell(const OnceCell&) = delete;
  OnceCell& operator=(const OnceCell&) = delete;
  ~OnceCell() { delete value_.load(std::memory_order_acquire); }

  // The value, made by `make` (returning a std::unique_ptr<T>) on the first call. Concurrent
  // first calls wait for the one that makes it. Should `make` throw, nothing is kept, the
  // exception reaches that caller, and the next call tries again.
  template <class Make>
  T& get_or_init(Make&& make) {
    if (T* value = value_.load(std::memory_order_acquire)) return *value;
    std::lock_guard<std::mutex> lock(mutex_);
    if (T* value = value_.load(std::memory_order_relaxed)) return *value;
    std::unique_ptr<T> made = make();
    T* value = made.release();
    value_.store(value, std::memory_order_release);
    return *value;
  }

  T* get() const { return value_.load(std::memory_order_acquire); }

 private:
  std::atomic<T*> value_{nullptr};
  std::mutex mutex_;
};

}  // namespace pelorix::sync
