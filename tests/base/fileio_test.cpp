// The file layer against the system: replacing, read-only targets, non-ASCII
// names and large offsets, on Linux and under Windows alike.
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

#include "base/fileio.h"
#include "base/folders.h"
#include "base/paths.h"
#include "base/unicode.h"

#include "support/tempfolder.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zantrel {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::TempFolder;
using test::WriteText;

void WriteThrough(const std::string& target, const std::string& text) {
    AtomicOutput output(target);
    BinaryFile file = BinaryFile::Create(output.TempPath());
    file.Write(text);
    file.Close();
    output.Commit();
}

TEST(AtomicOutput, ReplacesAnExistingTargetEveryTime) {
    TempFolder tmp;
    const std::string target = tmp / "out.shx";
    WriteThrough(target, "first");
    WriteThrough(target, "second");
    WriteThrough(target, "third!");
    EXPECT_EQ(ReadText(target), "third!");
    EXPECT_EQ(test::ListFiles(tmp.Path()), (std::vector<std::string>{"out.shx"}));
}

TEST(AtomicOutput, RefusesAReadOnlyTargetByName) {
    TempFolder tmp;
    const std::string target = tmp / "kept.shx";
    WriteText(target, "kept");
    fs::permissions(PathFromUtf8(target), fs::perms::owner_write, fs::perm_options::remove);
    ASSERT_TRUE(IsReadOnlyFile(target));
    try {
        WriteThrough(target, "new");
        FAIL() << "replaced a read-only file";
    } catch (const IoError& e) {
        EXPECT_EQ(e.Code(), IoAccessDenied);
        EXPECT_EQ(e.Path(), target);
    }
    EXPECT_EQ(ReadText(target), "kept");
    EXPECT_EQ(test::ListFiles(tmp.Path()), (std::vector<std::string>{"kept.shx"}));
    // A work file the user made read-only still goes with the clean-up.
    DeleteFileChecked(target);
    EXPECT_FALSE(FileExists(target));
}

TEST(FileLayer, NonAsciiNamesRoundTrip) {
    TempFolder tmp;
    const std::string folder = tmp / "Grüße телефон";
    ASSERT_TRUE(fs::create_directory(PathFromUtf8(folder)));
    const std::string file = JoinPath(folder, "телефон 1.shx");
    WriteThrough(file, "12345");
    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(FolderExists(folder));
    EXPECT_EQ(FileSizeOf(file), 5);
    EXPECT_EQ(test::ListFiles(folder), (std::vector<std::string>{"телефон 1.shx"}));

    const std::string renamed = JoinPath(folder, "Grüße.bin");
    RenameFile(file, renamed);
    BinaryFile in = BinaryFile::OpenRead(renamed);
    EXPECT_EQ(in.Size(), 5);
    in.Close();
    EXPECT_EQ(Utf8FromPath(PathFromUtf8(renamed)), renamed);
    DeleteFileChecked(renamed);
    EXPECT_FALSE(FileExists(renamed));
    try {
        BinaryFile::OpenRead(file);
        FAIL() << "opened a file that was renamed away";
    } catch (const IoError& e) {
        EXPECT_EQ(e.Code(), IoFileNotFound);
        EXPECT_EQ(e.what(), "File not found: " + file);
    }
}

// A folder's listing tells plain files, folders and links apart as a look-up
// would: a link never passes for a file, nor another spelling for the name.
TEST(FolderNames, TellFilesFromFoldersAndLinksByTheListingAlone) {
    TempFolder tmp;
    const std::string folder = tmp / "icons";
    ASSERT_TRUE(fs::create_directory(PathFromUtf8(folder)));
    WriteThrough(JoinPath(folder, "3.gif"), "GIF89a");
    ASSERT_TRUE(fs::create_directory(PathFromUtf8(JoinPath(folder, "4.gif"))));
    std::error_code unsupported;
    fs::create_symlink(PathFromUtf8(JoinPath(folder, "3.gif")),
                       PathFromUtf8(JoinPath(folder, "5.gif")), unsupported);
    const FolderNames names(folder);
    EXPECT_TRUE(names.HoldsFile("3.gif"));
    EXPECT_FALSE(names.HoldsFile("3.GIF"));
    EXPECT_TRUE(names.MayHold("3.GIF"));
    EXPECT_FALSE(names.HoldsFile("4.gif"));
    EXPECT_FALSE(names.MayHold("6.gif"));
    if (!unsupported) {
        EXPECT_FALSE(names.HoldsFile("5.gif"));
        EXPECT_EQ(LinksInFolder(folder), std::vector<std::string>{"5.gif"});
        EXPECT_EQ(names.Links(), LinksInFolder(folder));
    }
    EXPECT_FALSE(FolderNames(tmp / "none").HoldsFile("3.gif"));
    EXPECT_TRUE(FolderNames(tmp / "none").MayHold("3.gif"));
}

// Damaged pointers make offsets past 2 GiB: the read there ends the file,
// the seek itself is no error.
TEST(BinaryFile, SeeksPastTwoGibibytes) {
    TempFolder tmp;
    WriteText(tmp / "small.bin", "abcd");
    BinaryFile f = BinaryFile::OpenRead(tmp / "small.bin");
    for (std::int64_t at : {std::int64_t{0x80000000}, std::int64_t{0x1'2345'6789}}) {
        f.Seek(at);
        EXPECT_EQ(f.Position(), at);
        std::uint8_t byte[1];
        try {
            f.ReadExact(byte);
            FAIL() << "read past the end";
        } catch (const IoError& e) {
            EXPECT_EQ(e.Code(), IoReadPastEnd);
        }
    }
}

#ifdef _WIN32
// Another program holding the target open without sharing it: the rename is
// tried again while it is held, and fails naming the file when it stays held.
TEST(RenameFile, WaitsForAFileHeldOpenThenNamesIt) {
    TempFolder tmp;
    const std::string target = tmp / "held.shx";
    WriteText(target, "old");
    WriteText(tmp / "a.tmp", "new");
    HANDLE held = CreateFileW(WideFromUtf8(target).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    try {
        RenameFile(tmp / "a.tmp", target);
        FAIL() << "replaced a file held open";
    } catch (const IoError& e) {
        EXPECT_EQ(e.Code(), IoAccessDenied);
        EXPECT_EQ(e.Path(), target);
    }
    EXPECT_EQ(ReadText(tmp / "a.tmp"), "new");

    std::thread release([&] {
        Sleep(250);
        CloseHandle(held);
    });
    RenameFile(tmp / "a.tmp", target);
    release.join();
    EXPECT_EQ(ReadText(target), "new");
}
#endif

} // namespace
} // namespace zantrel
