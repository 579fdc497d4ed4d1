// DrmCompile over a work folder made from the input: a flags byte (bit 0:
// picture conversion), then "descr.dat", "start.bin" and "trail.bin" as
// chunks (16-bit little-endian length, bytes), then any number of numbered
// files, each a kind byte (0 icons/n.gif, 1 icons/n.bmp, 2 raws/n.raw), a
// 16-bit number and a chunk. A compiled code group must hold the start
// region's length, the icons back to back, the new icon table and the trail;
// a refused or failed one must leave no output behind.
#include <filesystem>

#include "base/fileio.h"
#include "base/worktree.h"

#include "drm/compile.h"
#include "drm/drmpack.h"

#include "shell/state.h"

#include "harness.h"

using namespace zantrel;
using namespace zantrel::fuzz;

namespace {

std::uint32_t BE32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + 2])) << 8 |
           static_cast<std::uint8_t>(b[at + 3]);
}

void CheckCompiled(const std::string& out, const std::string& start, const std::string& trail) {
    const SharedState& s = State();
    const DrmRecords d = ReadDescr(JoinPath(s.drmpack1Dir, DescrFileName));
    const std::int32_t r = d.extended ? d.pictureCount : 0;
    std::string icons;
    std::vector<std::size_t> ends;
    for (std::int32_t k = 1; k <= d.iconCount; ++k) {
        const long number = static_cast<long>(r) + k;
        const std::string gif = JoinPath(s.icons1Dir, NumberedFileName(number, ".gif"));
        icons += ReadFile(
            FileExists(gif) ? gif : JoinPath(s.icons1Dir, NumberedFileName(number, ".bmp")));
        ends.push_back(icons.size());
    }
    const std::size_t body = start.size() + icons.size();
    const std::size_t table = body + (16 - body % 16) % 16;
    const std::size_t expected = table + 4 * (ends.size() + 2) + trail.size();
    if (out.size() != expected)
        Fail("compiled " + std::to_string(out.size()) + " bytes, expected " +
             std::to_string(expected));
    if (out.compare(start.size(), icons.size(), icons) != 0)
        Fail("the icons are not back to back after the start region");
    if (out.find_first_not_of('\0', body) < table)
        Fail("the padding before the icon table is not zero");
    if (BE32(out, table) != 0 || BE32(out, table + 4) != 0)
        Fail("the icon table does not start with two zero words");
    for (std::size_t k = 0; k < ends.size(); ++k)
        if (BE32(out, table + 8 + 4 * k) != ends[k])
            Fail("icon table word " + std::to_string(k + 2) + " is not the icon's end");
    if (out.compare(table + 4 * (ends.size() + 2), trail.size(), trail) != 0)
        Fail("the trail is not after the icon table");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    StartFolder();
    ResetWorkTree();
    SharedState& s = State();
    s.compiledImagePath = JoinPath(s.workFolder, "new.bin");
    std::filesystem::remove(s.compiledImagePath);
    const std::string raws = JoinPath(s.drmpack1Dir, RawsFolderName);
    std::filesystem::create_directory(raws);

    InputSplitter in({data, size});
    s.rawConversionEnabled = (in.Byte() & 1) != 0;
    WriteFile(JoinPath(s.drmpack1Dir, DescrFileName), in.Chunk());
    const auto start = in.Chunk();
    WriteFile(JoinPath(s.drmpack1Dir, StartFileName), start);
    const auto trail = in.Chunk();
    WriteFile(JoinPath(s.drmpack1Dir, TrailFileName), trail);
    while (!in.AtEnd()) {
        const int kind = in.Byte() % 3;
        const long number = in.Word();
        const auto bytes = in.Chunk();
        const std::string folder = kind == 2 ? raws : s.icons1Dir;
        const char* ext = kind == 0 ? ".gif" : kind == 1 ? ".bmp" : ".raw";
        WriteFile(JoinPath(folder, NumberedFileName(number, ext)), bytes);
    }

    bool compiled = false;
    try {
        compiled = DrmCompile(FoldersOf(1), State().compiledImagePath).Done();
    } catch (const IoError&) {
        compiled = false; // a missing or unreadable work file: an I/O error for the user
    }
    if (!compiled) {
        for (const auto& entry : std::filesystem::directory_iterator(s.workFolder)) {
            const std::string name = entry.path().filename().string();
            if (name != "binary1" && name != "binary2")
                Fail("a compilation that did not complete left " + name);
        }
        return 0;
    }
    CheckCompiled(ReadFile(s.compiledImagePath),
                  std::string(reinterpret_cast<const char*>(start.data()), start.size()),
                  std::string(reinterpret_cast<const char*>(trail.data()), trail.size()));
    return 0;
}
