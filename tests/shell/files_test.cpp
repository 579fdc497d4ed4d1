// The settings file and the session file as the shell reads and writes them.
#include <filesystem>
#include <gtest/gtest.h>

#include "base/uiops.h"
#include "base/unicode.h"
#include "base/worktree.h"

#include "shell/session.h"
#include "shell/settings.h"
#include "shell/state.h"

#include "support/recordingui.h"
#include "support/tempfolder.h"

namespace zantrel {
namespace {

using test::Exists;
using test::ReadText;
using test::TempFolder;
using test::WriteText;

TEST(LoadSettings, CreatesTheDefaultFileWhenThereIsNone) {
    TempFolder tmp;
    State().startFolder = tmp.Path();
    LoadSettings();
    EXPECT_EQ(ReadText(tmp / "zantrel.ini"),
              "1\r\n1\r\n1\r\n255\r\n0\r\n255\r\n" + tmp.Path() + "\r\n");
    const SharedState& s = State();
    EXPECT_TRUE(s.cleanupEnabled);
    EXPECT_TRUE(s.askSecondFile);
    EXPECT_TRUE(s.rawConversionEnabled);
    EXPECT_EQ(s.replacer.blue, 255);
    EXPECT_EQ(s.replacer.green, 0);
    EXPECT_EQ(s.replacer.red, 255);
    EXPECT_EQ(s.workFolder, tmp.Path());
}

TEST(LoadSettings, TakesLowEightBitsAndWholeLastLine) {
    TempFolder tmp;
    State().startFolder = tmp.Path();
    WriteText(tmp / "zantrel.ini",
              "2\r\n257\r\n  1  \r\n300\r\n-1\r\n7 8\r\n  /my work folder \r\n");
    LoadSettings();
    const SharedState& s = State();
    EXPECT_FALSE(s.cleanupEnabled);
    EXPECT_TRUE(s.askSecondFile);
    EXPECT_TRUE(s.rawConversionEnabled);
    EXPECT_EQ(s.replacer.blue, 44);
    EXPECT_EQ(s.replacer.green, 255);
    EXPECT_EQ(s.replacer.red, 7);
    EXPECT_EQ(s.workFolder, "  /my work folder ");

    // A bad number reads as 0 and the lines after it are read on; bare LF ends lines too.
    WriteText(tmp / "zantrel.ini", "yes\n1\n1\n$10\n0x20\n48\n/w\n");
    LoadSettings();
    EXPECT_FALSE(s.cleanupEnabled);
    EXPECT_TRUE(s.askSecondFile);
    EXPECT_EQ(s.replacer.blue, 16);
    EXPECT_EQ(s.replacer.green, 32);
    EXPECT_EQ(s.replacer.red, 48);
    EXPECT_EQ(s.workFolder, "/w");

    // A short file: missing numbers are 0 and a missing line 7 is the start folder.
    WriteText(tmp / "zantrel.ini", "1\r\n1\r\n");
    LoadSettings();
    EXPECT_TRUE(s.cleanupEnabled);
    EXPECT_TRUE(s.askSecondFile);
    EXPECT_FALSE(s.rawConversionEnabled);
    EXPECT_EQ(s.replacer.blue, 0);
    EXPECT_EQ(s.replacer.green, 0);
    EXPECT_EQ(s.replacer.red, 0);
    EXPECT_EQ(s.workFolder, s.startFolder);
    EXPECT_EQ(ReadText(tmp / "zantrel.ini"), "1\r\n1\r\n"); // an existing file is not rewritten
}

TEST(SaveSettings, WritesTheSevenLines) {
    TempFolder tmp;
    SharedState& s = State();
    s.startFolder = tmp.Path();
    s.cleanupEnabled = false;
    s.askSecondFile = true;
    s.rawConversionEnabled = false;
    s.replacer.blue = 1;
    s.replacer.green = 128;
    s.replacer.red = 0;
    s.workFolder = "/a b/c";
    SaveSettings();
    EXPECT_EQ(ReadText(tmp / "zantrel.ini"), "0\r\n1\r\n0\r\n1\r\n128\r\n0\r\n/a b/c\r\n");
}

TEST(SessionFile, ReadsDeletesAndWrites) {
    TempFolder tmp;
    SharedState& s = State();
    s.startFolder = tmp.Path();

    EXPECT_FALSE(ReadSessionFile());
    EXPECT_TRUE(s.freshSession);

    WriteText(tmp / "shxdata.dat", "6");
    EXPECT_TRUE(ReadSessionFile());
    EXPECT_FALSE(s.freshSession);
    EXPECT_EQ(s.sessionMode, 6);
    EXPECT_EQ(ReadText(tmp / "shxdata.dat"), "6"); // kept until the session ends

    WriteText(tmp / "shxdata.dat", "1\r\n");
    EXPECT_TRUE(ReadSessionFile());
    EXPECT_EQ(s.sessionMode, 1);

    WriteText(tmp / "shxdata.dat", "261");
    EXPECT_TRUE(ReadSessionFile());
    EXPECT_EQ(s.sessionMode, 5);

    for (const char* text : {"", "junk"}) {
        s.sessionMode = 9;
        WriteText(tmp / "shxdata.dat", text);
        EXPECT_TRUE(ReadSessionFile());
        EXPECT_FALSE(s.freshSession);
        EXPECT_EQ(s.sessionMode, 0);
    }

    WriteText(tmp / "shxdata.dat", "12345678");
    s.sessionMode = 5;
    WriteSessionFile();
    EXPECT_EQ(ReadText(tmp / "shxdata.dat"), "5");
    DeleteSessionFile();
    EXPECT_FALSE(Exists(tmp / "shxdata.dat"));
    DeleteSessionFile(); // absent: nothing happens
}

TEST(EnterStartFolder, MakesTheFolderAndEntersItOrSaysWhyAndStays) {
    TempFolder tmp;
    const std::string folder = tmp / test::NativePath("Documents/Zantrel");
    EXPECT_EQ(EnterStartFolder(folder), std::nullopt);
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), PathFromUtf8(folder)));

    WriteText(tmp / "in the way", "x");
    const auto why = EnterStartFolder(tmp / "in the way");
    ASSERT_TRUE(why);
    EXPECT_NE(why->find(tmp / "in the way"), std::string::npos) << *why;
    EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::current_path(), PathFromUtf8(folder)));
}

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
