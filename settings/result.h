// SPDX-FileCopyrightText: 2026 Korvane developers
//
// SPDX-License-Identifier: Apache-2.0

#pragma once

// Header-only and free of Qt, so that every layer can return it without linking the settings.

#include <cerrno>
#include <concepts>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace korvane {

// Why an operation failed: the words shown to the operator, and the system's error number when
// the system reported the failure (0 otherwise), for code that must tell one cause from another.
struct Failure
{
    std::string reason;
    int systemError = 0;
};

// A failure the system reported with `error`: "what: <the system's words>", or the system's
// words alone when `what` is empty. A call that failed without setting errno counts as an
// input/output error, so the words never read "Success".
inline Failure systemFailure(std::string_view what, int error)
{
    const int code = error != 0 ? error : EIO;
    std::string reason(what);
    if (!reason.empty()) {
        reason.append(": ");
    }
    reason.append(std::strerror(code));
    return {std::move(reason), code};
}

// The outcome of an operation that can fail: its value, or the Failure that tells why there is
// none. Result<> is for an operation that yields nothing but success; it is a success when
// default-constructed.
template <typename T = std::monostate>
class [[nodiscard]] Result
{
public:
    Result() requires std::same_as<T, std::monostate>
    = default;
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : m_state(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const noexcept { return m_state.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    // Only when ok().
    const T& value() const& { return std::get<0>(m_state); }
    T& value() & { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }

    // Only when !ok().
    const Failure& failure() const { return std::get<1>(m_state); }

    // "" and 0 on success.
    const std::string& reason() const
    {
        static const std::string kNone;
        return ok() ? kNone : failure().reason;
    }
    int systemError() const noexcept { return ok() ? 0 : std::get_if<1>(&m_state)->systemError; }

private:
    std::variant<T, Failure> m_state;
};

} // namespace korvane
