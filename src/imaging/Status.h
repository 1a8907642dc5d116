// Error values of the core libraries: a Status carries the message the user
// will see, and Result<T> carries either a value or such a message. Nothing in
// the core throws across its interface; windows and the command line turn a
// failed Status into a message box or a line on stderr.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <utility>

namespace velmora {

class [[nodiscard]] Status {
public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const std::string& message() const { return message_; }

private:
  explicit Status(std::string message) : failed_(true), message_(std::move(message)) {}
  bool failed_ = false;
  std::string message_;
};

template <typename T>
class [[nodiscard]] Result {
public:
  Result(T value) : value_(std::move(value)) {}
  Result(Status status) : status_(std::move(status)) {}

  bool ok() const { return value_.has_value(); }
  explicit operator bool() const { return ok(); }
  const Status& status() const { return status_; }
  const std::string& message() const { return status_.message(); }

  T& value() { return *value_; }
  const T& value() const { return *value_; }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

private:
  std::optional<T> value_;
  Status status_;
};

// printf-style formatting for messages ("Unknown picture file extension (.%s)").
template <typename... Args>
std::string Format(const char* fmt, Args... args) {
  int n = std::snprintf(nullptr, 0, fmt, args...);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), fmt, args...);
  out.resize(static_cast<size_t>(n));
  return out;
}

}  // namespace velmora

// Returns early from a function that returns Status (or Result) when `expr` fails.
#define VELMORA_TRY(expr)                 \
  do {                                    \
    ::velmora::Status status_ = (expr);   \
    if (!status_.ok()) return status_;    \
  } while (0)
