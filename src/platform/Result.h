// Failures as values: a Result holds either a value or the user-facing message of a failure.
// Results may not be ignored: a caller handles the failure, or discards it with (void) and a
// comment that says why.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace cvl {

struct Failure {
    std::string message;
};

template <class T>
class [[nodiscard]] Result {
  public:
    Result(T value) : state_(std::move(value)) {}
    Result(Failure failure) : state_(std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    // The failure's message; empty for a success.
    const std::string& error() const {
        static const std::string none;
        return ok() ? none : std::get<1>(state_).message;
    }

  private:
    std::variant<T, Failure> state_;
};

// A result with no value: success, or a failure with its message.
using Status = Result<std::monostate>;
inline Status success() {
    return Status(std::monostate{});
}

}  // namespace cvl
