// How every layer reports failure: a function that can fail returns a Status
// (when success has nothing to give) or a Result<T> (when it gives a T), and a
// failure carries the message that says why. `return Failure{"..."};` fails
// either kind; a Result<T> is made successful from its value.
//
// The message is the text for the user when the function's contract says so;
// otherwise it says what went wrong for the caller to report in its own words.
// Optionals stay for values that may be absent without anything failing.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace qv {

// The reason a step failed, as text.
struct Failure {
  std::string message;
};

// Success or a failure with its message.
class [[nodiscard]] Status {
 public:
  // Success.
  Status() = default;
  // Implicit, so that `return Failure{...};` fails a Status.
  // cppcheck-suppress [noExplicitConstructor, passedByValue]
  Status(Failure failure) : message_(std::move(failure.message)), ok_(false) {}

  bool ok() const { return ok_; }
  explicit operator bool() const { return ok_; }
  // The failure's message; empty on success.
  const std::string& message() const { return message_; }
  // The failure, to pass on as another Status or Result's; only on failure.
  Failure failure() const { return Failure{message_}; }

 private:
  std::string message_;
  bool ok_ = true;
};

// A value of type T, or a failure with its message.
template <typename T>
class [[nodiscard]] Result {
 public:
  // Implicit, so that `return value;` and `return Failure{...};` work.
  // cppcheck-suppress noExplicitConstructor
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  // cppcheck-suppress noExplicitConstructor
  Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // The value; only on success.
  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  // The failure's message; only on failure.
  const std::string& message() const { return std::get<1>(state_).message; }
  // The failure, to pass on as another Status or Result's; only on failure.
  Failure failure() const { return std::get<1>(state_); }
  // Success, or the same failure without the value.
  Status status() const { return ok() ? Status() : Status(std::get<1>(state_)); }

 private:
  std::variant<T, Failure> state_;
};

}  // namespace qv
