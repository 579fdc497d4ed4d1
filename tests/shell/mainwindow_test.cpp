// The main window as the shell describes it to both windows: the page and
// thumbnails, the fit of a thumbnail, the open dialog's memory, the command
// runner, and the model's rules for what the person's actions do. The
// windows' own tests only check that they are wired to this.
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

#include "base/folderlock.h"
#include "base/paths.h"
#include "base/unicode.h"
#include "base/worktree.h"

#include "imaging/decode.h"
#include "imaging/picture.h"

#include "drm/drmpack.h"

#include "shell/mainwindow.h"
#include "shell/state.h"
#include "shell/summary.h"
#include "shell/windowplace.h"
#include "shell/workview.h"

#include "support/programrun.h"
#include "support/tempfolder.h"
#include "support/unwind.h"
#include "tools/drmbuilder.h"

namespace zantrel {
namespace {

using test::TempFolder;
using Bytes = std::vector<std::uint8_t>;

void WriteFlash(const std::string& path, std::uint8_t seed) {
    samples::WriteSampleSuperfile(path, samples::SmallExtendedPlan(seed), seed);
}

TEST(DescribeMainWindow, PagesAndThumbnailsOfEachRun) {
    TempFolder dir;
    std::unique_ptr<test::ProgramRun> run;
    test::NextRun(run);
    MainView view = DescribeMainWindow();
    EXPECT_FALSE(view.sessionPage);
    EXPECT_EQ(view.hint, FreshRunHint);
    EXPECT_EQ(view.title, "Zantrel");

    // A pair: the panel, and both images' thumbnails under their titles.
    WriteFlash(dir / "a.shx", 1);
    WriteFlash(dir / "b.shx", 2);
    test::NextRun(run).ui.openAnswers = {dir / "a.shx", dir / "b.shx"};
    ASSERT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);
    test::NextRun(run);
    test::WriteAll(State().icons1Dir + "/3.gif", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
    view = DescribeMainWindow();
    ASSERT_TRUE(view.sessionPage);
    EXPECT_EQ(view.title, "a.shx \xE2\x86\x90 b.shx \xE2\x80\x94 Zantrel");
    auto lines = DescribeSession().lines;
    lines.push_back({"Edited", "1 of 5 edited"});
    lines.push_back({"Differing", "5 of 5 differ from b.shx"});
    EXPECT_EQ(view.panel.lines, lines);
    ASSERT_EQ(view.images.size(), 2u);
    EXPECT_EQ(view.images[0].title, "Image 1: a.shx");
    EXPECT_EQ(view.images[1].title, "Image 2: b.shx (what Port copies)");
    ASSERT_EQ(view.images[0].thumbnails.size(), 5u);
    const Thumbnail& picture = view.images[0].thumbnails[0];
    EXPECT_EQ(picture.Text(), "1.bmp\n3x2");
    // Conversion on: the BMP copy is drawn.
    EXPECT_EQ(picture.path, JoinPath(State().icons1Dir, "1.bmp"));
    const Thumbnail& png = view.images[0].thumbnails[2];
    EXPECT_EQ(png.Text(), "3.gif\nnot a GIF or BMP");
    EXPECT_EQ(MarkOf(png), Mark::Refused); // refused outweighs edited
    EXPECT_TRUE(png.caption.edited);
    EXPECT_EQ(MarkOf(picture), Mark::None);
    EXPECT_EQ(png.Tip(), JoinPath(State().icons1Dir, "3.gif") + "\n8 bytes\n" + png.caption.tip);
    EXPECT_NE(png.caption.tip.find("a PNG picture"), std::string::npos);

    // Image 1's work files gone: the hint page says why and the way out.
    std::remove((State().drmpack1Dir + "/descr.dat").c_str());
    view = DescribeMainWindow();
    EXPECT_FALSE(view.sessionPage);
    EXPECT_NE(view.hint.find("File > Discard Session..."), std::string::npos);
}

TEST(WorkView, RawPicturesDecodeAndMissingRecordsSayWhy) {
    TempFolder dir;
    State().workFolder = dir / "work";
    BuildWorkTree();
    const WorkView empty = ListWorkItems(1);
    EXPECT_TRUE(empty.items.empty());
    EXPECT_FALSE(empty.error.empty());

    // A 3x2 raw: red, green, blue / white, black, transparent.
    test::WriteAll(dir / "raw3x2.raw", {0xF8, 0x00, 0x07, 0xE0, 0x00, 0x1F, 0xFF, 0xFF, 0x00, 0x00,
                                        0x12, 0x34, 0x04, 0x00});
    Thumbnail raw;
    raw.path = dir / "raw3x2.raw";
    raw.width = 3;
    raw.height = 2;
    // Grown by whole steps of 29 to 87 x 58, centred in the bordered square:
    // each cell one pixel's colour, the transparent one the background.
    const Picture shown = ThumbnailPicture(raw, 96);
    ASSERT_EQ(shown.width, 96);
    const auto cell = [&](int x, int y) { return shown.At(4 + 29 * x + 14, 19 + 29 * y + 14); };
    EXPECT_EQ(cell(0, 0), 0xFFFF0000u);
    EXPECT_EQ(cell(2, 0), 0xFF0000FFu);
    EXPECT_EQ(cell(1, 1), 0xFF000000u);
    EXPECT_EQ(cell(2, 1), 0xFFDCDCDCu); // 0x1234 masked out: the checkerboard
    EXPECT_EQ(shown.At(0, 0), 0xFFC8C8C8u);
    EXPECT_EQ(shown.At(4, 18), 0xFFF4F4F4u);
    EXPECT_EQ(shown.At(4, 19), 0xFFFF0000u);

    raw.width = 4; // too short for 4x2: the bare square
    const Picture bare = ThumbnailPicture(raw, 96);
    EXPECT_EQ(bare.At(48, 48), 0xFFF4F4F4u);

    // A BMP's replacer colour is its transparency, as in the question's
    // preview: the checkerboard, never bars of that colour.
    State().replacer = Rgb{255, 0, 255};
    test::WriteAll(dir / "1.bmp", EncodeBmp24(FilledPicture(2, 2, 0), State().replacer));
    Thumbnail bmp;
    bmp.path = dir / "1.bmp";
    const Picture checked = ThumbnailPicture(bmp, 96);
    EXPECT_EQ(checked.At(48, 48), 0xFFFFFFFFu);
    EXPECT_EQ(checked.At(48 + 6, 48), 0xFFDCDCDCu);
}

TEST(FitThumbnail, SmallGrowByWholeStepsLargeShrink) {
    const auto fit = [](int w, int h) {
        const ThumbnailFit f = FitThumbnail(w, h, 96);
        return std::pair{f.width, f.height};
    };
    EXPECT_EQ(fit(1, 1), std::pair(88, 88));
    EXPECT_EQ(fit(3, 2), std::pair(87, 58)); // whole steps of 29
    EXPECT_EQ(fit(50, 60), std::pair(50, 60));
    EXPECT_EQ(fit(200, 12), std::pair(88, 5));
    EXPECT_EQ(fit(12, 200), std::pair(5, 88));
    EXPECT_EQ(fit(0, 5), std::pair(0, 0));
}

TEST(OpenDialogMemory, KeepsNameFilterAndFolderAndTakesADroppedFile) {
    OpenDialogMemory memory;
    EXPECT_EQ(memory.TakeDropped(false), std::nullopt);
    memory.Remember("/p/x.sbf", 2);
    EXPECT_EQ(memory.FileName(), "/p/x.sbf");
    EXPECT_EQ(memory.Folder(), "/p");
    EXPECT_EQ(memory.FilterIndex(), 2);
    memory.TakeDropped(true); // a cleared name keeps the folder and the filter
    EXPECT_EQ(memory.FileName(), "");
    EXPECT_EQ(memory.Folder(), "/p");
    memory.Drop("/q/phone.shx");
    EXPECT_EQ(memory.TakeDropped(false), std::optional<std::string>("/q/phone.shx"));
    EXPECT_EQ(memory.Folder(), "/q");
    EXPECT_EQ(memory.TakeDropped(false), std::nullopt); // once only
    // The next dialog starts on the last file's own kind, whatever was chosen;
    // without an entry for that kind alone, on the entry last chosen.
    EXPECT_EQ(memory.FilterIndexIn(OpenFilter), 2);
    memory.Remember("/q/PHONE.SBF", 1);
    EXPECT_EQ(memory.FilterIndexIn(OpenFilter), 3);
    memory.Remember("/q/cg15", 6);
    EXPECT_EQ(memory.FilterIndexIn(OpenFilter), 6);
    memory.Remember("/q/x.png", 2);
    EXPECT_EQ(memory.FilterIndexIn("Pictures|*.png;*.gif|All files|*.*"), 2);
    EXPECT_EQ(memory.FilterIndexIn("PNG pictures|*.png"), 1);
    memory.Remember("/q/x.tga", 7);
    EXPECT_EQ(memory.FilterIndexIn("Pictures|*.png;*.gif|All files|*.*"), 1);
    EXPECT_EQ(
        FilterEntries("SHX files|*.shx|All|*.*"),
        (std::vector<std::pair<std::string, std::string>>{{"SHX files", "*.shx"}, {"All", "*.*"}}));
}

// Paths in narrow places keep their root and name; every file and folder
// dialog starts where the last one ended, while that folder is there.
TEST(ShortenMiddle, KeepsRootAndNameAndDialogsStartWhereTheLastEnded) {
    EXPECT_EQ(ShortenMiddle("/a/b/c.shx", 10), "/a/b/c.shx");
    EXPECT_EQ(ShortenMiddle("/home/person/phones/flash/phone.shx", 20), "/\u2026/flash/phone.shx");
    EXPECT_EQ(ShortenMiddle("C:/Users/person/Documents/phones/phone.shx", 24),
              "C:/\u2026/phones/phone.shx");
    EXPECT_EQ(ShortenMiddle("//server/share/a/b/name.png", 26), "//server/share/\u2026/name.png");
    // A name too long by itself keeps its end; characters, not bytes, count.
    EXPECT_EQ(ShortenMiddle("/x/abcdefghijklmnopqrstuvwxyz.png", 10), "/x/\u2026yz.png");
    EXPECT_EQ(ShortenMiddle("/gr\u00F6\u00DFe/\u00E4\u00F6\u00FC.png", 14),
              "/gr\u00F6\u00DFe/\u00E4\u00F6\u00FC.png");
    EXPECT_EQ(ShortenMiddle("/gr\u00F6\u00DFe/m\u00E4nner/\u00E4\u00F6\u00FC.png", 14),
              "/\u2026/\u00E4\u00F6\u00FC.png");
    EXPECT_EQ(ShortenMiddle("\u00E4\u00E4\u00E4\u00E4\u00E4\u00E4\u00E4\u00E4.png", 7),
              "\u00E4\u00E4\u2026.png");

    TempFolder dir;
    const std::string pictures = dir / "pictures", out = dir / "out";
    std::filesystem::create_directory(PathFromUtf8(pictures));
    std::filesystem::create_directory(PathFromUtf8(out));
    OpenDialogMemory memory;
    EXPECT_EQ(memory.StartFolder(), "");
    EXPECT_EQ(memory.StartFolder(dir / "a-new.shx"), dir.Path()); // a save dialog's own choice
    memory.RememberFolder(out); // Export's folder: Import starts there, and so does Save As
    EXPECT_EQ(memory.StartFolder(), out);
    EXPECT_EQ(memory.StartFolder(dir / "a-new.shx"), out);
    memory.Remember(JoinPath(pictures, "green.png"), 1); // Replace's picture
    EXPECT_EQ(memory.StartFolder(), pictures);
    std::filesystem::remove(PathFromUtf8(pictures));
    EXPECT_EQ(memory.StartFolder(), "");
    EXPECT_EQ(memory.StartFolder(dir / "a-new.shx"), dir.Path());
}

TEST(CommandRunner, OneAtATimeAndTheCloseButtonOfASecondRunKeepsTheSession) {
    TempFolder dir;
    WriteFlash(dir / "a.shx", 1);
    std::unique_ptr<test::ProgramRun> run;
    test::NextRun(run).ui.openAnswers = {dir / "a.shx", std::nullopt};
    ASSERT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);

