#include "shell/history.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/uiops.h"
#include "base/unicode.h"
#include "base/worktree.h"

#include "shell/state.h"
#include "shell/workclaim.h"

namespace zantrel {

namespace {

constexpr std::string_view IndexHead = "zantrel-history 1";
// Far more than any index written (a line per file of each kept step).
constexpr std::int64_t MaxIndexBytes = 4 * 1024 * 1024;

// A file of a step: where it lies under binary1 ("drmpack/icons/7.gif"),
// and its size before and after the step (-1: there was none).
struct StepFile {
    std::string relative;
    std::int64_t before = -1;
    std::int64_t after = -1;
};

struct Step {
    long id = 0;
    std::string name;
    std::vector<StepFile> files;
    std::int64_t Bytes() const {
        std::int64_t total = 0;
        for (const StepFile& f : files)
            total += std::max<std::int64_t>(f.before, 0) + std::max<std::int64_t>(f.after, 0);
        return total;
    }
};

struct History {
    std::vector<Step> steps;
    std::size_t done = 0; // steps[0, done) are in effect
    long next = 1;
};

std::string Folder() { return JoinPath(State().workFolder, HistoryFolderName); }
std::string IndexPath() { return JoinPath(Folder(), HistoryIndexFileName); }

// Each step's copies: "3.1.old" as the file was before, "3.1.new" after.
std::string CopyPath(const Step& step, std::size_t k, bool after) {
    return JoinPath(Folder(), std::to_string(step.id) + "." + std::to_string(k + 1) +
                                  (after ? ".new" : ".old"));
}

std::string TargetOf(const StepFile& file) {
    std::string path = State().binary1Dir;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = file.relative.find('/', start);
        path = JoinPath(path, file.relative.substr(start, slash - start));
        if (slash == std::string::npos)
            return path;
        start = slash + 1;
    }
}

// A work file's place under binary1, parts joined by "/"; nullopt for one
// outside it.
std::optional<std::string> RelativeOf(const std::string& target) {
    // Either separator, where the system takes both.
    const auto slashed = [](std::string path) {
        for (char& c : path)
            if (IsPathSeparator(c))
                c = '/';
        return path;
    };
    const std::string root = slashed(State().binary1Dir);
    const std::string path = slashed(target);
    if (root.empty() || path.size() <= root.size() + 1 || !path.starts_with(root) ||
        path[root.size()] != '/')
        return std::nullopt;
    return path.substr(root.size() + 1);
}

// A place the history may name: plain parts below binary1.
bool SaneRelative(const std::string& relative) {
    if (relative.empty() || relative.size() > 1024)
        return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = relative.find('/', start);
        const std::string part = relative.substr(start, slash - start);
        if (part.empty() || part == "." || part == ".." ||
            part.find_first_of("\\:\t\r\n") != std::string::npos)
            return false;
        if (slash == std::string::npos)
            return true;
        start = slash + 1;
    }
}

