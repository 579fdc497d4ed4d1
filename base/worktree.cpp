#include "base/worktree.h"

namespace zantrel {

std::string CodeGroupFileName(int number) { return "CG" + std::to_string(number) + ".bin"; }

std::string NumberedFileName(long number, std::string_view extension) {
    std::string name = std::to_string(number);
    name += extension;
    return name;
}

} // namespace zantrel
