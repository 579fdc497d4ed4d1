// The command table and what is read from it: the menu, the runs that
// offer each command, what choosing it does and the console's forms.
#include <gtest/gtest.h>
#include <map>
#include <set>

#include "shell/commands.h"

namespace zantrel {
namespace {

constexpr int ItemCount = static_cast<int>(MenuItem::ViewOnlyDifferingItem) + 1;

TEST(CommandTable, EveryItemHasOneRowAndOnePlaceInAMenu) {
    std::set<MenuItem> rows;
    std::set<std::string_view> names;
    for (const Command& command : Commands()) {
        EXPECT_TRUE(rows.insert(command.item).second);
        EXPECT_EQ(&CommandOf(command.item), &command);
        // A command of the logic has its function; the window's own have none.
        EXPECT_EQ(command.action == MenuAction::Command,
                  command.run || command.runOnItem || command.runOnItems);
        if (!command.console.name.empty()) {
            EXPECT_TRUE(names.insert(command.console.name).second);
            EXPECT_EQ(ConsoleCommand(command.console.name), &command);
            EXPECT_NE(command.console.run, nullptr);
        }
    }
    EXPECT_EQ(rows.size(), std::size_t(ItemCount));
    EXPECT_EQ(ConsoleCommand("session"), nullptr); // the console's own

    std::set<MenuItem> placed;
    for (const MenuGroup& group : MainMenu()) {
        if (group.item) {
            EXPECT_TRUE(placed.insert(*group.item).second);
        }
        for (const MenuEntry& entry : group.entries)
            EXPECT_TRUE(placed.insert(entry.item).second);
    }
    for (const MenuEntry& entry : ItemMenu())
        EXPECT_TRUE(placed.insert(entry.item).second);
    for (const MenuEntry& entry : OtherItemMenu())
        EXPECT_TRUE(placed.insert(entry.item).second);
    EXPECT_EQ(placed.size(), std::size_t(ItemCount));

    EXPECT_EQ(MainMenu()[3].item, MenuItem::Settings1); // "&Settings" is an item of the bar
    EXPECT_EQ(MainMenu()[0].entries[2].caption, "Save &As...");
    EXPECT_EQ(LongHint(MainMenu()[0].entries[0].hint), "Open a flash file");
    EXPECT_EQ(LongHint("Settings"), "Settings");
    EXPECT_EQ(ShortcutText(MainMenu()[0].entries[2].shortcut), "Ctrl+S");
    EXPECT_EQ(ShortcutText(MainMenu()[1].entries[0].shortcut), "Ctrl+Z");
    EXPECT_EQ(ShortcutText(MainMenu()[1].entries[1].shortcut), "Ctrl+Y");
    EXPECT_EQ(ShortcutText(MainMenu()[1].entries[1].alternate), "Ctrl+Shift+Z");
    EXPECT_EQ(ShortcutText(MainMenu()[2].entries[0].shortcut), "F5");
    EXPECT_EQ(ShortcutText(MainMenu()[4].entries[0].shortcut), "F1");
    EXPECT_TRUE(MainMenu()[0].entries[5].separatorBefore);     // the editing commands
    EXPECT_TRUE(MainMenu()[0].entries.back().separatorBefore); // Exit stands apart
    EXPECT_EQ(ActionOf(MenuItem::FileOpenWorkFolderItem), MenuAction::OpenWorkFolder);
    EXPECT_EQ(ActionOf(MenuItem::HelpAboutItem), MenuAction::AboutBox);
}

TEST(Offered, EachRunOffersWhatTheTableSays) {
    using enum MenuItem;
    // Fresh: open a file, change the settings; a second run: its session's
    // commands; Port only for a pair.
    const std::map<MenuItem, Runs> expected = {
        {FileOpenItem, FreshRun},
        {Settings1, FreshRun},
        {Port1, PairRun},
        {FileSaveAsItem, SecondRuns},
        {FileDiscardItem, SecondRuns},
        {FileOpenWorkFolderItem, SecondRuns},
        {ViewRefreshItem, SecondRuns},
        {FileImportItem, SecondRuns},
        {FileExportItem, SecondRuns},
        {FileExportSheetItem, SecondRuns},
        {FileRestoreAllItem, SecondRuns},
        {ItemReplaceItem, SecondRuns},
        {ItemRestoreItem, SecondRuns},
        {FileExitItem, EveryRun},
        {HelpAboutItem, EveryRun},
        {HelpHowItem, EveryRun},
        {EditUndoItem, SecondRuns},
        {EditRedoItem, SecondRuns},
        {EditHistoryItem, SecondRuns},
        {ItemTakeItem, PairRun},
        {ViewOnlyDifferingItem, PairRun},
    };
    ASSERT_EQ(expected.size(), std::size_t(ItemCount));
    for (const auto& [item, runs] : expected) {
        SCOPED_TRACE(static_cast<int>(item));
        EXPECT_EQ(Offered(item, RunKind::Fresh), runs.fresh);
        EXPECT_EQ(Offered(item, RunKind::Second), runs.second);
        EXPECT_EQ(Offered(item, RunKind::Pair), runs.pair);
    }
    // What the console says for a command it refuses, by run.
    EXPECT_EQ(WhyDisabled(Port1, RunKind::Fresh),
              "port is not offered: no session is pending (open two flash files first)");
    EXPECT_EQ(WhyDisabled(Port1, RunKind::Second),
              "port is not offered: the pending session holds one flash file only");
    EXPECT_EQ(WhyDisabled(ItemRestoreItem, RunKind::Fresh),
              WhyDisabled(FileRestoreAllItem, RunKind::Fresh));
    EXPECT_EQ(WhyDisabled(Settings1, RunKind::Pair), WhyDisabled(Settings1, RunKind::Second));
}

} // namespace
} // namespace zantrel
