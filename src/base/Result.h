#pragma once

#include <string>
#include <utility>
#include <variant>

// The result type of our own layers below the system's classes (RIFF/AVI files,
// the settings file, the compressors). No exceptions cross the core's boundary:
// callers turn an Error into the system's 1/0/-1 results at their edge.

enum class ErrorKind {
    Io,
    Truncated,
    Corrupt,
    Unsupported,
    OutOfMemory,
    // The user stopped the work; nothing went wrong.
    Cancelled,
    // The caller asked for something the interface does not offer (a stream that is not
    // there, a buffer too small, calls out of order): a fault of the program, not of a file.
    InvalidArgument,
};

struct Error {
    ErrorKind kind;
    std::string message;
};

inline Error MakeError(ErrorKind kind, std::string message) {
    return Error{kind, std::move(message)};
}

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(::Error error) : m_value(std::move(error)) {}

    bool Ok() const { return std::holds_alternative<T>(m_value); }
    explicit operator bool() const { return Ok(); }

    T& Value() & { return std::get<T>(m_value); }
    const T& Value() const& { return std::get<T>(m_value); }
    T&& Value() && { return std::get<T>(std::move(m_value)); }
    T* operator->() { return &Value(); }
    const T* operator->() const { return &Value(); }
    T& operator*() & { return Value(); }
    const T& operator*() const& { return Value(); }

    const ::Error& Error() const { return std::get<::Error>(m_value); }

private:
    std::variant<T, ::Error> m_value;
};

// Result of an operation that yields nothing but success or an Error.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(::Error error) : m_error(std::move(error)), m_ok(false) {}

    bool Ok() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    const ::Error& Error() const { return m_error; }

private:
    ::Error m_error{ErrorKind::Io, {}};
    bool m_ok = true;
};

// Propagates an Error from an expression yielding a Result.
#define LUMEKO_TRY(expr)                                              \
    do {                                                              \
        if (auto lumeko_try_result = (expr); !lumeko_try_result.Ok()) \
            return lumeko_try_result.Error();                         \
    } while (0)
