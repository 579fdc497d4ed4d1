// The console's two forms of the "info" report.
#pragma once

#include <cstdio>

#include "shell/info.h"

namespace zantrel {

// Lines of "Name: value", the code groups and work files indented below.
void PrintInfoText(std::FILE* out, const FlashInfo& info);
// One JSON object on one line. Bytes of a name that are not UTF-8 become
// U+FFFD, so the output is always valid JSON.
void PrintInfoJson(std::FILE* out, const FlashInfo& info);

} // namespace zantrel
