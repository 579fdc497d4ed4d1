// The settings file and the session file as the shell reads and writes them.
#include <gtest/gtest.h>

#include "shell/session.h"
#include "shell/settings.h"
#include "base/state.h"
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
    EXPECT_EQ(s.replacerBlue, 255);
    EXPECT_EQ(s.replacerGreen, 0);
    EXPECT_EQ(s.replacerRed, 255);
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
    EXPECT_EQ(s.replacerBlue, 44);
    EXPECT_EQ(s.replacerGreen, 255);
    EXPECT_EQ(s.replacerRed, 7);
    EXPECT_EQ(s.workFolder, "  /my work folder ");

    // A bad number reads as 0 and the lines after it are read on; bare LF ends lines too.
    WriteText(tmp / "zantrel.ini", "yes\n1\n1\n$10\n0x20\n48\n/w\n");
    LoadSettings();
    EXPECT_FALSE(s.cleanupEnabled);
    EXPECT_TRUE(s.askSecondFile);
    EXPECT_EQ(s.replacerBlue, 16);
    EXPECT_EQ(s.replacerGreen, 32);
    EXPECT_EQ(s.replacerRed, 48);
    EXPECT_EQ(s.workFolder, "/w");

    // A short file: missing numbers are 0 and a missing line 7 is the start folder.
    WriteText(tmp / "zantrel.ini", "1\r\n1\r\n");
    LoadSettings();
    EXPECT_TRUE(s.cleanupEnabled);
    EXPECT_TRUE(s.askSecondFile);
    EXPECT_FALSE(s.rawConversionEnabled);
    EXPECT_EQ(s.replacerBlue, 0);
    EXPECT_EQ(s.replacerGreen, 0);
    EXPECT_EQ(s.replacerRed, 0);
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
    s.replacerBlue = 1;
    s.replacerGreen = 128;
    s.replacerRed = 0;
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

} // namespace
} // namespace zantrel
