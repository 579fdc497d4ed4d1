// zantrel-cli run as a program in a fresh start folder: its output lines,
// exit statuses and the files it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/unicode.h"
#include "support/process.h"
#include "support/tempfolder.h"

namespace zantrel {
namespace {

using test::Exists;
using test::ReadText;
using test::TempFolder;
using test::WriteText;
using Lines = std::vector<std::string>;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
    Lines OutLines() const {
        Lines lines;
        std::size_t at = 0;
        while (at < out.size()) {
            std::size_t end = out.find('\n', at);
            if (end == std::string::npos)
                end = out.size();
            lines.push_back(out.substr(at, end - at));
            at = end + 1;
        }
        return lines;
    }
};

Result RunIn(const std::string& folder, const std::string& program, const Lines& args) {
    test::ProgramResult r = test::RunProgram(folder, program, args);
    return {r.status, std::move(r.out), std::move(r.err)};
}

// A path as a JSON string holds it.
std::string JsonText(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\\' || c == '"')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// A start folder below the test's temporary folder, with the sample files.
struct StartFolder {
    TempFolder temp;
    std::string path = temp / "start";
    StartFolder() {
        std::filesystem::create_directory(PathFromUtf8(path));
        std::filesystem::create_directory(PathFromUtf8(temp / "samples"));
        Result gen = RunIn(path, "zantrel-samplegen", {temp / "samples"});
        EXPECT_EQ(gen.status, 0) << gen.err;
    }
    std::string Sample(const std::string& name) const { return JoinPath(temp / "samples", name); }
    std::string operator/(const std::string& name) const {
        return JoinPath(path, test::NativePath(name));
    }
    Result Cli(const Lines& args) const { return RunIn(path, "zantrel-cli", args); }
};

TEST(ZantrelCli, OpenThenSaveAs) {
    StartFolder dir;
    Result open = dir.Cli({"open", dir.Sample("phone-extended.shx")});
    EXPECT_EQ(open.status, 0) << open.err;
    Lines lines = open.OutLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Decompiling source file 1");
    // The Part's line, then where the files are and what comes next.
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "DRM decompiled.");
    EXPECT_EQ(lines.back(),
              "The icons and pictures to edit are in " + (dir / "binary1/drmpack/icons") +
                  ". Edit them with any picture editor, then start Zantrel again in " + dir.path +
                  " and choose Save As.");
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), "1");
    EXPECT_TRUE(Exists(dir / "binary1/CG15.bin"));
    EXPECT_TRUE(Exists(dir / "binary1/drmpack/descr.dat"));
    EXPECT_EQ(ReadText(dir / "zantrel.ini"),
              "1\r\n1\r\n1\r\n255\r\n0\r\n255\r\n" + dir.path + "\r\n");

    // Commands this run does not offer: status 2, the session kept.
    for (Lines args :
         {Lines{"open", dir.Sample("phone-extended.shx")}, Lines{"port"}, Lines{"settings"}}) {
        SCOPED_TRACE(args[0]);
        Result refused = dir.Cli(args);
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.err.rfind("zantrel-cli: " + args[0] + " ", 0), 0u) << refused.err;
        EXPECT_EQ(refused.OutLines(),
                  (Lines{"Incomplete Operation: DRM was not compiled",
                         "Your edits are kept in " + (dir / "binary1/drmpack/icons") +
                             ". Start Zantrel again in " + dir.path + " to save them."}));
        EXPECT_EQ(ReadText(dir / "shxdata.dat"), "1");
    }

    Result save = dir.Cli({"save-as", "out"});
    EXPECT_EQ(save.status, 0) << save.err;
    lines = save.OutLines();
    // Each path written, on its own line after the message.
    EXPECT_EQ(lines, (Lines{"Moving gifs", "Converting and moving raws", "Compiling shx",
                            "Operation Complete", "Written:", dir / "out.shx", dir / "out.bin",
                            "Complete"}));
    EXPECT_TRUE(Exists(dir / "out.shx"));
    EXPECT_TRUE(Exists(dir / "out.bin"));
    EXPECT_FALSE(Exists(dir / "shxdata.dat"));
    EXPECT_FALSE(Exists(dir / "binary1"));

    // A fresh run has nothing to save.
    Result fresh = dir.Cli({"save-as", "again.shx"});
    EXPECT_EQ(fresh.status, 2);
    EXPECT_TRUE(fresh.out.empty());
    EXPECT_FALSE(Exists(dir / "shxdata.dat"));
}

