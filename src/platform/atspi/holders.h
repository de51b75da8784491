// Owning holders for what libatspi hands out: errors, GObjects and strings, each freed once
// on every path.
#pragma once

#include <atspi/atspi.h>

#include <string>

namespace pelorix::platform::atspi {

struct ErrorSlot {
  GError* error = nullptr;
  ErrorSlot() = default;
  ErrorSlot(const ErrorSlot&) = delete;
  ErrorSlot& operator=(const ErrorSlot&) = delete;
  ~ErrorSlot() { clear(); }
  GError** out() {
    clear();
    return &error;
  }
  void clear() {
    if (error != nullptr) g_error_free(error);
    error = nullptr;
  }
  explicit operator bool() const { return error != nullptr; }
};

template <class T>
class Owned {
 public:
  explicit Owned(T* object = nullptr) : object_(object) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      if (object_ != nullptr) g_object_unref(object_);
      object_ = other.object_;
      other.object_ = nullptr;
    }
    return *this;
  }
  ~Owned() {
    if (object_ != nullptr) g_object_unref(object_);
  }
  T* get() const { return object_; }
  T* release() {
    T* object = object_;
    object_ = nullptr;
    return object;
  }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_;
};

struct Text {
  gchar* text = nullptr;
  Text() = default;
  explicit Text(gchar* adopted) : text(adopted) {}
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  ~Text() { g_free(text); }
  std::string str() const { return text != nullptr ? text : ""; }
};

// An interface of the accessible (+1), or empty when it has none.
template <class Iface>
Owned<Iface> iface(AtspiAccessible* accessible, Iface* (*getter)(AtspiAccessible*)) {
  return Owned<Iface>(getter(accessible));
}

}  // namespace pelorix::platform::atspi
