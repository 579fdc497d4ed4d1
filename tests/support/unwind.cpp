#include "support/unwind.h"

#include <unwind.h>

#include <cstdlib>

namespace zantrel::test {

namespace {

void* g_landing[5];
bool g_unwinding = false;
_Unwind_Exception g_exception;

// Reached by the unwind as the last frame it leaves: back into
// RunUntilUnwound, the unwinder's own frames abandoned (as a thread's
// cancellation does). GCC's built-ins restore the registers only, the same
// on every target.
struct Landing {
    Landing() = default;
    Landing(const Landing&) = delete;
    Landing& operator=(const Landing&) = delete;
    ~Landing() {
        if (g_unwinding)
            __builtin_longjmp(g_landing, 1);
    }
};

_Unwind_Reason_Code KeepGoing(int, _Unwind_Action, _Unwind_Exception_Class, _Unwind_Exception*,
                              _Unwind_Context*, void*) {
    return _URC_NO_REASON;
}

__attribute__((noinline)) void RunAboveLanding(const std::function<void()>& body) {
    Landing landing;
    body();
}

} // namespace

__attribute__((noinline)) bool RunUntilUnwound(const std::function<void()>& body) {
    g_unwinding = false;
    if (__builtin_setjmp(g_landing) == 0) {
        RunAboveLanding(body);
        return false;
    }
    g_unwinding = false;
    return true;
}

void UnwindFromHere() {
    g_unwinding = true;
    g_exception = {};
    g_exception.exception_class = 0x5A414E5457494E44ull; // not C++'s own
    _Unwind_ForcedUnwind(&g_exception, KeepGoing, nullptr);
    std::abort(); // no frame left to unwind to
}

} // namespace zantrel::test
