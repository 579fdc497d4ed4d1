// An unwind no C++ code threw: what the system does when it swallows a
// crash inside one of its own dialogs. Every frame between is left, their
// destructors run, and no catch clause may end it.
#pragma once

#include <functional>

namespace zantrel::test {

// Runs body; true when UnwindFromHere, called somewhere inside it, unwound
// the frames back to here.
bool RunUntilUnwound(const std::function<void()>& body);
// Begins the unwind; only inside RunUntilUnwound.
[[noreturn]] void UnwindFromHere();

} // namespace zantrel::test
