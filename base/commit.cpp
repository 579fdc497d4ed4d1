#include "base/commit.h"

#include <filesystem>
#include <optional>

#include "base/fileio.h"
#include "base/unicode.h"

namespace zantrel {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view JournalHead = "zantrel-commit 1";
// The new files are being written; nothing was moved.
constexpr std::string_view Begun = "begun";
// Every new file is whole; old files may be aside, new ones in place.
constexpr std::string_view Prepared = "prepared";
// Every new file is in place; what is aside only waits to go.
constexpr std::string_view Committed = "committed";
// Far more than the entries of any Port (two per icon or picture slot).
constexpr std::int64_t MaxJournalBytes = 64 * 1024 * 1024;

struct Entry {
    std::string target;
    std::string temp;
    std::string aside; // where the old file goes; empty when there was none
};

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::symlink_status(PathFromUtf8(path), ec).type() != fs::file_type::not_found;
}

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

void WriteJournal(const std::string& path, std::string_view phase,
                  const std::vector<Entry>& entries) {
    AtomicOutput output(path);
    BinaryFile out = output.Create();
    std::string text = std::string(JournalHead) + "\n" + std::string(phase) + "\n";
    for (const Entry& e : entries) {
        text += Escape(e.target) + "\t" + Escape(e.temp) + "\t" + Escape(e.aside) + "\n";
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

std::optional<Journal> ReadJournal(const std::string& path) {
    auto file = BinaryFile::TryOpenRead(path);
    if (!file || file->Size() > MaxJournalBytes)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(file->Size()), '\0');
    file->ReadExact(std::span(reinterpret_cast<std::uint8_t*>(text.data()),
                              static_cast<std::size_t>(text.size())));
    std::vector<std::string_view> lines;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        if (end == std::string_view::npos)
            return std::nullopt; // cut short
        lines.push_back(rest.substr(0, end));
        rest.remove_prefix(end + 1);
    }
    if (lines.size() < 2 || lines[0] != JournalHead ||
        (lines[1] != Begun && lines[1] != Prepared && lines[1] != Committed))
        return std::nullopt;
    Journal journal;
    journal.phase = lines[1];
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::size_t a = line.find('\t');
        const std::size_t b = a == std::string_view::npos ? a : line.find('\t', a + 1);
        if (b == std::string_view::npos)
            return std::nullopt;
        auto target = Unescape(line.substr(0, a));
        auto temp = Unescape(line.substr(a + 1, b - a - 1));
        auto aside = Unescape(line.substr(b + 1));
        if (!target || !temp || !aside)
            return std::nullopt;
        journal.entries.push_back({*target, *temp, *aside});
    }
    return journal;
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

// Removes the new files (and scratch files) before anything was moved.
bool RemoveNew(const std::vector<Entry>& entries) {
    return EachEntry(entries.begin(), entries.end(), [](const Entry& e) {
        if (!e.temp.empty())
            DeleteFileChecked(e.temp);
    });
}

// Puts every old file back and removes every new one, last first. Each step
// looks at what is on disk, so an undo ended part-way is finished by the
// next one.
bool Undo(const std::vector<Entry>& entries) {
    return EachEntry(entries.rbegin(), entries.rend(), [](const Entry& e) {
        if (e.target.empty()) { // a scratch file
            DeleteFileChecked(e.temp);
            return;
        }
        const bool placed = !e.temp.empty() && !Exists(e.temp) && Exists(e.target);
        // A target whose recorded old file is no longer aside is that old
        // file, already back.
        if (placed && (e.aside.empty() || Exists(e.aside)))
            DeleteFileChecked(e.target);
        if (!e.aside.empty() && Exists(e.aside))
            RenameFile(e.aside, e.target);
        if (!e.temp.empty())
            DeleteFileChecked(e.temp);
    });
}

// Removes what waits aside once every new file is in place.
bool Finish(const std::vector<Entry>& entries) {
    return EachEntry(entries.begin(), entries.end(), [](const Entry& e) {
        if (!e.aside.empty())
            DeleteFileChecked(e.aside);
        if (!e.temp.empty())
            DeleteFileChecked(e.temp);
    });
}

} // namespace

void BeginReplacements(const std::vector<Replacement>& replacements,
                       const std::string& journalPath) {
    std::vector<Entry> entries;
    for (const Replacement& r : replacements)
        entries.push_back({r.target, r.temp, {}});
    WriteJournal(journalPath, Begun, entries);
}

void CommitReplacements(const std::vector<Replacement>& replacements,
                        const std::string& journalPath) {
    std::vector<Entry> entries;
    try {
        for (const Replacement& r : replacements) {
            if (!r.target.empty())
                CheckReplaceable(r.target);
            entries.push_back(
                {r.target, r.temp,
                 !r.target.empty() && Exists(r.target) ? NewTemporaryPath(r.target) : ""});
        }
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

bool RecoverReplacements(const std::string& journalPath) {
    if (!Exists(journalPath))
        return true;
    std::optional<Journal> journal;
    try {
        journal = ReadJournal(journalPath);
    } catch (const IoError&) {
        return false;
    }
    // A journal cut short was never put in place (it is renamed in whole);
    // one that cannot be read is left for a person to look at.
    if (!journal)
        return false;
    bool done = false;
    if (journal->phase == Committed)
        done = Finish(journal->entries);
    else if (journal->phase == Prepared)
        done = Undo(journal->entries);
    else
        done = RemoveNew(journal->entries);
    if (!done)
        return false;
    try {
        DeleteFileChecked(journalPath);
    } catch (const IoError&) {
        return false;
    }
    return true;
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

void StagedReplacements::Remove(const std::string& target) {
    if (Exists(target))
        set_.push_back({target, {}});
}

void StagedReplacements::Commit(const std::string& journalPath) {
    const std::vector<Replacement> set = std::move(set_);
    set_.clear();
    CommitReplacements(set, journalPath);
}

} // namespace zantrel