// Step names come from file names: tabs and line ends are kept out.
std::string Clean(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    return text;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

std::optional<std::int64_t> Number(const std::string& text, std::int64_t least) {
    if (text.empty() || text.size() > 15 ||
        text.find_first_not_of("-0123456789") != std::string::npos)
        return std::nullopt;
    const auto value = ParseIntegerToken(text);
    if (!value || *value < least)
        return std::nullopt;
    return value;
}

// The index as written; an empty history when there is none; nullopt when
// it is damaged or not a plain file.
std::optional<History> Load() {
    History history;
    const std::string path = IndexPath();
    if (!FileExists(path) && !IsLink(path))
        return history;
    if (IsLink(path) || !IsRealFolder(Folder()))
        return std::nullopt;
    auto file = BinaryFile::TryOpenRead(path);
    if (!file || file->Size() > MaxIndexBytes)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(file->Size()), '\0');
    file->ReadExact({reinterpret_cast<std::uint8_t*>(text.data()), text.size()});
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            return std::nullopt; // every line ends
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (lines.size() < 3 || lines[0] != IndexHead)
        return std::nullopt;
    const auto done = Fields(lines[1]);
    const auto next = Fields(lines[2]);
    if (done.size() != 2 || done[0] != "done" || next.size() != 2 || next[0] != "next")
        return std::nullopt;
    const auto doneCount = Number(done[1], 0);
    const auto nextId = Number(next[1], 1);
    if (!doneCount || !nextId)
        return std::nullopt;
    history.next = static_cast<long>(*nextId);
    for (std::size_t i = 3; i < lines.size(); ++i) {
        const auto fields = Fields(lines[i]);
        if (fields.size() == 3 && fields[0] == "step") {
            const auto id = Number(fields[1], 1);
            if (!id || *id >= history.next ||
                (!history.steps.empty() && *id <= history.steps.back().id))
                return std::nullopt;
            history.steps.push_back({static_cast<long>(*id), fields[2], {}});
        } else if (fields.size() == 4 && fields[0] == "file" && !history.steps.empty()) {
            const auto before = Number(fields[2], -1);
            const auto after = Number(fields[3], -1);
            if (!SaneRelative(fields[1]) || !before || !after)
                return std::nullopt;
            history.steps.back().files.push_back({fields[1], *before, *after});
        } else {
            return std::nullopt;
        }
    }
    if (*doneCount > static_cast<std::int64_t>(history.steps.size()))
        return std::nullopt;
    history.done = static_cast<std::size_t>(*doneCount);
    return history;
}

std::string IndexText(const History& history) {
    std::string text = std::string(IndexHead) + "\ndone\t" + std::to_string(history.done) +
                       "\nnext\t" + std::to_string(history.next) + "\n";
    for (const Step& step : history.steps) {
        text += "step\t" + std::to_string(step.id) + "\t" + step.name + "\n";
        for (const StepFile& f : step.files)
            text += "file\t" + f.relative + "\t" + std::to_string(f.before) + "\t" +
                    std::to_string(f.after) + "\n";
    }
    return text;
}

void StageCopy(StagedReplacements& staging, const std::string& source, const std::string& target) {
    BinaryFile in = BinaryFile::OpenRead(source);
    staging.Stage(target, in);
}

void StageIndex(StagedReplacements& staging, const History& history) {
    BinaryFile out = staging.Stage(IndexPath());
    out.Write(IndexText(history));
    out.Close();
}

// The step's copies go with the step's commit.
void StageRemoval(StagedReplacements& staging, const Step& step) {
    for (std::size_t k = 0; k < step.files.size(); ++k)
        for (bool after : {false, true})
            staging.Remove(CopyPath(step, k, after));
}

// Whether path holds what the copy holds (size -1: that there is nothing).
bool Holds(const std::string& path, std::int64_t size, const std::string& copy) {
    const bool there = FileExists(path) || IsLink(path);
    if (size < 0)
        return !there;
    if (!there || IsLink(path) || FileSizeOf(path) != size)
        return false;
    auto a = BinaryFile::TryOpenRead(path);
    auto b = BinaryFile::TryOpenRead(copy);
    if (!a || !b)
        return false;
    std::vector<std::uint8_t> x(64 * 1024), y(64 * 1024);
    for (;;) {
        const std::size_t n = a->Read(x);
        const std::size_t m = b->Read(y);
        if (n != m || !std::equal(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n), y.begin()))
            return false;
        if (n == 0)
            return true;
    }
}

// The history folder, made when missing; never one reached through a link.
void MakeFolder() {
    const std::string folder = Folder();
    std::error_code ignored;
    std::filesystem::create_directory(PathFromUtf8(folder), ignored);
    if (!IsRealFolder(folder))
        throw IoError(IoAccessDenied, folder, IoError::Subject::Folder)
            .WithNote("Zantrel keeps the undo history there. Nothing was changed.");
}

