// zantrel-cli and zantrel-samplegen run as programs, for what the golden
// cases (golden_test.cpp) cannot hold.
#include <gtest/gtest.h>

#include "support/process.h"
#include "support/tempfolder.h"

namespace zantrel {
namespace {

using test::Exists;
using test::RunProgram;
using test::TempFolder;

// A rooted path is a file, not an option (Windows-style "/name"). Windows
// prints it on its current drive, so the cases cannot pin the line whole.
TEST(ZantrelCli, ARootedPathIsAFile) {
    TempFolder dir;
    const test::ProgramResult rooted =
        RunProgram(dir.Path(), "zantrel-cli", {"info", "/nothing/at-all.shx"});
    EXPECT_EQ(rooted.status, 1) << rooted.err;
    EXPECT_EQ(rooted.err.rfind("zantrel-cli: File not found: ", 0), 0u) << rooted.err;
    EXPECT_TRUE(rooted.err.substr(0, rooted.err.find('\n')).ends_with("at-all.shx")) << rooted.err;
    EXPECT_TRUE(test::ListFiles(dir.Path()).empty());
}

// Options it does not know never become a folder of that name.
TEST(ZantrelSamplegen, HelpAndUnknownOptions) {
    TempFolder dir;
    const test::ProgramResult help = RunProgram(dir.Path(), "zantrel-samplegen", {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: zantrel-samplegen OUTDIR", 0), 0u) << help.out;
    const test::ProgramResult unknown = RunProgram(dir.Path(), "zantrel-samplegen", {"-x"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err.rfind("zantrel-samplegen: unknown option '-x'\n", 0), 0u) << unknown.err;
    EXPECT_TRUE(test::ListFiles(dir.Path()).empty());
    EXPECT_FALSE(Exists(dir / "--help"));
    EXPECT_FALSE(Exists(dir / "-x"));
}

} // namespace
} // namespace zantrel
