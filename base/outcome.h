// What an operation that checks its input came to, as a value: the command
// that ran it shows the message once.
#pragma once

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

} // namespace zantrel