void SayDamaged(const std::string& caption) {
    ShowMessage("The undo history of this session cannot be read.", caption,
                IndexPath() + "\nIt is damaged or was not written by Zantrel. Nothing was changed; "
                              "the next edit starts a new history.");
}

CommandResult Move(bool undo) {
    const std::string caption = undo ? "Undo" : "Redo";
    if (const std::optional<Outcome> refused = RefuseWorkFolderForSession()) {
        ShowMessage(refused->message, caption);
        return CommandResult::Refused;
    }
    std::optional<History> history = Load();
    if (!history) {
        SayDamaged(caption);
        return CommandResult::Refused;
    }
    if (undo ? history->done == 0 : history->done == history->steps.size()) {
        SetStatusText(undo ? "Nothing to undo" : "Nothing to redo");
        return CommandResult::Completed;
    }
    const Step& step = history->steps[undo ? history->done - 1 : history->done];
    // What another program changed since is not replaced without asking.
    std::vector<std::size_t> changed;
    for (std::size_t k = 0; k < step.files.size(); ++k) {
        const StepFile& f = step.files[k];
        if (!Holds(TargetOf(f), undo ? f.after : f.before, CopyPath(step, k, undo)))
            changed.push_back(k);
    }
    std::set<std::size_t> kept;
    if (!changed.empty()) {
        std::string names;
        for (std::size_t i = 0; i < changed.size() && i < 10; ++i)
            names += (i ? ", " : "") + FileNamePart(TargetOf(step.files[changed[i]]));
        if (changed.size() > 10)
            names += " and " + std::to_string(changed.size() - 10) + " more";
        const std::string verb = undo ? "undoes" : "redoes";
        if (AskConfirmation(names + (changed.size() == 1 ? " was" : " were") +
                                " changed by another program after " + step.name + ". Keep " +
                                (changed.size() == 1 ? "it" : "them") + " as now?\n\nOK keeps " +
                                (changed.size() == 1 ? "it" : "them") + " and " + verb +
                                " the rest of the step. Cancel " + verb + " the whole step, and " +
                                (changed.size() == 1 ? "that change is" : "those changes are") +
                                " lost.",
                            caption, DefaultAnswer::Ok))
            kept.insert(changed.begin(), changed.end());
    }
    StagedReplacements staging;
    std::string firstTarget;
    for (std::size_t k = 0; k < step.files.size(); ++k) {
        if (kept.contains(k))
            continue;
        const StepFile& f = step.files[k];
        const std::string target = TargetOf(f);
        if (firstTarget.empty())
            firstTarget = target;
        if ((undo ? f.before : f.after) < 0)
            staging.Remove(target);
        else
            StageCopy(staging, CopyPath(step, k, !undo), target);
    }
    const std::string name = step.name;
    history->done += undo ? -1 : 1;
    StageIndex(staging, *history);
    staging.Commit(JournalPath(firstTarget.empty() ? IndexPath() : firstTarget));
    SetStatusText((undo ? "Undid " : "Redid ") + name);
    return CommandResult::Completed;
}

} // namespace

std::vector<HistoryEntry> HistorySteps() {
    std::vector<HistoryEntry> entries;
    if (State().binary1Dir.empty())
        return entries;
    if (const auto history = Load())
        for (std::size_t i = 0; i < history->steps.size(); ++i)
            entries.push_back(
                {history->steps[i].name, history->steps[i].Bytes(), i < history->done});
    return entries;
}

std::optional<std::string> NextUndo() {
    const auto steps = HistorySteps();
    for (auto it = steps.rbegin(); it != steps.rend(); ++it)
        if (it->done)
            return it->name;
    return std::nullopt;
}

std::optional<std::string> NextRedo() {
    for (const HistoryEntry& entry : HistorySteps())
        if (!entry.done)
            return entry.name;
    return std::nullopt;
}

