// The undo history of a session: every step Zantrel makes to image 1's work
// files keeps the bytes it replaced and the bytes it put there, in the work
// folder's history folder beside binary1, committed in the same journal as the step itself. Undo
// and Redo put one step's files back or forward, as steps of that kind too,
// so the history survives closing, a crash and a restart, and ends with the
// session.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/commit.h"

#include "shell/sdimain.h"

namespace zantrel {

// The most bytes the history keeps (each step's copies before and after);
// past it the oldest steps go. The newest step stays whatever its size.
inline constexpr std::int64_t HistoryLimitBytes = 64 * 1024 * 1024;

struct HistoryEntry {
    std::string name; // "Replace 7.gif"
    std::int64_t bytes = 0;
    bool done = true; // false: undone, Redo puts it back
};

// The steps, oldest first; empty when there are none or the index cannot be
// read.
std::vector<HistoryEntry> HistorySteps();
// The step Undo or Redo would take; nullopt for none.
std::optional<std::string> NextUndo();
std::optional<std::string> NextRedo();

// Commits what staging holds (image 1's work files) as one step named name,
// with its copies in the history in the same journal. Steps undone before
// go: a new step ends their redo. The oldest steps go past limit.
void CommitStep(StagedReplacements& staging, const std::string& name,
                const std::string& journalPath, std::int64_t limit = HistoryLimitBytes);

// One step back or forward. A file changed by another program since the
// step is named first, with the choice to keep it.
CommandResult UndoStep();
CommandResult RedoStep();
// The steps as a list, newest first, in a box.
CommandResult ShowHistory();

// Whether name is one the history gives its files: "history.txt", "3.1.old".
bool IsHistoryFileName(const std::string& name);

} // namespace zantrel
