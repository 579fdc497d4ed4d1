#include "base/commit.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/primitives.h"
#include "base/unicode.h"

namespace zantrel {

namespace {

namespace fs = std::filesystem;

// Version 2 records the identity of each new file that had no old one, so
// that recovery removes that file only, never another at its name.
constexpr std::string_view JournalHead = "zantrel-commit 2";
constexpr std::string_view JournalHeadV1 = "zantrel-commit 1";
// The new files are being written; nothing was moved.
constexpr std::string_view Begun = "begun";
// Every new file is whole; old files may be aside, new ones in place.
constexpr std::string_view Prepared = "prepared";
// Every new file is in place; what is aside only waits to go.
constexpr std::string_view Committed = "committed";
// Far more than the entries of any Port (one per icon or picture slot, each
// three paths), far less than a planted file could make a start read.
constexpr std::int64_t MaxJournalBytes = 8 * 1024 * 1024;

struct Entry {
    std::string target;
    std::string temp;
    std::string aside; // where the old file goes; empty when there was none
    // For a target that had no old file: the new file's identity, taken
    // from its temporary before it was moved in.
    std::optional<FileIdentity> placed;
};

fs::file_type TypeAt(const std::string& path) {
    std::error_code ec;
    return fs::symlink_status(PathFromUtf8(path), ec).type();
}

bool Exists(const std::string& path) { return TypeAt(path) != fs::file_type::not_found; }

// Fields are separated by tabs, entries by line ends: both are escaped.
std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const auto value = ParseIntegerToken("0x" + std::string(text.substr(i + 1, 2)));
        if (!value)
            return std::nullopt;
        out += static_cast<char>(*value);
        i += 2;
    }
    return out;
}

std::string IdentityText(const std::optional<FileIdentity>& id) {
    if (!id)
        return {};
    char text[40];
    std::snprintf(text, sizeof text, "%llx:%llx", static_cast<unsigned long long>(id->device),
                  static_cast<unsigned long long>(id->file));
    return text;
}

std::optional<std::optional<FileIdentity>> ParseIdentity(std::string_view text) {
    if (text.empty())
        return std::optional<FileIdentity>();
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const auto device = ParseIntegerToken("0x" + std::string(text.substr(0, colon)));
    const auto file = ParseIntegerToken("0x" + std::string(text.substr(colon + 1)));
    if (!device || !file)
        return std::nullopt;
    return std::optional<FileIdentity>(
        FileIdentity{static_cast<std::uint64_t>(*device), static_cast<std::uint64_t>(*file)});
}

// Paths as a journal keeps them: each folder resolved, so that recovery, in
// another run and from any folder, acts on the same file, and can tell a
// journal of its own from one that leads through a link. Once a folder, as
// a step's thousands of files share a few.
class JournalPaths {
public:
    std::string operator()(const std::string& path) {
        if (path.empty())
            return path;
        const std::string parent = ParentFolder(path);
        auto found = folders_.find(parent);
        if (found == folders_.end())
            found = folders_.emplace(parent, ResolvedFolder(parent)).first;
        return found->second ? JoinPath(*found->second, FileNamePart(path)) : path;
    }

private:
    std::map<std::string, std::optional<std::string>> folders_;
};

void WriteJournal(const std::string& path, std::string_view phase,
                  const std::vector<Entry>& entries) {
    AtomicOutput output(path);
    BinaryFile out = output.Create();
    std::string text = std::string(JournalHead) + "\n" + std::string(phase) + "\n";
    JournalPaths journaled;
    for (const Entry& e : entries) {
        text += Escape(journaled(e.target)) + "\t" + Escape(journaled(e.temp)) + "\t" +
                Escape(journaled(e.aside)) + "\t" + IdentityText(e.placed) + "\n";
        if (text.size() >= 64 * 1024) {
            out.Write(text);
            text.clear();
        }
    }
    out.Write(text);
    out.Close();
    output.Commit();
}