    test::NextRun(run);
    CommandRunner runner;
    bool nested = true;
    EXPECT_TRUE(runner.Run([&] { nested = runner.Run([] {}); }));
    EXPECT_FALSE(nested);
    // A command left by an unwind no catch may end (a crash the system
    // swallowed in its dialog): the runner is free again.
    EXPECT_TRUE(test::RunUntilUnwound([&] { runner.Run([] { test::UnwindFromHere(); }); }));
    EXPECT_FALSE(runner.Busy());
    EXPECT_TRUE(runner.AllowClose());
    EXPECT_EQ(run->ui.messages, (std::vector<test::RecordingUi::Message>{
                                    {"DRM was not compiled", "Incomplete Operation"}}));
    EXPECT_EQ(test::ReadText(dir / "shxdata.dat"), "1");
}

TEST(KeepOnScreen, StaysWhereItWasOnAScreenElseMovesOntoTheOneItOverlapsMost) {
    const std::vector<ScreenRect> two = {{0, 0, 1920, 1040}, {1920, -200, 1280, 984}};
    auto keep = [&](ScreenRect r, const std::vector<ScreenRect>& screens = {}) {
        return KeepOnScreen({r, true}, screens.empty() ? two : screens, MinimumWindowWidth,
                            MinimumWindowHeight);
    };
    // Wholly on a screen, the second one above the first's top included.
    EXPECT_EQ(keep({100, 80, 760, 560}), (WindowPlace{{100, 80, 760, 560}, true}));
    EXPECT_EQ(keep({2000, -150, 760, 560}).normal, (ScreenRect{2000, -150, 760, 560}));
    // Across both: onto the one it overlaps most, kept whole.
    EXPECT_EQ(keep({1800, 100, 760, 560}).normal, (ScreenRect{1920, 100, 760, 560}));
    EXPECT_EQ(keep({1500, 100, 760, 560}).normal, (ScreenRect{1160, 100, 760, 560}));
    // The second screen gone: back onto the first, at its edge.
    EXPECT_EQ(keep({2000, -150, 760, 560}, {{0, 0, 1920, 1040}}).normal,
              (ScreenRect{1160, 0, 760, 560}));
    // Nowhere near a screen, or bigger than the one left: onto the main one, shrunk.
    EXPECT_EQ(keep({-2147483000, 2147483000, 2147483000, 900}).normal,
              (ScreenRect{0, 140, 1920, 900}));
    EXPECT_EQ(keep({50, 50, 2500, 1600}, {{0, 0, 1366, 728}}).normal,
              (ScreenRect{0, 0, 1366, 728}));
    // Never below the least size, even on a tiny screen; no screens, no change.
    EXPECT_EQ(keep({10, 10, 100, 50}, {{0, 0, 400, 250}}).normal, (ScreenRect{0, 0, 420, 300}));
    EXPECT_EQ(KeepOnScreen({{5000, 5000, 10, 10}, false}, {}, 420, 300).normal,
              (ScreenRect{5000, 5000, 10, 10}));
}

// A window that draws nothing: it counts its drawings and what it was asked
// to open, and answers the user-interface operations as a RecordingUi.
struct PlainWindow final : MainWindowToolkit {
    test::RecordingUi ui;
    MainWindowModel model{*this};
    int draws = 0;
    bool closed = false;
    bool shellAnswers = true;
    std::vector<std::string> opened;
    std::vector<std::string> errors;
    // Runs inside the About box: while a command runs.
    std::function<void()> inAboutBox;

