// Ownership of one platform reference, released exactly once by the destructor.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace pelorix {

template <class T>
class CFRef {
 public:
  CFRef() = default;
  // Takes over a reference the caller already owns (from a Create or Copy call).
  static CFRef adopt(T ref) { return CFRef(ref); }
  // Takes a new reference to something borrowed.
  static CFRef retain(T ref) {
    if (ref != nullptr) CFRetain(ref);
    return CFRef(ref);
  }

  CFRef(CFRef&& other) noexcept : ref_(std::exchange(other.ref_, nullptr)) {}
  CFRef& operator=(CFRef&& other) noexcept {
    if (this != &other) reset(std::exchange(other.ref_, nullptr));
    return *this;
  }
  CFRef(const CFRef&) = delete;
  CFRef& operator=(const CFRef&) = delete;
  ~CFRef() { reset(); }

  T get() const { return ref_; }
  explicit operator bool() const { return ref_ != nullptr; }
  // Hands the reference to a new owner.
  [[nodiscard]] T release() { return std::exchange(ref_, nullptr); }
  void reset(T ref = nullptr) {
    T old = std::exchange(ref_, ref);
    if (old != nullptr) CFRelease(old);
  }
  // For out-parameters of Copy calls; the holder must be empty.
  T* out() { return &ref_; }

 private:
  explicit CFRef(T ref) : ref_(ref) {}
  T ref_ = nullptr;
};

using ElementHandle = CFRef<AXUIElementRef>;

}  // namespace pelorix