TEST(ZantrelCli, SessionAndPortOfAPair) {
    StartFolder dir;
    EXPECT_EQ(dir.Cli({"session"}).OutLines(), (Lines{"No session is pending."}));
    Result open =
        dir.Cli({"open", dir.Sample("phone-extended.shx"), dir.Sample("export-extended.shx")});
    ASSERT_EQ(open.status, 0) << open.err;

    Result session = dir.Cli({"session"});
    EXPECT_EQ(session.status, 0);
    EXPECT_EQ(
        session.OutLines(),
        (Lines{"Flash file: " + dir.Sample("phone-extended.shx"),
               "Port source: " + dir.Sample("export-extended.shx"), "Kind: Superfile, two images",
               "Work folder: " + (dir / "binary1/drmpack/icons"),
               "Image 1: 12 icons and 5 pictures (extended DRM)",
               "Image 2: 12 icons and 5 pictures (extended DRM)",
               "Save As writes: a new superfile (.shx) you name, and its compiled code group "
               "(.bin) beside it",
               "Port: copies 12 icons and 5 pictures of export-extended.shx over those of "
               "phone-extended.shx"}));

    // Port says what it copied; the session stays for Save As.
    Result port = dir.Cli({"port"});
    EXPECT_EQ(port.status, 0) << port.err;
    const Lines lines = port.OutLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "Port: Ported 12 icons and 5 pictures of export-extended.shx into "
                        "phone-extended.shx."),
              lines.end())
        << port.out;
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), "2");

    // Names from the work folder reach the terminal with their control
    // characters and stray bytes escaped, other UTF-8 as it is.
    WriteText(dir / "binary1/flashfiles.txt",
              "ph\x1b[2Jon\xc3\xa9\x07\xff.shx\r\nex\xc2\x9bport\x7f.shx\r\n");
    const Lines shown = dir.Cli({"session"}).OutLines();
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[0], "Flash file: ph\\x1b[2Jon\xc3\xa9\\x07\\xff.shx");
    EXPECT_EQ(shown[1], "Port source: ex\\xc2\\x9bport\\x7f.shx");
}

TEST(ZantrelCli, FailuresAndUsage) {
    StartFolder dir;
    Result missing = dir.Cli({"open", "missing.shx"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "zantrel-cli: File not found: " + (dir / "missing.shx") +
                               "\nCheck the flash file's name and folder, then try again.\n");
    EXPECT_FALSE(Exists(dir / "shxdata.dat"));

    Result nodrm = dir.Cli({"open", dir.Sample("nodrm.shx")});
    EXPECT_EQ(nodrm.status, 1);
    const Lines said = nodrm.OutLines();
    ASSERT_GE(said.size(), 2u);
    EXPECT_EQ(said[said.size() - 2], "Error: No DRM found");
    EXPECT_EQ(said.back(), dir.Sample("nodrm.shx") +
                               " holds no DRM that Zantrel can take apart. Start Zantrel again "
                               "and open another flash file.");
    EXPECT_FALSE(Exists(dir / "shxdata.dat"));

    // Work files gone between the runs: each problem on a line of its own,
    // status 1, the session kept.
    ASSERT_EQ(dir.Cli({"open", dir.Sample("phone-extended.shx")}).status, 0);
    DeleteFileQuietly(dir / "binary1/drmpack/trail.bin");
    DeleteFileQuietly(dir / "binary1/RAMDLD.bin");
    Result save = dir.Cli({"save-as", "out.shx"});
    EXPECT_EQ(save.status, 1);
    EXPECT_EQ(save.err, "");
    const std::string putBack = "; Save As needs it as Open wrote it. Put it back, or discard "
                                "the session and open the flash file again.";
    EXPECT_EQ(save.OutLines(),
              (Lines{"Error: Nothing was saved: Save As found 2 problems in the work files. Put "
                     "them right, then save again.",
                     "trail.bin: missing" + putBack, "RAMDLD.bin: missing" + putBack,
                     "Folders: " + (dir / "binary1/drmpack") + ", " + (dir / "binary1"),
                     "Incomplete Operation: DRM was not compiled",
                     "Your edits are kept in " + (dir / "binary1/drmpack/icons") +
                         ". Start Zantrel again in " + dir.path + " to save them."}));
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), "1");
    EXPECT_FALSE(Exists(dir / "out.shx"));

    // Bad usage is refused before start-up: the session file stays untouched.
    for (Lines args : {Lines{}, Lines{"frobnicate"}, Lines{"save-as"}, Lines{"port", "x"},
                       Lines{"settings", "--cleanup", "maybe"}, Lines{"info"}}) {
        Result bad = dir.Cli(args);
        EXPECT_EQ(bad.status, 2);
        EXPECT_FALSE(bad.err.empty());
        EXPECT_EQ(ReadText(dir / "shxdata.dat"), "1");
    }
    Result help = dir.Cli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status:"), std::string::npos);
    EXPECT_NE(help.out.find("\n  --version\n"), std::string::npos);

    EXPECT_EQ(dir.Cli({"exit"}).status, 0);
    EXPECT_EQ(ReadText(dir / "shxdata.dat"), "1");
    // The version the About box shows.
    Result version = dir.Cli({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "zantrel-cli 0.3.3\n");

    // Discard ends the session on purpose, with its work files; then there is none.
    EXPECT_EQ(dir.Cli({"discard"}).status, 0);
    EXPECT_FALSE(Exists(dir / "shxdata.dat"));
    EXPECT_TRUE(test::ListFiles(dir / "binary1").empty());
    EXPECT_EQ(dir.Cli({"discard"}).status, 2);
}

