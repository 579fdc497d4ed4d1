// The shape of the program's temporary names, for the file layer's own use.
// Internal to base/.
#pragma once

#include <cstddef>
#include <string_view>

namespace zantrel {

inline constexpr std::string_view TemporarySuffix = ".tmp~";
inline constexpr std::size_t TemporaryDigits = 16;
// "." + the digits + ".tmp~"
inline constexpr std::size_t TemporaryTail = 1 + TemporaryDigits + TemporarySuffix.size();

} // namespace zantrel