struct Journal {
    std::string phase;
    std::vector<Entry> entries;
};

std::optional<Entry> ParseEntry(std::string_view line, bool withIdentity) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos)
            break;
        start = tab + 1;
    }
    if (fields.size() != (withIdentity ? 4u : 3u))
        return std::nullopt;
    auto target = Unescape(fields[0]);
    auto temp = Unescape(fields[1]);
    auto aside = Unescape(fields[2]);
    auto placed = withIdentity ? ParseIdentity(fields[3]) : std::optional<FileIdentity>();
    if (!target || !temp || !aside || !placed)
        return std::nullopt;
    return Entry{*target, *temp, *aside, *placed};
}

// The journal as written, read line by line; nullopt for anything else: cut
// short, damaged, oversized, or not a file of its own (a link).
std::optional<Journal> ReadJournal(const std::string& path) {
    if (TypeAt(path) != fs::file_type::regular)
        return std::nullopt;
    auto file = BinaryFile::TryOpenRead(path);
    if (!file || file->Size() > MaxJournalBytes)
        return std::nullopt;
    ReadAhead in(*file, 256 * 1024);
    std::string line;
    std::vector<std::string> head;
    Journal journal;
    bool withIdentity = true;
    // Lines end in "\n"; a last line without one was never put in place (the
    // journal is renamed in whole), so it makes the journal not its own.
    while (!in.AtEnd()) {
        const std::size_t available = in.Ensure(64 * 1024);
        const std::uint8_t* data = in.Data();
        const auto* end = std::find(data, data + available, static_cast<std::uint8_t>('\n'));
        line.append(reinterpret_cast<const char*>(data), static_cast<std::size_t>(end - data));
        if (end == data + available) {
            in.Skip(available);
            continue;
        }
        in.Skip(static_cast<std::size_t>(end - data) + 1);
        if (head.size() < 2) {
            head.push_back(line);
            if (head.size() == 2) {
                if (head[0] != JournalHead && head[0] != JournalHeadV1)
                    return std::nullopt;
                withIdentity = head[0] == JournalHead;
                if (head[1] != Begun && head[1] != Prepared && head[1] != Committed)
                    return std::nullopt;
                journal.phase = head[1];
            }
        } else {
            auto entry = ParseEntry(line, withIdentity);
            if (!entry)
                return std::nullopt;
            journal.entries.push_back(std::move(*entry));
        }
        line.clear();
    }
    if (!line.empty() || head.size() < 2)
        return std::nullopt;
    return journal;
}

bool SameText(const std::string& a, const std::string& b) {
#ifdef _WIN32
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto up = [](char c) {
                   return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
               };
               return up(x) == up(y);
           });
#else
    return a == b;
#endif
}

// A target as this program records it: a whole path to a file (not a link),
// in a folder reached through no link.
bool OwnTarget(const std::string& target) {
    const fs::path path = PlainPathFromUtf8(target);
    if (!path.is_absolute() || FileNamePart(target).empty())
        return false;
    for (const fs::path& part : path)
        if (part == "." || part == "..")
            return false;
    const fs::file_type type = TypeAt(target);
    if (type != fs::file_type::regular && type != fs::file_type::not_found)
        return false;
    const std::string folder = ParentFolder(target);
    if (!FolderExists(folder))
        return type == fs::file_type::not_found; // nothing there to act on
    const std::optional<std::string> resolved = ResolvedFolder(folder);
    return resolved && SameText(*resolved, folder);
}

// One of the program's own temporaries for target, beside it: a plain file
// or nothing.
bool OwnTemporaryOf(const std::string& path, const std::string& target) {
    if (path.empty())
        return true;
    if (!IsOwnTemporaryName(FileNamePart(path)) || ShownPath(path) != target)
        return false;
    const fs::file_type type = TypeAt(path);
    return type == fs::file_type::regular || type == fs::file_type::not_found;
}

