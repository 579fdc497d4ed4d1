// Several files replaced as one step: a Save As's superfile and code group,
// a Port's icons and pictures. Whatever ends the process part-way, the next
// recovery leaves every target as it was before or every target new.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/fileio.h"

namespace zantrel {

struct Replacement {
    // Empty for a scratch file that goes in any case.
    std::string target;
    // The new content, a file beside the target; empty: the target goes.
    std::string temp;
};

// What a recovery came to.
enum class Recovery {
    Nothing,      // no journal
    Done,         // the step recorded is finished or undone; the journal is gone
    Left,         // a file could not be moved: the journal stays for the next try
    Unrecognised, // not a journal of this program's own, for its own temporaries:
                  // nothing it names was touched, and it stays
};

// Said wherever a journal is left unrecognised.
inline constexpr std::string_view UnrecognisedJournalText =
    "Zantrel did not write this file, or it is damaged: it names files that are not "
    "Zantrel's own, so nothing it names was changed and it was left as it is. If you do not "
    "know where it comes from, delete it.";

// Finishes or undoes a step left by an earlier run; throws IoError, naming
// the journal, when one stays (unrecognised, or not finished): a new step
// never writes over a journal that is not its own.
void ClaimJournal(const std::string& journalPath);

// Records, before the new files are written, where they will be: a run
// ended while writing them leaves them for the next recovery to remove.
// Throws IoError when the journal cannot be written, or one stays.
void BeginReplacements(const std::vector<Replacement>& replacements,
                       const std::string& journalPath);

// Checks first that every existing target can be replaced (throws IoError
// naming the first that cannot; nothing is changed then). Then puts the new
// files on the disk, records the step in the journal at journalPath, moves
// the old files aside, the new ones in, and removes the old ones last. A
// failure part-way puts the old files back before the IoError, which names
// the person's file, goes on.
void CommitReplacements(const std::vector<Replacement>& replacements,
                        const std::string& journalPath);

// Completes a step whose journal says every new file was in place, else
// undoes it; then removes the journal. Acts only on a journal this program
// wrote: a plain file of sane size whose every entry is a whole path to a
// file in a folder reached through no link, with the program's own
// temporaries for it beside it. A target is replaced only by its own old
// file, and removed only when it is the very file the step put there.
// Never throws.
Recovery RecoverReplacements(const std::string& journalPath);

// New files staged beside their targets, then put in place together by
// CommitReplacements; whatever is staged and not committed goes when the set
// does, however the step ends.
class StagedReplacements {
public:
    StagedReplacements() = default;
    StagedReplacements(const StagedReplacements&) = delete;
    StagedReplacements& operator=(const StagedReplacements&) = delete;
    ~StagedReplacements();
    // A new file for target's new content, beside it, open for writing.
    BinaryFile Stage(const std::string& target);
    // bytes as target's new content, written and already on their way to
    // the disk, so that the flush before Commit's journal waits less.
    void Stage(const std::string& target, std::span<const std::uint8_t> bytes);
    // source's bytes, whole, as target's new content, on their way likewise.
    void Stage(const std::string& target, BinaryFile& source);
    // target goes with the rest, when there is anything at its name.
    void Remove(const std::string& target);
    bool Empty() const { return set_.empty(); }
    std::size_t Size() const { return set_.size(); }
    // What is staged so far, in order.
    const std::vector<Replacement>& Replacements() const { return set_; }
    // Every staged file in place, after ClaimJournal; the set is empty
    // afterwards. Throws IoError as CommitReplacements.
    void Commit(const std::string& journalPath);

private:
    std::vector<Replacement> set_;
};

} // namespace zantrel
