// The result of every fallible operation: a value or an error, by default an AXError.
#pragma once

#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "error/ax_error.h"

namespace pelorix {

template <class T, class E = AXError>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(E error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  const T& value() const& { return std::get<0>(state_); }
  T* operator->() { return &value(); }
  T& operator*() & { return value(); }

  E& error() & { return std::get<1>(state_); }
  E&& error() && { return std::get<1>(std::move(state_)); }
  const E& error() const& { return std::get<1>(state_); }

 private:
  std::variant<T, E> state_;
};

// Success carries nothing; failure carries the error.
template <class E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  Result(E error) : error_(std::in_place, std::move(error)) {}

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  E& error() & { return *error_; }
  E&& error() && { return std::move(*error_); }
  const E& error() const& { return *error_; }

 private:
  std::optional<E> error_;
};

// A failure that reaches Python as RuntimeError with exactly this message: an AXError's
// message, or a text of its own (a system error, an unparsable lookup result).
struct Failure {
  std::string message;
  Failure(const AXError& error) : message(error.message()) {}
  explicit Failure(std::string text) : message(std::move(text)) {}
};

}  // namespace pelorix