// Whether every entry is one this program writes: anything else, and the
// whole journal is left alone.
bool Recognised(const std::vector<Entry>& entries) {
    std::vector<const std::string*> targets;
    for (const Entry& e : entries)
        if (!e.target.empty())
            targets.push_back(&e.target);
    for (const Entry& e : entries) {
        if (e.target.empty()) {
            // A scratch file: one of the temporaries of another entry's target.
            if (e.temp.empty() || !e.aside.empty() || e.placed ||
                std::none_of(targets.begin(), targets.end(),
                             [&](const std::string* t) { return OwnTemporaryOf(e.temp, *t); }))
                return false;
            continue;
        }
        if (!OwnTarget(e.target) || !OwnTemporaryOf(e.temp, e.target) ||
            !OwnTemporaryOf(e.aside, e.target) || (!e.temp.empty() && e.temp == e.aside) ||
            (e.placed && !e.aside.empty()))
            return false;
    }
    return true;
}

// Runs step on each entry from first to last, on whatever fails; true
// when none did.
template <class Iterator, class Step> bool EachEntry(Iterator first, Iterator last, Step step) {
    bool whole = true;
    for (; first != last; ++first) {
        try {
            step(*first);
        } catch (const IoError&) {
            whole = false;
        }
    }
    return whole;
}

void DeleteIfThere(const std::string& path) {
    if (!path.empty() && Exists(path))
        DeleteFileChecked(path);
}

// Removes the new files (and scratch files) before anything was moved.
bool RemoveNew(const std::vector<Entry>& entries) {
    return EachEntry(entries.begin(), entries.end(), [](const Entry& e) { DeleteIfThere(e.temp); });
}

// Puts every old file back and removes every new one, last first. A target
// is replaced only by its own old file, and removed only when it is the very
// file the step put there. Each step looks at what is on disk, so an undo
// ended part-way is finished by the next one.
bool Undo(const std::vector<Entry>& entries) {
    return EachEntry(entries.rbegin(), entries.rend(), [](const Entry& e) {
        if (!e.aside.empty() && Exists(e.aside))
            RenameFile(e.aside, e.target);
        else if (e.placed && !e.target.empty() && TypeAt(e.target) == fs::file_type::regular &&
                 IdentityOf(e.target) == e.placed)
            DeleteFileChecked(e.target);
        DeleteIfThere(e.temp);
    });
}

// Removes what waits aside once every new file is in place.
bool Finish(const std::vector<Entry>& entries) {
    return EachEntry(entries.begin(), entries.end(), [](const Entry& e) {
        DeleteIfThere(e.aside);
        DeleteIfThere(e.temp);
    });
}

std::vector<std::string> Folders(const std::vector<Entry>& entries) {
    std::vector<std::string> folders;
    for (const Entry& e : entries)
        if (!e.target.empty()) {
            std::string folder = ParentFolder(e.target);
            if (std::find(folders.begin(), folders.end(), folder) == folders.end())
                folders.push_back(std::move(folder));
        }
    return folders;
}

} // namespace

void ClaimJournal(const std::string& journalPath) {
    switch (RecoverReplacements(journalPath)) {
    case Recovery::Nothing:
    case Recovery::Done:
        return;
    case Recovery::Left:
        throw IoError(IoAccessDenied, journalPath)
            .WithNote("An earlier step that stopped part-way could not be finished: a file it "
                      "names is held by another program or cannot be moved. Nothing new was "
                      "started.");
    case Recovery::Unrecognised:
        throw IoError(IoAccessDenied, journalPath)
            .WithNote(std::string(UnrecognisedJournalText) + " Nothing new was started.");
    }
}

void BeginReplacements(const std::vector<Replacement>& replacements,
                       const std::string& journalPath) {
    ClaimJournal(journalPath);
    std::vector<Entry> entries;
    for (const Replacement& r : replacements)
        entries.push_back({r.target, r.temp, {}, {}});
    WriteJournal(journalPath, Begun, entries);
}