TEST(ZantrelCli, InfoSessionAndExitLeaveTheStartFolderAlone) {
    StartFolder dir;
    // Looking, or ending a run that has nothing pending, writes nothing.
    EXPECT_EQ(dir.Cli({"session"}).OutLines(), (Lines{"No session is pending."}));
    EXPECT_EQ(dir.Cli({"exit"}).status, 0);
    EXPECT_TRUE(std::filesystem::is_empty(PathFromUtf8(dir.path)));

    Result text = dir.Cli({"info", dir.Sample("phone-extended.shx")});
    EXPECT_EQ(text.status, 0) << text.err;
    Lines lines = text.OutLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "Kind: superfile");
    auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("DRM: found"));
    EXPECT_TRUE(has("Layout: extended"));
    EXPECT_TRUE(test::ListFiles(dir.path).empty());

    Result json = dir.Cli({"info", "--json", dir.Sample("phone-extended.shx")});
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.out.rfind("{\"file\":\"" + JsonText(dir.Sample("phone-extended.shx")) +
                                 "\",\"kind\":\"superfile\",\"headerBytes\":8172,\"codeGroups\":[{"
                                 "\"name\":\"RAMDLD.bin\"",
                             0),
              0u)
        << json.out;
    EXPECT_NE(json.out.find("\"drm\":{\"layout\":\"extended\""), std::string::npos);
    EXPECT_EQ(json.out.back(), '\n');

    // A rooted path is a file, not an option (Windows-style "/name").
    Result rooted = dir.Cli({"info", "/nothing/at-all.shx"});
    EXPECT_EQ(rooted.status, 1) << rooted.err;
    EXPECT_EQ(rooted.err.rfind("zantrel-cli: File not found: ", 0), 0u) << rooted.err;
    EXPECT_TRUE(rooted.err.substr(0, rooted.err.find('\n')).ends_with("at-all.shx")) << rooted.err;

    Result none = dir.Cli({"info", dir.Sample("nodrm.shx")});
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.OutLines().back(), "DRM: none");
    Result missing = dir.Cli({"info", "nothing.bin"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.substr(0, missing.err.find('\n')),
              "zantrel-cli: File not found: " + (dir / "nothing.bin"));
    EXPECT_TRUE(test::ListFiles(dir.path).empty());
}

// A file name is bytes; JSON is UTF-8. The bytes that are not UTF-8 become
// U+FFFD, and the rest of the report is unchanged.
TEST(ZantrelCli, InfoJsonOfANameThatIsNotUtf8) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows file names are UTF-16: none holds bytes that are not UTF-8";
#endif
    StartFolder dir;
    const std::string name = "ph\xff\xfeone\x01.shx";
    std::filesystem::copy_file(dir.Sample("phone-extended.shx"), dir.Sample(name));
    Result json = dir.Cli({"info", "--json", dir.Sample(name)});
    ASSERT_EQ(json.status, 0) << json.err;
    ASSERT_TRUE(nlohmann::json::accept(json.out)) << json.out;
    const auto report = nlohmann::json::parse(json.out);
    EXPECT_EQ(report["file"], dir.Sample("ph\uFFFD\uFFFDone\x01.shx"));
    EXPECT_EQ(report["kind"], "superfile");
    EXPECT_EQ(report["headerBytes"], 8172);
    EXPECT_EQ(report["codeGroups"][0]["name"], "RAMDLD.bin");
    EXPECT_EQ(report["drm"]["layout"], "extended");

    Result plain = dir.Cli({"info", "--json", dir.Sample("phone-extended.shx")});
    const std::string tail = plain.out.substr(plain.out.find(",\"kind\""));
    EXPECT_EQ(json.out.substr(json.out.find(",\"kind\"")), tail);
}

