// The work tree's paths under the work folder and the compiled image's name
// beside Save As's target.
#include <gtest/gtest.h>

#include "base/state.h"
#include "base/worktree.h"
#include "support/tempfolder.h"

namespace zantrel {
namespace {

using test::Exists;
using test::ReadText;
using test::TempFolder;
using test::WriteText;

TEST(DeriveCompiledImagePath, ReplacesOnlyTheFileNamesExtension) {
    TempFolder tmp;
    const std::pair<const char*, const char*> cases[] = {
        {"/d/a.shx", "/d/a.bin"},   {"abcd", "abcd.bin"},       {"x.bin", "x.bin"},
        {"qout/x.s", "qout/x.bin"}, {"a.b/new", "a.b/new.bin"}, {"/d/new.SHX", "/d/new.bin"}};
    for (auto [save, compiled] : cases) {
        State().savePath = save;
        DeriveCompiledImagePath();
        EXPECT_EQ(State().compiledImagePath, compiled) << save;
    }
}

TEST(BuildWorkTree, SetsAllSixPathsAndCreatesThem) {
    TempFolder tmp;
    SharedState& s = State();
    s.workFolder = tmp / "work";
    BuildWorkTree();
    const auto under = [&](const std::string& rel) { return tmp / test::NativePath(rel); };
    EXPECT_EQ(s.binary1Dir, under("work/binary1"));
    EXPECT_EQ(s.drmpack1Dir, under("work/binary1/drmpack"));
    EXPECT_EQ(s.icons1Dir, under("work/binary1/drmpack/icons"));
    EXPECT_EQ(s.binary2Dir, under("work/binary2"));
    EXPECT_EQ(s.drmpack2Dir, under("work/binary2/drmpack"));
    EXPECT_EQ(s.icons2Dir, under("work/binary2/drmpack/icons"));
    for (const auto& dir :
         {s.binary1Dir, s.drmpack1Dir, s.icons1Dir, s.binary2Dir, s.drmpack2Dir, s.icons2Dir})
        EXPECT_TRUE(Exists(dir)) << dir;
    EXPECT_FALSE(Exists(s.drmpack1Dir + "/raws"));

    WriteText(s.icons1Dir + "/1.gif", "GIF");
    BuildWorkTree();
    EXPECT_EQ(ReadText(s.icons1Dir + "/1.gif"), "GIF");
    EXPECT_EQ(test::ListFiles(s.workFolder),
              std::vector<std::string>{"binary1/drmpack/icons/1.gif"});

    // Missing parents are not created, but the paths are set all the same.
    s.workFolder = under("no/such");
    BuildWorkTree();
    EXPECT_EQ(s.icons2Dir, under("no/such/binary2/drmpack/icons"));
    EXPECT_FALSE(Exists(tmp / "no"));
}

} // namespace
} // namespace zantrel