void CommitReplacements(const std::vector<Replacement>& replacements,
                        const std::string& journalPath) {
    std::vector<Entry> entries;
    try {
        std::vector<std::string> temps;
        for (const Replacement& r : replacements) {
            if (!r.target.empty())
                CheckReplaceable(r.target);
            const bool old = !r.target.empty() && Exists(r.target);
            Entry e{r.target, r.temp, old ? NewTemporaryPath(r.target) : "", {}};
            if (!r.target.empty() && !r.temp.empty()) {
                temps.push_back(r.temp);
                if (!old)
                    e.placed = IdentityOf(r.temp);
            }
            entries.push_back(std::move(e));
        }
        // Whole on the disk before the journal says so.
        FlushToDisk(temps);
        WriteJournal(journalPath, Prepared, entries);
    } catch (const IoError&) {
        // Nothing was moved: only the new files go.
        for (const Replacement& r : replacements)
            if (!r.temp.empty())
                DeleteFileQuietly(r.temp);
        DeleteFileQuietly(journalPath);
        throw;
    }
    try {
        for (const Entry& e : entries)
            if (!e.aside.empty())
                RenameFile(e.target, e.aside);
        for (const Entry& e : entries)
            if (!e.target.empty() && !e.temp.empty())
                RenameFile(e.temp, e.target);
        for (const std::string& folder : Folders(entries))
            FlushFolder(folder);
        WriteJournal(journalPath, Committed, entries);
    } catch (const IoError&) {
        if (Undo(entries))
            DeleteFileQuietly(journalPath);
        throw;
    }
    // From here the step counts as done; what is left over goes at recovery.
    if (Finish(entries))
        DeleteFileQuietly(journalPath);
}

Recovery RecoverReplacements(const std::string& journalPath) {
    if (!Exists(journalPath))
        return Recovery::Nothing;
    std::optional<Journal> journal;
    try {
        journal = ReadJournal(journalPath);
    } catch (const IoError&) {
        return Recovery::Left;
    }
    // Only a journal this program wrote, for its own temporaries, is acted on;
    // anything else is left as it is, and said.
    if (!journal || !Recognised(journal->entries))
        return Recovery::Unrecognised;
    bool done = false;
    if (journal->phase == Committed)
        done = Finish(journal->entries);
    else if (journal->phase == Prepared)
        done = Undo(journal->entries);
    else
        done = RemoveNew(journal->entries);
    if (!done)
        return Recovery::Left;
    for (const std::string& folder : Folders(journal->entries))
        FlushFolder(folder);
    try {
        DeleteFileChecked(journalPath);
    } catch (const IoError&) {
        return Recovery::Left;
    }
    return Recovery::Done;
}

StagedReplacements::~StagedReplacements() {
    for (const Replacement& r : set_)
        if (!r.temp.empty())
            DeleteFileQuietly(r.temp);
}

BinaryFile StagedReplacements::Stage(const std::string& target) {
    set_.push_back({target, NewTemporaryPath(target)});
    return BinaryFile::CreateNew(set_.back().temp);
}

void StagedReplacements::Stage(const std::string& target, std::span<const std::uint8_t> bytes) {
    BinaryFile out = Stage(target);
    out.Write(bytes);
    out.StartWriteback();
    out.Close();
}

void StagedReplacements::Stage(const std::string& target, BinaryFile& source) {
    BinaryFile out = Stage(target);
    CopyFileRange(source, 0, 0, out, false);
    out.StartWriteback();
    out.Close();
}

void StagedReplacements::Remove(const std::string& target) {
    if (Exists(target))
        set_.push_back({target, {}});
}

void StagedReplacements::Commit(const std::string& journalPath) {
    ClaimJournal(journalPath);
    const std::vector<Replacement> set = std::move(set_);
    set_.clear();
    CommitReplacements(set, journalPath);
}

} // namespace zantrel