// The editing commands typed at the console: export-png makes its folder and
// replaces a person's files only when told; a picture's name is printed
// escaped (U+009B, a terminal's control sequence introducer, in it).
TEST(ZantrelCli, EditingReplacesNothingUnaskedAndPrintsNamesEscaped) {
    StartFolder dir;
    ASSERT_EQ(dir.Cli({"open", dir.Sample("phone-extended.shx")}).status, 0);
    const Result exported = dir.Cli({"export-png", dir / "png/new"});
    ASSERT_EQ(exported.status, 0) << exported.out << exported.err;
    WriteText(dir / "png/new/1.png", "mine");
    const Result again = dir.Cli({"export-png", dir / "png/new"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.out.find("exist and would be replaced: 1.png, 2.png,"), std::string::npos)
        << again.out;
    EXPECT_EQ(ReadText(dir / "png/new/1.png"), "mine");
    EXPECT_EQ(dir.Cli({"export-png", dir / "png/new", "--overwrite"}).status, 0);
    EXPECT_NE(ReadText(dir / "png/new/1.png"), "mine");

    const std::string name = "\xC2\x9B"
                             "2J.png";
    WriteText(dir / name, "not a picture");
    const Result refused = dir.Cli({"replace", "1", dir / name});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.OutLines().at(0), "Replace: \\xc2\\x9b2J.png cannot be used: it is not a "
                                        "picture file this program reads.");
    EXPECT_EQ(refused.out.find("\xC2\x9B"), std::string::npos);
}

// Options it does not know never become a folder of that name.
TEST(ZantrelSamplegen, HelpAndUnknownOptions) {
    TempFolder dir;
    Result help = RunIn(dir.Path(), "zantrel-samplegen", {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: zantrel-samplegen OUTDIR", 0), 0u) << help.out;
    Result unknown = RunIn(dir.Path(), "zantrel-samplegen", {"-x"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err.rfind("zantrel-samplegen: unknown option '-x'\n", 0), 0u) << unknown.err;
    EXPECT_TRUE(test::ListFiles(dir.Path()).empty());
    EXPECT_FALSE(Exists(dir / "--help"));
    EXPECT_FALSE(Exists(dir / "-x"));
}

TEST(ZantrelCli, SettingsOptions) {
    StartFolder dir;
    std::filesystem::create_directory(PathFromUtf8(dir / "work"));
    Result set = dir.Cli(
        {"settings", "--cleanup", "off", "--replacer", "255,128,0", "--work-folder", "work"});
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(ReadText(dir / "zantrel.ini"),
              "0\r\n1\r\n1\r\n0\r\n128\r\n255\r\n" + dir / "work" + "\r\n");
    EXPECT_TRUE(Exists(dir / "work/binary1/drmpack/icons"));
    EXPECT_EQ(set.OutLines(), (Lines{"cleanup: off", "ask-second: on", "bmp: on",
                                     "replacer: 255,128,0", "work-folder: " + dir / "work"}));

    Result shown = dir.Cli({"settings"});
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out, set.out);

    // The colour box is disabled while conversion is off.
    const std::string before = ReadText(dir / "zantrel.ini");
    EXPECT_EQ(dir.Cli({"settings", "--bmp", "off", "--replacer", "1,2,3"}).status, 2);
    EXPECT_EQ(dir.Cli({"settings", "--work-folder", "absent"}).status, 1);
    EXPECT_EQ(ReadText(dir / "zantrel.ini"), before);

    ASSERT_EQ(dir.Cli({"settings", "--ask-second", "off", "--bmp", "off"}).status, 0);
    EXPECT_EQ(ReadText(dir / "zantrel.ini"),
              "0\r\n0\r\n0\r\n0\r\n128\r\n255\r\n" + dir / "work" + "\r\n");
    // Edit-only mode takes no export file.
    Result two = dir.Cli({"open", dir.Sample("phone-extended.shx"), dir.Sample("phone-basic.sbf")});
    EXPECT_EQ(two.status, 2);
    EXPECT_FALSE(Exists(dir / "shxdata.dat"));
}

} // namespace
} // namespace zantrel
