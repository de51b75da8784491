// The result of every fallible operation: a value or an AXError.
#pragma once

#include <type_traits>
#include <utility>
#include <variant>

#include "error/ax_error.h"

namespace pelorix {

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(AXError error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  const T& value() const& { return std::get<0>(state_); }
  T* operator->() { return &value(); }
  T& operator*() & { return value(); }

  AXError& error() & { return std::get<1>(state_); }
  AXError&& error() && { return std::get<1>(std::move(state_)); }
  const AXError& error() const& { return std::get<1>(state_); }

 private:
  std::variant<T, AXError> state_;
};

// Success carries nothing; failure carries the error.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(AXError error) : error_(std::move(error)), failed_(true) {}

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  AXError& error() & { return error_; }
  AXError&& error() && { return std::move(error_); }
  const AXError& error() const& { return error_; }

 private:
  AXError error_{AXErrorKind::ActionFailed, {}};
  bool failed_ = false;
};

}  // namespace pelorix
