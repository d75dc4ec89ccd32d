#pragma once

#include "FileState.h"

#include <utility>
#include <variant>

namespace lh {

// A value, or the reason a network file could not be had.
template <typename T>
class RemoteResult {
public:
    RemoteResult(T value)
        : content_(std::move(value))
    {
    }
    RemoteResult(RemoteFailure failure)
        : content_(failure)
    {
    }

    bool hasValue() const noexcept { return std::holds_alternative<T>(content_); }
    const T& value() const { return std::get<T>(content_); }
    RemoteFailure failure() const { return std::get<RemoteFailure>(content_); }

    bool operator==(const RemoteResult&) const = default;

private:
    std::variant<T, RemoteFailure> content_;
};

} // namespace lh