void CommitStep(StagedReplacements& staging, const std::string& name,
                const std::string& journalPath, std::int64_t limit) {
    std::optional<History> history = Load();
    // Only a step wholly inside image 1's branch is kept; a damaged index
    // gives way to a new history (its files go with the session).
    const std::vector<Replacement> replacements = staging.Replacements();
    Step step;
    for (const Replacement& r : replacements) {
        if (r.target.empty())
            continue;
        const auto relative = RelativeOf(r.target);
        if (!relative || !SaneRelative(*relative)) {
            staging.Commit(journalPath);
            return;
        }
        step.files.push_back({*relative, -1, -1});
    }
    if (step.files.empty()) {
        staging.Commit(journalPath);
        return;
    }
    if (!history)
        history = History{};
    MakeFolder();
    // A new step ends the redo of the steps undone before it.
    for (std::size_t i = history->done; i < history->steps.size(); ++i)
        StageRemoval(staging, history->steps[i]);
    history->steps.resize(history->done);
    step.id = history->next++;
    step.name = Clean(name);
    std::size_t k = 0;
    for (const Replacement& r : replacements) {
        if (r.target.empty())
            continue;
        StepFile& f = step.files[k];
        if (FileExists(r.target)) {
            f.before = FileSizeOf(r.target);
            StageCopy(staging, r.target, CopyPath(step, k, false));
        }
        if (!r.temp.empty()) {
            f.after = FileSizeOf(r.temp);
            StageCopy(staging, r.temp, CopyPath(step, k, true));
        }
        ++k;
    }
    history->steps.push_back(std::move(step));
    // The oldest go while the rest pass the limit; the newest stays.
    std::int64_t total = 0;
    for (const Step& s : history->steps)
        total += s.Bytes();
    while (total > limit && history->steps.size() > 1) {
        total -= history->steps.front().Bytes();
        StageRemoval(staging, history->steps.front());
        history->steps.erase(history->steps.begin());
    }
    history->done = history->steps.size();
    StageIndex(staging, *history);
    staging.Commit(journalPath);
}

CommandResult UndoStep() { return Move(true); }

CommandResult RedoStep() { return Move(false); }

CommandResult ShowHistory() {
    constexpr std::string_view Caption = "History";
    if (!Load()) {
        SayDamaged(std::string(Caption));
        return CommandResult::Refused;
    }
    const std::vector<HistoryEntry> steps = HistorySteps();
    if (steps.empty()) {
        ShowMessage("No step to undo or redo in this session.", std::string(Caption));
        return CommandResult::Completed;
    }
    std::string list;
    std::int64_t bytes = 0;
    for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
        // Appended in place: GCC 12 takes a chain of + here for an
        // overlapping copy (-Wrestrict), which it is not.
        if (!list.empty())
            list.append("\n");
        list.append(it->done ? "  " : "* ").append(it->name);
        bytes += it->bytes;
    }
    list.append("\n\nThe history keeps ")
        .append(std::to_string((bytes + 1023) / 1024))
        .append(" KiB of at most ")
        .append(std::to_string(HistoryLimitBytes / (1024 * 1024)))
        .append(" MiB.");
    ShowMessage(std::to_string(steps.size()) + (steps.size() == 1 ? " step" : " steps") +
                    ", newest first (* undone: Redo puts it back):",
                std::string(Caption), list);
    return CommandResult::Completed;
}

bool IsHistoryFileName(const std::string& name) {
    if (name == HistoryIndexFileName)
        return true;
    // "3.1.old", "3.1.new"
    if (name.size() < 7 || !(name.ends_with(".old") || name.ends_with(".new")))
        return false;
    const std::string stem = name.substr(0, name.size() - 4);
    const std::size_t dot = stem.find('.');
    if (dot == 0 || dot == std::string::npos || dot + 1 == stem.size())
        return false;
    for (std::size_t i = 0; i < stem.size(); ++i)
        if (i != dot && (stem[i] < '0' || stem[i] > '9'))
            return false;
    return true;
}

} // namespace zantrel
