// What an operation that checks its input came to, as a value: the command
// that ran it shows the message once.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace zantrel {

struct Outcome {
    enum class Kind {
        Done,    // ran to its end
        Refused, // an input was refused: message says why, for an "Error" box
        NoDrm,   // the flash file holds no DRM
    };
    Kind kind = Kind::Done;
    std::string message;
    // Shown in a "Warning" box after a Done outcome (a damaged but readable file).
    std::string warning;

    static Outcome Refusal(std::string why) { return {Kind::Refused, std::move(why), {}}; }
    static Outcome NoDrmFound() { return {Kind::NoDrm, {}, {}}; }
    bool Done() const { return kind == Kind::Done; }
    explicit operator bool() const { return Done(); }
    bool Refused() const { return kind == Kind::Refused; }
};

// A value read from an input and checked, or the message that says why the
// input was refused (for an "Error" box): what a reader that refuses returns.
template <class T> class Checked {
public:
    Checked(T value) : value_(std::move(value)) {}
    static Checked Refusal(std::string why) {
        Checked refused;
        refused.why_ = std::move(why);
        return refused;
    }
    explicit operator bool() const { return value_.has_value(); }
    T& operator*() { return *value_; }
    const T& operator*() const { return *value_; }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    // Why the input was refused; empty when it was not.
    const std::string& Why() const { return why_; }

private:
    Checked() = default;
    std::optional<T> value_;
    std::string why_;
};

} // namespace zantrel
