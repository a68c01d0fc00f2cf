// SPDX-License-Identifier: MIT
// How the kit's fallible steps say that they failed: one type for all of
// them, so that a caller never has to know whether a step printed its own
// message, put it in an out-parameter or returned it. A step returns an
// `outcome` (nothing, or a `failure`) or a `result<T>` (a T, or a failure);
// it prints nothing, and only a program's `run_*` function decides where the
// message goes (standard output, standard error) and which status ends the
// run. Both types are [[nodiscard]]: a failure that is dropped compiles only
// with a warning, which the kit's checked builds turn into an error.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>

// What went wrong, as the user is to read it.
struct failure {
  enum class kind {
    // The input or the system does not allow the step; `message` says
    // why, where the program's messages go.
    refused,
    // `message` is one of a talk table's own lines ("TLK file couldn't be
    // opened for writing."), which go to standard error in every program.
    to_standard_error,
    // The step's own lines are on standard error already (a talk table's
    // load says why it failed); `message` is empty.
    reported,
  };
  kind what = kind::refused;
  std::string message;
  // The line of a text input (a rule list, a PO file) that the message is
  // about, counted from 1; 0 when it is about no one line.
  std::size_t line = 0;
};

inline failure refusal(std::string message) { return {failure::kind::refused, std::move(message)}; }

class [[nodiscard]] outcome {
 public:
  outcome() = default;
  // Lets a step `return refusal("...")`.
  outcome(failure why) : failure_(std::move(why)) {}  // NOLINT: implicit by design

  bool ok() const { return !failure_; }
  // Only when not `ok()`.
  const failure& error() const { return *failure_; }
  const std::string& message() const { return failure_->message; }

 private:
  std::optional<failure> failure_;
};

template <typename T>
class [[nodiscard]] result {
 public:
  result(T value) : value_(std::move(value)) {}      // NOLINT: implicit by design
  result(failure why) : failure_(std::move(why)) {}  // NOLINT: implicit by design

  bool ok() const { return value_.has_value(); }
  // Only when `ok()`.
  T& value() { return *value_; }
  const T& value() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  T& operator*() { return *value_; }
  // Only when not `ok()`.
  const failure& error() const { return *failure_; }
  const std::string& message() const { return failure_->message; }
  // The failure alone, to pass on up: `return step.as_outcome();`.
  outcome as_outcome() const { return ok() ? outcome() : outcome(*failure_); }

 private:
  std::optional<T> value_;
  std::optional<failure> failure_;
};