    ~PlainWindow() override { UnlockStartFolder(); }
    void SetStatusText(const std::string& text) override { ui.SetStatusText(text); }
    void ShowProgress(bool on) override { ui.ShowProgress(on); }
    void SetProgress(int percent) override { ui.SetProgress(percent); }
    void ShowMessage(const std::string& text, const std::string& caption,
                     const std::string& details) override {
        ui.ShowMessage(text, caption, details);
    }
    std::optional<std::string> AskOpenFile(const std::string& title, const std::string& filter,
                                           bool clearName) override {
        if (auto dropped = model.OpenDialog().TakeDropped(clearName))
            return dropped;
        return ui.AskOpenFile(title, filter, clearName);
    }
    std::optional<std::string> AskSaveFile(const std::string& title, const std::string& filter,
                                           const std::string& suggested) override {
        return ui.AskSaveFile(title, filter, suggested);
    }
    void CloseMainWindow() override {
        ui.CloseMainWindow();
        model.RequestClose();
    }
    bool AskConfirmation(const std::string& text, const std::string& caption,
                         DefaultAnswer answer) override {
        return ui.AskConfirmation(text, caption, answer);
    }
    bool AskPictureQuestion(PictureQuestion& question) override {
        return ui.AskPictureQuestion(question);
    }
    void Draw() override { ++draws; }
    void Close() override { closed = true; }
    bool OpenInShell(const std::string& path) override {
        opened.push_back(path);
        return shellAnswers;
    }
    void ShowError(const std::string& message, const std::string&) override {
        errors.push_back(message);
    }
    std::optional<SettingsDialogState> RunSettingsDialog() override { return std::nullopt; }
    void RunAboutBox() override {
        if (inAboutBox)
            inAboutBox();
    }
    void ShowHelpPage(const std::string&, const std::string&) override {}
};

// A first run that opens a.shx (and b.shx for a pair) and ends, as the
// program would.
void OpenSession(const TempFolder& dir, bool pair) {
    WriteFlash(dir / "a.shx", 1);
    WriteFlash(dir / "b.shx", 2);
    std::unique_ptr<test::ProgramRun> run;
    test::NextRun(run).ui.openAnswers = {dir / "a.shx",
                                         pair ? std::optional(dir / "b.shx") : std::nullopt};
    ASSERT_EQ(RunCommand(FileOpen1Execute), CommandResult::Completed);
    run.reset();
    ResetState();
}

TEST(MainWindowModel, AFreshRunOpensADroppedFileASecondRunSaysWhatIsPending) {
    TempFolder dir;
    WriteFlash(dir / "a.shx", 1);
    WriteFlash(dir / "b.shx", 2);
    {
        ResetState();
        PlainWindow window;
        window.model.Start();
        EXPECT_EQ(window.draws, 1);
        EXPECT_TRUE(window.model.Watched(true).empty()); // a fresh run follows nothing
        window.ui.openAnswers = {dir / "b.shx"};
        window.model.DropBeside(dir / "a.shx");
        EXPECT_EQ(window.ui.openDialogs.size(), 1u); // the drop was the first answer
        EXPECT_TRUE(window.closed);
        EXPECT_EQ(test::ReadText(dir / "shxdata.dat"), "2");
    }
    ResetState();
    PlainWindow window;
    window.model.Start();
    window.model.DropBeside(dir / "c.shx");
    EXPECT_TRUE(window.ui.openDialogs.empty());
    ASSERT_EQ(window.ui.messages, (std::vector<test::RecordingUi::Message>{
                                      {"A session is pending, so c.shx was not opened.", "Open"}}));
    EXPECT_EQ(window.ui.messageDetails[0],
              "The session holds a.shx and b.shx; its edits are in " + State().icons1Dir +
                  ". Save As or File > Discard Session... ends it; then open the file again.");
    EXPECT_FALSE(window.closed);
    // Both images' folders followed, with their files.
    EXPECT_EQ(window.model.Watched(false).size(), 5u);
    EXPECT_EQ(window.model.Watched(true).size(), 15u);
}

// A file handed from outside that Open could not take apart is said before
// the second question: missing (the error box), or without a DRM Open can
// find (the run ends as Open's would).
TEST(MainWindowModel, AFileHandedFromOutsideIsCheckedBeforeTheSecondQuestion) {
    TempFolder dir;
    test::WriteAll(dir / "notes.shx", Bytes(9000, 'x'));
    test::WriteAll(dir / "cg15", Bytes(600, 0));
    {
        ResetState();
        PlainWindow window;
        window.model.Start();
        window.model.DropBeside(dir / "missing.shx");
        EXPECT_TRUE(window.ui.openDialogs.empty());
        EXPECT_EQ(window.errors.size(), 1u);
        EXPECT_FALSE(window.closed);
    }
    for (const std::string name : {"notes.shx", "cg15"}) {
        ResetState();
        PlainWindow window;
        window.model.Start();
        window.model.DropBeside(dir / name);
        EXPECT_TRUE(window.ui.openDialogs.empty()) << name;
        ASSERT_EQ(window.ui.messages.size(), 1u) << name;
        EXPECT_EQ(window.ui.messages[0].text, "No DRM found");
        EXPECT_EQ(window.ui.messageDetails[0],
                  (dir / name) + " holds no DRM that Zantrel can take apart. Start Zantrel again "
                                 "and open another flash file.");
        EXPECT_TRUE(window.closed);
    }
}

TEST(MainWindowModel, AGestureActsOnTheItemItBeganOnWhateverARefreshDid) {
    TempFolder dir;
    OpenSession(dir, true);
    PlainWindow window;
    window.model.Start();
    const std::string icon = State().icons1Dir + "/3.gif";
    const Bytes original = test::ReadAll(icon);
    test::WriteAll(icon, test::ReadAll(State().icons1Dir + "/5.gif"));
    const auto item = window.model.ItemAt(1, 2);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->number, 3);
    EXPECT_FALSE(window.model.ItemAt(1, 5));
    EXPECT_FALSE(window.model.ItemAt(3, 0));
    // Typing a name's start finds its thumbnail, in either case, from where asked.
    EXPECT_EQ(window.model.FindThumbnail(1, "3.G", 0, false, false), 2);
    EXPECT_EQ(window.model.FindThumbnail(1, "1.", 1, false, false), -1);
    EXPECT_EQ(window.model.FindThumbnail(1, "1.", 1, true, false), 0);
    EXPECT_TRUE(window.model.ItemMenuEnabled(*item));
    // Image 2's items take their own menu (Use in), but no Replace and no drop.
    const auto other = window.model.ItemAt(2, 2);
    ASSERT_TRUE(other);
    EXPECT_TRUE(window.model.ItemMenuEnabled(*other));
    EXPECT_EQ(window.model.ItemMenuOf(2).front().item, MenuItem::ItemTakeItem);
    EXPECT_EQ(window.model.Caption(MenuItem::ItemTakeItem), "&Use in a.shx");
    window.model.DropOnItem(*other, dir / "a.shx");
    window.model.ChooseOnItem(MenuItem::ItemReplaceItem, *other);
    EXPECT_TRUE(window.ui.messages.empty());
    // The menu stays open while the files change and the view is rebuilt:
    // the command still restores item 3.
    window.model.Refresh();
    window.model.ChooseOnItem(MenuItem::ItemRestoreItem, *item);
    EXPECT_EQ(test::ReadAll(icon), original);
    EXPECT_EQ(window.ui.statusTexts.back(), "Restored 3.gif");
    // Taken from image 2 as one step, then back through Edit > Undo.
    window.model.ChooseOnItems(MenuItem::ItemTakeItem, {*other});
    EXPECT_NE(test::ReadAll(icon), original);
    EXPECT_EQ(window.model.Caption(MenuItem::EditUndoItem), "&Undo Take 3.gif");
    window.model.Choose(MenuItem::EditUndoItem);
    EXPECT_EQ(test::ReadAll(icon), original);
}

