// Reading superfiles, SBF files and raw code-group images into an image's
// binary folder: header.bin, RAMDLD.bin and one CG<s>.bin per piece.
#include "flash/readers.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/fileio.h"
#include "base/outcome.h"
#include "base/paths.h"
#include "base/primitives.h"
#include "base/uiops.h"
#include "base/worktree.h"

#include "flash/flashformat.h"
#include "flash/srecord.h"

namespace zantrel {

namespace {

constexpr std::size_t BodyBlockSize = 64 * 1024;
// The body is read ahead, and a piece's bytes written, in blocks of several
// stdio buffers: requests that large move mostly straight between the
// caller's memory and the system, not copied through stdio's buffer.
constexpr std::size_t ReadAheadSize = 4 * BodyBlockSize;
constexpr std::size_t PendingSize = 4 * BodyBlockSize;
// "S", type, count, 2 * 255 characters after the count: the longest line.
constexpr std::size_t MaxRecordChars = 4 + 2 * 255;

// The scratch file of one piece, in the work folder. Removed however the
// reading ends.
class Scratch {
public:
    explicit Scratch(std::string path) : path_(std::move(path)) { Open(); }
    ~Scratch() {
        file_ = std::nullopt;
        DeleteFileQuietly(path_);
    }
    BinaryFile& File() { return *file_; }
    // Closes the piece and moves it onto target, then starts an empty one.
    void EndPiece(const std::string& target) {
        file_->Close();
        file_ = std::nullopt;
        // rename() replaces an existing target; the delete-and-retry covers
        // systems where it does not.
        if (!TryRenameFile(path_, target)) {
            DeleteFileQuietly(target);
            RenameFile(path_, target);
        }
        Open();
    }
    void Finish() {
        file_->Close();
        file_ = std::nullopt;
    }

private:
    // Made anew each time: the name is free again once a piece moved on.
    void Open() { file_ = BinaryFile::CreateNew(path_); }
    std::string path_;
    std::optional<BinaryFile> file_;
};

enum class BodyKind { Superfile, Sbf };

struct BodyResult {
    bool refused = false;
    std::string refusal; // why, when refused
    int pieces = 0;
    long badChecksums = 0;
    std::vector<std::string> written; // pieces moved into the work folder
};

void Refuse(const std::string& text, BodyResult& result) {
    result.refused = true;
    result.refusal = text;
}

std::string TooManyPiecesText(const std::string& name, int listed) {
    return name + ": its body holds more pieces than its header lists (" + std::to_string(listed) +
           "). Nothing was decompiled.";
}

// The rules of a record line, for the fast check and the diagnosis alike:
// "S", a type digit, a count of the upper-case hex pairs that follow it
// (at least 3 for type 0; 5 for the others, which hold a 4-byte address and
// the checksum), then CR LF.
bool IsTypeDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }
// The count field of a line whose first four characters are there; -1 when
// they are not hex digits.
int RecordCountOf(const std::uint8_t* line) {
    const int hi = HexDigitTable[line[2]];
    const int lo = HexDigitTable[line[3]];
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}
int MinRecordCount(std::uint8_t type) { return type == '0' ? 3 : 5; }
std::size_t RecordChars(int count) { return 4 + 2 * static_cast<std::size_t>(count); }

// Why a superfile line is not a record this reader can take, for a line
// the fast check turned down. avail counts the bytes from its start to the
// end of what was read ahead.
std::string DiagnoseLine(const std::uint8_t* line, std::size_t avail) {
    if (line[0] != 'S')
        return "it does not start with \"S\"";
    if (avail < 2 || !IsTypeDigit(line[1]))
        return "its record type is not a digit";
    std::size_t end = 0;
    const std::size_t limit = std::min(avail, MaxRecordChars + 1);
    while (end < limit && line[end] != '\r' && line[end] != '\n')
        ++end;
    // The reader looked MaxRecordChars + 2 ahead: fewer means the file ends.
    if (end == limit && end != avail)
        return "it is longer than an S-record can be";
    if (end % 2 != 0)
        return "it has an odd number of characters";
    if (end < 4)
        return "it is too short to hold a count";
    for (std::size_t i = 2; i < end; ++i)
        if (HexDigitTable[line[i]] < 0)
            return "it holds a character that is not an upper-case hex digit";
    const int count = RecordCountOf(line);
    const int minCount = MinRecordCount(line[1]);
    if (count < minCount)
        return "its count " + std::to_string(count) + " is below " + std::to_string(minCount);
    if (end != RecordChars(count))
        return "its count does not match its length";
    return "it does not end in CR LF";
}

BodyResult ReadSuperfileBody(BinaryFile& flash, const CodeGroupTable& table,
                             const std::string& name, const std::string& tempPath) {
    BodyResult result;
    Scratch scratch(tempPath);
    // Read in large blocks, so that a line costs no read call.
    ReadAhead body(flash, ReadAheadSize + MaxRecordChars + 2);
    ProgressMeter progress(static_cast<double>(flash.Size()));
    double counter = FlashHeaderSize;
    long lineNumber = 0;
    bool inPiece = false;
    std::uint8_t bytes[256];
    // Data bytes are decoded straight into this block and go to the piece a
    // block at a time, not a write call per line. It keeps room for a line.
    std::vector<std::uint8_t> pending(PendingSize + sizeof bytes);
    std::size_t pendingLength = 0;
    auto flush = [&] {
        scratch.File().Write(std::span(pending.data(), pendingLength));
        pendingLength = 0;
    };

    auto refuseLine = [&](const std::string& why) {
        Refuse(name + ", line " + std::to_string(lineNumber) + ": " + why +
                   ". The file was not decompiled.",
               result);
    };

    while (!body.AtEnd()) {
        const std::size_t avail = body.Ensure(MaxRecordChars + 2);
        const std::uint8_t* line = body.Data();
        const bool endInView = avail < MaxRecordChars + 2;
        ++lineNumber;
        // Line ends after the last section are tolerated; nothing follows them.
        if (!inPiece && endInView &&
            std::all_of(line, line + avail, [](std::uint8_t c) { return c == '\r' || c == '\n'; }))
            break;
        if (result.pieces >= table.count) {
            Refuse(TooManyPiecesText(name, table.count), result);
            return result;
        }

        // A sound line is upper-case hex with its count, and CR LF right
        // where the count says (only the file's last line may lack it).
        const int count =
            avail >= 4 && line[0] == 'S' && IsTypeDigit(line[1]) ? RecordCountOf(line) : -1;
        bool sound = count >= 0;
        std::size_t chars = 0;
        bool lineEnd = false;
        if (sound) {
            chars = RecordChars(count);
            if (count < MinRecordCount(line[1]) || chars > avail)
                sound = false;
            else if (chars + 2 <= avail && line[chars] == '\r' && line[chars + 1] == '\n')
                lineEnd = true;
            else if (!(endInView && chars == avail))
                sound = false;
        }
        // The line's bytes: count, address, data, checksum; they sum to FF
        // when sound. Every type but 0 and 7 is a data line with a 4-byte
        // address (its count is at least 5); its data go to the pending
        // block, where they count once the line has proved sound.
        const char type = static_cast<char>(line[1]);
        const bool dataLine = type != '0' && type != '7';
        int sum = 0;
        if (sound) {
            if (pendingLength + sizeof bytes > PendingSize)
                flush();
            std::uint8_t* data = dataLine ? pending.data() + pendingLength : bytes + 5;
            sum = DecodeSRecordPairs(reinterpret_cast<const char*>(line) + 2,
                                     static_cast<std::size_t>(count), bytes, data);
            sound = sum >= 0;
        }
        if (!sound) {
            refuseLine(DiagnoseLine(line, avail));
            return result;
        }
        if ((sum & 0xFF) != 0xFF)
            ++result.badChecksums;

        if (type == '0') {
            inPiece = true;
        } else if (type == '7') {
            body.Skip(chars + (lineEnd ? 2 : 0));
            result.written.push_back(
                table.entries[static_cast<std::size_t>(result.pieces)].fileName);
            flush();
            scratch.EndPiece(result.written.back());
            ++result.pieces;
            inPiece = false;
            continue;
        } else {
            // Every other type is a data line with a 4-byte address; the data
            // start after the address, the last pair is the checksum.
            inPiece = true;
            pendingLength += static_cast<std::size_t>(count) - 5;
            counter += 2.0 * count + 4;
            progress.Update(counter);
        }
        body.Skip(chars + (lineEnd ? 2 : 0));
    }
    flush();
    scratch.Finish();
    if (inPiece) {
        Refuse(name + ": the body ends inside a piece (its last section has no end line). "
                      "The file was not decompiled.",
               result);
    }
    return result;
}

BodyResult ReadSbfBody(BinaryFile& flash, const CodeGroupTable& table, const std::string& name,
                       const std::string& tempPath) {
    BodyResult result;
    Scratch scratch(tempPath);
    const std::int64_t size = flash.Size();
    std::int64_t pos = FlashHeaderSize;
    double counter = FlashHeaderSize;
    do {
        if (result.pieces >= table.count) {
            Refuse(TooManyPiecesText(name, table.count), result);
            return result;
        }
        // 9 bytes, the length L (big-endian), 4 bytes, L data bytes, 12 bytes.
        std::uint8_t head[17];
        flash.Seek(pos);
        const std::size_t got = flash.Read(head);
        const std::uint32_t length = got == sizeof head ? LoadBE32(&head[9]) : 0;
        // A length is checked against the file before anything is copied.
        if (got < sizeof head || static_cast<std::int64_t>(length) > size - pos - 17) {
            Refuse(name + ": piece record " + std::to_string(result.pieces + 1) +
                       " is cut short by the end of the file. The file was not decompiled.",
                   result);
            return result;
        }
        CopyFileRange(flash, pos + 17, length, scratch.File(), true);
        counter += length;
        SetProgress(ProgressPercent(counter, static_cast<double>(size)));
        // The 12 closing bytes are not interpreted; a file may end inside them.
        pos = std::min<std::int64_t>(size, pos + 17 + length + 12);
        result.written.push_back(table.entries[static_cast<std::size_t>(result.pieces)].fileName);
        scratch.EndPiece(result.written.back());
        ++result.pieces;
    } while (pos < size);
    scratch.Finish();
    return result;
}

Outcome ReadHeaderAndBody(const ImageFolders& folders, BodyKind kind) {
    const std::string name = FileNamePart(folders.flashPath);
    // Only read: opened read-only, so a write-protected flash file is fine.
    BinaryFile flash = BinaryFile::OpenRead(folders.flashPath);

    const std::string headerPath = JoinPath(folders.binaryDir, HeaderFileName);
    {
        BinaryFile header = BinaryFile::Create(headerPath);
        CopyFileRange(flash, 0, FlashHeaderSize, header, true);
        header.Close();
    }
    CodeGroupTable table;
    {
        BinaryFile header = BinaryFile::OpenRead(headerPath);
        table = ParseFlashHeader(header, folders.binaryDir);
        header.Close();
    }
    if (!table.listsDrm)
        return Outcome::NoDrmFound();

    ProgressScope scope("Extracting codegroups",
                        kind == BodyKind::Sbf ? ProgressStart::WhereItWas : ProgressStart::AtZero);
    const std::string tempPath = NewTemporaryPath(JoinPath(folders.binaryDir, ScratchFileName));
    BodyResult result = kind == BodyKind::Superfile
                            ? ReadSuperfileBody(flash, table, name, tempPath)
                            : ReadSbfBody(flash, table, name, tempPath);
    flash.Close();
    if (!result.refused && result.pieces < table.count) {
        Refuse(name + ": its body holds " + std::to_string(result.pieces) +
                   " pieces but its header lists " + std::to_string(table.count) +
                   ". The file was not decompiled.",
               result);
    }
    if (result.refused) {
        // A refused file leaves no piece behind that could pass for its own.
        for (const std::string& piece : result.written)
            DeleteFileQuietly(piece);
        return Outcome::Refusal(result.refusal);
    }
    Outcome outcome;
    // A damaged superfile is decompiled, but never silently.
    if (result.badChecksums > 0)
        outcome.warning =
            name + ": " + std::to_string(result.badChecksums) +
            (result.badChecksums == 1 ? " S-record line has" : " S-record lines have") +
            " a wrong checksum.";
    return outcome;
}

} // namespace

Outcome ReadSuperfile(const ImageFolders& image) {
    return ReadHeaderAndBody(image, BodyKind::Superfile);
}

Outcome ReadSbf(const ImageFolders& image) { return ReadHeaderAndBody(image, BodyKind::Sbf); }

void ReadRawImage(const ImageFolders& folders) {
    BinaryFile flash = BinaryFile::OpenRead(folders.flashPath);
    AtomicOutput output(JoinPath(folders.binaryDir, CodeGroupFileName(DrmCodeGroup)));
    BinaryFile copy = output.Create();
    CopyFileRange(flash, 0, 0, copy, false);
    copy.Close();
    flash.Close();
    output.Commit();
}

} // namespace zantrel
