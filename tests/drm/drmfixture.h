// Shared set-up of the DRM tests: a fresh work tree with a built code group
// in place of the one a flash reader would have written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/worktree.h"

#include "shell/state.h"

#include "support/bytes.h"
#include "support/tempfolder.h"
#include "tools/drmbuilder.h"

namespace zantrel::test {

inline void MakeWorkTree(const TempFolder& folder) {
    State().workFolder = folder.Path() + "/work";
    BuildWorkTree();
    State().replacer.blue = 255;
    State().replacer.green = 0;
    State().replacer.red = 255;
}

inline void PlaceCodeGroup(int image, const std::vector<std::uint8_t>& bytes) {
    WriteAll((image == 1 ? State().binary1Dir : State().binary2Dir) + "/CG15.bin", bytes);
}

// Records of "descr.dat", little-endian signed words.
inline std::vector<std::int32_t> DescrRecords(const std::string& path) {
    std::vector<std::uint8_t> b = ReadAll(path);
    std::vector<std::int32_t> v;
    for (std::size_t i = 0; i + 4 <= b.size(); i += 4)
        v.push_back(static_cast<std::int32_t>(std::uint32_t{b[i]} | std::uint32_t{b[i + 1]} << 8 |
                                              std::uint32_t{b[i + 2]} << 16 |
                                              std::uint32_t{b[i + 3]} << 24));
    return v;
}

// An extended DRM with two pictures (the first with a mask and filler after
// it) and three icons: a GIF, a BMP and one byte that is neither.
inline samples::DrmPlan ExtendedPlan() {
    samples::DrmPlan plan;
    plan.extended = true;
    plan.prefix = true;
    plan.tag = samples::TagVariant::At464;
    plan.pictures = {samples::SamplePicture(3, 2, 1, true, 6),
                     samples::SamplePicture(5, 3, 2, false, 0)};
    plan.icons = {samples::GifIcon(4, 3, 1), samples::BmpIcon(3, 2, 2), {'X'}};
    return plan;
}

} // namespace zantrel::test