// A large DRM shows from its folders' listings at once while it is checked
// behind; what it shows once the window asks after that is the full view.
TEST(MainWindowModel, ALargeDrmIsListedFirstAndCheckedAfter) {
    TempFolder dir;
    OpenSession(dir, true);
    test::WriteAll(State().icons1Dir + "/3.gif", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
    // A window closed while its checks run waits for them to stop.
    {
        PlainWindow early;
        early.model.ListFirstAbove(0);
        early.model.Start();
        ASSERT_TRUE(early.model.Checking());
    }
    PlainWindow window;
    window.model.ListFirstAbove(0);
    window.model.Start();
    ASSERT_TRUE(window.model.Checking());
    const MainView& listed = window.model.View();
    ASSERT_EQ(listed.images.size(), 2u);
    ASSERT_EQ(listed.images[0].thumbnails.size(), 5u);
    // Nothing read yet: the slot's size of a picture, no mark, no counts.
    EXPECT_EQ(listed.images[0].thumbnails[0].Text(), "1.bmp\n3x2");
    const Thumbnail& png = listed.images[0].thumbnails[2];
    EXPECT_EQ(png.Text(), "3.gif\n");
    EXPECT_EQ(png.Tip(), JoinPath(State().icons1Dir, "3.gif"));
    EXPECT_EQ(MarkOf(png), Mark::None);
    auto lines = DescribeSession().lines;
    lines.push_back({"Edited", "reading the files..."});
    lines.push_back({"Differing", "reading the files..."});
    EXPECT_EQ(listed.panel.lines, lines);
    const MainView full = DescribeMainWindow();
    // Image 2's items are taken only once checked.
    EXPECT_FALSE(window.model.ItemMenuEnabled(*window.model.ItemAt(2, 2)));
    EXPECT_TRUE(window.model.ItemMenuEnabled(*window.model.ItemAt(1, 2)));
    // Not while a command runs; a command starts the checks again.
    window.inAboutBox = [&] {
        // Asked again, to see the checks that start after the command.
        EXPECT_EQ(window.model.RefreshDue(0), CheckPollMilliseconds);
        EXPECT_EQ(window.model.View().images[0].thumbnails[2].Text(), "3.gif\n");
    };
    window.model.Choose(MenuItem::HelpAboutItem);
    ASSERT_TRUE(window.model.Checking());
    const int draws = window.draws;
    while (window.model.RefreshDue(0) == CheckPollMilliseconds)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(window.model.Checking());
    EXPECT_EQ(window.draws, draws + 1);
    const MainView& checked = window.model.View();
    EXPECT_EQ(checked.panel.lines, full.panel.lines);
    for (std::size_t image = 0; image < 2; ++image) {
        ASSERT_EQ(checked.images[image].thumbnails.size(), full.images[image].thumbnails.size());
        for (std::size_t i = 0; i < full.images[image].thumbnails.size(); ++i) {
            const Thumbnail& a = checked.images[image].thumbnails[i];
            const Thumbnail& b = full.images[image].thumbnails[i];
            EXPECT_EQ(a.Tip(), b.Tip());
            EXPECT_EQ(a.Text(), b.Text());
            EXPECT_EQ(MarkOf(a), MarkOf(b));
            EXPECT_EQ(a.differs, b.differs);
            EXPECT_EQ(a.takes, b.takes);
        }
    }
    EXPECT_TRUE(window.model.ItemMenuEnabled(*window.model.ItemAt(2, 2)));
    // A refresh reads the whole view at once, ending the checks under way.
    window.model.ListFirstAbove(0);
    window.model.Refresh();
    EXPECT_FALSE(window.model.Checking());
}

// Image 2's thumbnail dropped on one of image 1's: taken into that number
// after Take's question, as one step; a slot that does not fit it, or
// several dropped on one, refused with nothing changed.
TEST(MainWindowModel, AThumbnailOfImage2DroppedOnOneOfImage1IsTakenIntoIt) {
    TempFolder dir;
    OpenSession(dir, true);
    PlainWindow window;
    window.model.Start();
    // Items 1 and 2 are pictures (3 x 2, 40 x 30), 3 to 5 icons.
    const auto item = [&](int image, long number) {
        return *window.model.ItemAt(image, static_cast<int>(number - 1));
    };
    const std::string icon = State().icons1Dir + "/3.gif";
    const Bytes original = test::ReadAll(icon);
    const Bytes five = test::ReadAll(State().icons1Dir + "/5.gif");
    EXPECT_TRUE(window.model.TakesItemDrop(item(2, 5), item(1, 3)));
    EXPECT_FALSE(window.model.TakesItemDrop(item(1, 5), item(1, 3)));
    EXPECT_FALSE(window.model.TakesItemDrop(item(2, 5), item(2, 3)));
    // Nothing is taken from image 1, nor onto image 2.
    window.model.DropItemsOnItem({item(1, 5)}, item(1, 3));
    window.model.DropItemsOnItem({item(2, 5)}, item(2, 3));
    EXPECT_TRUE(window.ui.pictureQuestions.empty());

    window.ui.confirmAnswers = {false};
    window.model.DropItemsOnItem({item(2, 5)}, item(1, 3));
    ASSERT_EQ(window.ui.pictureQuestions.size(), 1u);
    EXPECT_EQ(window.ui.pictureQuestions[0].text,
              "Use item 5 of b.shx as 3.gif of a.shx? Fitted to the icon's size: 3. Everything "
              "else stays as it is.");
    EXPECT_EQ(test::ReadAll(icon), original);
    window.model.DropItemsOnItem({item(2, 5)}, item(1, 3));
    EXPECT_NE(test::ReadAll(icon), original);
    EXPECT_EQ(PictureSizeOf(test::ReadAll(icon), true), std::make_pair(12, 10)); // item 3's size
    EXPECT_EQ(test::ReadAll(State().icons1Dir + "/5.gif"), five);
    EXPECT_EQ(window.model.Caption(MenuItem::EditUndoItem), "&Undo Take 3.gif");
    window.model.Choose(MenuItem::EditUndoItem);
    EXPECT_EQ(test::ReadAll(icon), original);

    const std::vector<std::string> before = test::ListFiles(State().icons1Dir);
    const Bytes picture = test::ReadAll(State().icons1Dir + "/1.bmp");
    window.model.DropItemsOnItem({item(2, 5)}, item(1, 1));
    window.model.DropItemsOnItem({item(2, 2)}, item(1, 1));
    window.model.DropItemsOnItem({item(2, 5), item(2, 4)}, item(1, 3));
    EXPECT_EQ(window.ui.messages,
              (std::vector<test::RecordingUi::Message>{
                  {"That item cannot be taken.", "Take"},
                  {"That item cannot be taken.", "Take"},
                  {"Only one item can be taken into another number.", "Take"}}));
    ASSERT_EQ(window.ui.messageDetails.size(), 3u);
    EXPECT_EQ(window.ui.messageDetails[0],
              "item 5 of b.shx is an icon, item 1 of a.shx a picture\nNothing was changed.");
    EXPECT_EQ(window.ui.messageDetails[1],
              "item 2 of b.shx is 40 x 30 pixels, item 1 of a.shx 3 x 2\nNothing was changed.");
    EXPECT_EQ(window.ui.pictureQuestions.size(), 2u);
    EXPECT_EQ(test::ListFiles(State().icons1Dir), before);
    EXPECT_EQ(test::ReadAll(State().icons1Dir + "/1.bmp"), picture);
    EXPECT_EQ(test::ReadAll(icon), original);
}

TEST(MainWindowModel, TheWindowsRulesForActivationChangesLinksAndFiles) {
    TempFolder dir;
    OpenSession(dir, false);
    PlainWindow window;
    window.model.Start();
    ASSERT_EQ(window.draws, 1);

    // Coming back to the front rereads the files, unless a command runs; the
    // first showing does not (the start has just read them).
    window.model.WindowActivated();
    EXPECT_EQ(window.draws, 1);
    window.model.WindowDeactivated();
    window.model.WindowActivated();
    EXPECT_EQ(window.draws, 2);
    // Changes are followed once they have settled, never during a command.
    window.model.FilesChanged(1000);
    EXPECT_EQ(window.model.RefreshDue(1100), SettleMilliseconds - 100);
    EXPECT_EQ(window.draws, 2);
    window.inAboutBox = [&] {
        EXPECT_EQ(window.model.RefreshDue(1400), SettleMilliseconds);
        window.model.WindowDeactivated();
        window.model.WindowActivated();
        // The panel's link waits for the command too.
        window.model.FollowLink(dir / "binary1");
    };
    window.model.Choose(MenuItem::HelpAboutItem);
    EXPECT_EQ(window.draws, 2);
    EXPECT_TRUE(window.opened.empty());
    EXPECT_EQ(window.model.RefreshDue(1400), -1);
    EXPECT_EQ(window.draws, 3);
    EXPECT_EQ(window.model.RefreshDue(5000), -1); // nothing waits

    // The link opens its folder; where no file manager answers, a box names it.
    window.shellAnswers = false;
    window.model.FollowLink(dir / "binary1");
    EXPECT_EQ(window.opened, std::vector<std::string>{dir / "binary1"});
    ASSERT_EQ(window.ui.messages.size(), 1u);
    EXPECT_EQ(window.ui.messageDetails[0], dir / "binary1");
    // A thumbnail opens its file, else its folder; a box names the file.
    const ItemRef first = *window.model.ItemAt(1, 0);
    window.model.ActivateItem(first);
    EXPECT_EQ(window.opened.size(), 3u);
    EXPECT_EQ(window.opened[2], State().icons1Dir);
    ASSERT_EQ(window.ui.messages.size(), 2u);
    EXPECT_EQ(window.ui.messages[1].text, "No program is set up to open 1.bmp or its folder.");
    EXPECT_EQ(window.ui.messageDetails[1], first.path);

    EXPECT_EQ(MainWindowModel::ErrorDetails("/w/x.bin", "Try again."), "/w/x.bin\n\nTry again.");
    EXPECT_EQ(MainWindowModel::ErrorDetails("", "Try again."), "Try again.");
    EXPECT_EQ(MainWindowModel::ErrorDetails("/w/x.bin", ""), "/w/x.bin");
}

} // namespace
} // namespace zantrel

TEST(WheelRows, OneNotchScrollsOneRowAndFineWheelsAddUp) {
    int pending = 0;
    EXPECT_EQ(zantrel::WheelRows(pending, -120), 1);
    EXPECT_EQ(zantrel::WheelRows(pending, 240), -2);
    EXPECT_EQ(zantrel::WheelRows(pending, -60), 0);
    EXPECT_EQ(zantrel::WheelRows(pending, -60), 1);
    EXPECT_EQ(pending, 0);
}
