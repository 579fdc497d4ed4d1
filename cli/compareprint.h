// The console's two forms of the "compare" report.
#pragma once

#include <cstdio>

#include "shell/compare.h"

namespace zantrel {

// Lines of "Name: value", the differing items and header fields indented
// below. Names and texts from the files are printed escaped.
void PrintCompareText(std::FILE* out, const FlashComparison& comparison);
// One JSON object on one line; bytes that are not UTF-8 become U+FFFD.
void PrintCompareJson(std::FILE* out, const FlashComparison& comparison);

} // namespace zantrel
