#pragma once

// The house's one shape for "a value, or why not": lower layers return the
// facts of a failure (a code, a system error number, a path), and the report
// layer words them for the user. Modelled on std::expected, which this
// compiler's C++20 library does not have yet.

#include <cassert>
#include <utility>
#include <variant>

template <typename E>
struct Unexpected {
  E error;
};

template <typename E>
Unexpected(E) -> Unexpected<E>;

// For a call that gives nothing back when it succeeds.
struct Done {};

template <typename T, typename E>
class [[nodiscard]] Expected {
 public:
  Expected(T value)
      : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT(google-explicit-constructor)
  Expected(Unexpected<E> failure)                            // NOLINT(google-explicit-constructor)
      : state_(std::in_place_index<1>, std::move(failure.error)) {}

  [[nodiscard]] bool has_value() const { return state_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& operator*() {
    assert(has_value());
    return std::get<0>(state_);
  }
  const T& operator*() const {
    assert(has_value());
    return std::get<0>(state_);
  }
  T* operator->() { return &**this; }
  const T* operator->() const { return &**this; }

  [[nodiscard]] const E& error() const {
    assert(!has_value());
    return std::get<1>(state_);
  }

 private:
  std::variant<T, E> state_;
};
