#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

#include "base/worktree.h"

#include "shell/cleanup.h"
#include "shell/state.h"

#include "support/tempfolder.h"

namespace zantrel {
namespace {

using test::Exists;
using test::ListFiles;
using test::TempFolder;
using Files = std::vector<std::string>;

void Touch(const std::string& path) { std::ofstream(path, std::ios::binary) << 'x'; }

// A built tree under tmp/work, with raws folders as decompilation makes them.
std::string MakeTree(const TempFolder& tmp) {
    State().workFolder = tmp / "work";
    BuildWorkTree();
    std::filesystem::create_directory(State().drmpack1Dir + "/raws");
    std::filesystem::create_directory(State().drmpack2Dir + "/raws");
    return State().workFolder;
}

TEST(CleanWorkFolder, RemovesEveryKnownFileAndThenTheTree) {
    TempFolder tmp;
    const std::string work = MakeTree(tmp);
    const SharedState& s = State();
    for (const std::string& branch : {s.binary1Dir, s.binary2Dir}) {
        for (int n = 0; n <= 18; ++n)
            Touch(branch + "/CG" + std::to_string(n) + ".bin");
        for (const char* name :
             {"/RAMDLD.bin", "/header.bin", "/drmpack/start.bin", "/drmpack/off.bin",
              "/drmpack/trail.bin", "/drmpack/descr.dat", "/drmpack/newoff.bin",
              "/drmpack/rawoff.bin", "/drmpack/icons/1.gif", "/drmpack/icons/2.bmp",
              "/drmpack/icons/3.gif", "/drmpack/raws/1.raw", "/drmpack/raws/2.raw"})
            Touch(branch + name);
    }
    Touch(s.drmpack1Dir + "/temp.raw");
    Touch(s.icons1Dir + "/Thumbs.db");
    CleanWorkFolder();
    EXPECT_TRUE(Exists(work));
    EXPECT_TRUE(std::filesystem::is_empty(work));

    // An empty tree goes too; the work folder stays.
    MakeTree(tmp);
    CleanWorkFolder();
    EXPECT_TRUE(std::filesystem::is_empty(work));

    // No tree at all: nothing happens.
    CleanWorkFolder();
    EXPECT_TRUE(std::filesystem::is_empty(work));
}

TEST(CleanWorkFolder, NumberedLoopsStopAtAGapAndTryGifFirst) {
    TempFolder tmp;
    const std::string work = MakeTree(tmp);
    const SharedState& s = State();
    for (const char* name : {"/1.gif", "/2.bmp", "/4.gif"})
        Touch(s.icons1Dir + name);
    for (const char* name : {"/1.gif", "/2.gif", "/2.bmp"})
        Touch(s.icons2Dir + name);
    for (const char* name : {"/1.raw", "/3.raw"})
        Touch(s.drmpack1Dir + "/raws" + name);
    Touch(s.icons2Dir + "/Thumbs.db"); // only image 1's is cleaned
    Touch(s.binary1Dir + "/CG19.bin");
    Touch(s.binary2Dir + "/CG20.bin");
    CleanWorkFolder();
    EXPECT_EQ(ListFiles(work),
              (Files{"binary1/CG19.bin", "binary1/drmpack/icons/4.gif",
                     "binary1/drmpack/raws/3.raw", "binary2/CG20.bin",
                     "binary2/drmpack/icons/2.bmp", "binary2/drmpack/icons/Thumbs.db"}));
    // Folders holding a leftover stay; the emptied ones go.
    EXPECT_FALSE(Exists(s.drmpack2Dir + "/raws"));
}

// Icons are numbered after the pictures, up to twice the most of either a
// DRM lists; raw pictures up to that most. With conversion off, the
// pictures' BMP copies are missing before the icons: no gap.
TEST(CleanWorkFolder, ItemsUpTo5998AreCleanedWhateverTheConversion) {
    TempFolder tmp;
    const std::string work = MakeTree(tmp);
    for (int n = 1; n <= 5999; ++n)
        Touch(State().icons1Dir + "/" + std::to_string(n) + (n % 2 ? ".gif" : ".bmp"));
    for (int n = 1; n <= 3000; ++n)
        Touch(State().drmpack2Dir + "/raws/" + std::to_string(n) + ".raw");
    for (const char* name : {"/4.gif", "/5.bmp"})
        Touch(State().icons2Dir + name);
    CleanWorkFolder();
    EXPECT_EQ(ListFiles(work),
              (Files{"binary1/drmpack/icons/5999.gif", "binary2/drmpack/raws/3000.raw"}));
}

} // namespace
} // namespace zantrel
