#pragma once
// The one result type for anything that can fail: a value, or a message for
// the user that says why not. Readers, parsers and writers all return it, so a
// caller handles every failure the same way.

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace quadrel {

/// Why something failed, in words for the user (UTF-8).
struct Failure {
    std::string Message;
};

template <typename T> class [[nodiscard]] Result {
public:
    Result(T value)
        : state_(std::in_place_index<0>, std::move(value)) {} // NOLINT(google-explicit-constructor)
    Result(Failure failure)
        : state_(std::in_place_index<1>, std::move(failure)) {
    } // NOLINT(google-explicit-constructor)

    bool Ok() const { return state_.index() == 0; }
    explicit operator bool() const { return Ok(); }

    /// The value; only when Ok().
    T& Value() & {
        assert(Ok());
        return std::get<0>(state_);
    }
    const T& Value() const& {
        assert(Ok());
        return std::get<0>(state_);
    }
    T&& Value() && {
        assert(Ok());
        return std::get<0>(std::move(state_));
    }
    T* operator->() { return &Value(); }
    const T* operator->() const { return &Value(); }
    T& operator*() & { return Value(); }
    const T& operator*() const& { return Value(); }

    /// The message; empty when Ok().
    const std::string& Message() const {
        static const std::string kNone;
        return Ok() ? kNone : std::get<1>(state_).Message;
    }

private:
    std::variant<T, Failure> state_;
};

/// For operations that give nothing back but may fail.
struct Done {};
using Status = Result<Done>;

inline Failure Fail(std::string message) {
    return Failure{std::move(message)};
}

} // namespace quadrel
