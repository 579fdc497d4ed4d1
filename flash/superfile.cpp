// Writing the superfile of Save As: image 1's header patched to list the
// RAMDLD and the compiled DRM code group, then both as S3 records. The output
// is read back and checked against its sources before it replaces anything.
#include "flash/superfile.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "base/fileio.h"
#include "base/paths.h"
#include "base/primitives.h"
#include "base/uiops.h"
#include "base/worktree.h"

#include "flash/flashformat.h"
#include "flash/srecord.h"

namespace zantrel {

namespace {

// Bytes per input block and the room their S3 text needs.
constexpr std::size_t InputBlockSize = 64 * 1024;
constexpr std::size_t MaxS3LineChars = 2 * S3DataBytes + 16;
constexpr std::size_t OutputBlockSize = InputBlockSize / S3DataBytes * MaxS3LineChars;
// The read-back reads blocks of several stdio buffers: a request that large
// goes mostly straight into its buffer, not through stdio's.
constexpr std::size_t ReadAheadSize = 4 * InputBlockSize;

std::array<std::uint8_t, TextFieldSize> TextField(std::string_view text) {
    std::array<std::uint8_t, TextFieldSize> field{};
    std::memcpy(field.data(), text.data(), std::min(text.size(), field.size()));
    return field;
}

// Writes one S3 line at out; returns its length. address advances by n.
std::size_t PutS3Line(char* out, const std::uint8_t* data, int n, std::uint32_t& address) {
    // Both digits of a byte in one 16-bit store.
    auto put = [](char* at, unsigned b) { std::memcpy(at, &HexPairWords[b & 0xFF], 2); };
    out[0] = 'S';
    out[1] = '3';
    unsigned sum = static_cast<unsigned>(n + 5);
    put(out + 2, sum);
    for (int i = 0; i < 4; ++i) {
        const unsigned b = (address >> (24 - 8 * i)) & 0xFF;
        put(out + 4 + 2 * i, b);
        sum += b;
    }
    char* at = out + 12;
    for (int i = 0; i < n; ++i, at += 2) {
        put(at, data[i]);
        sum += data[i];
    }
    put(at, 255 - (sum & 0xFF));
    at[2] = '\r';
    at[3] = '\n';
    address += static_cast<std::uint32_t>(n);
    return static_cast<std::size_t>(at + 4 - out);
}

// Writes the S3 lines of a whole piece, counting its bytes for the progress.
void WriteSection(BinaryFile& piece, std::uint32_t address, BinaryFile& out, double& counter,
                  ProgressMeter& progress) {
    std::vector<std::uint8_t> input(InputBlockSize);
    std::vector<char> text(OutputBlockSize);
    for (;;) {
        const std::size_t got = piece.Read(input);
        if (got == 0)
            return;
        std::size_t used = 0;
        for (std::size_t at = 0; at < got; at += S3DataBytes) {
            const int n = static_cast<int>(std::min<std::size_t>(S3DataBytes, got - at));
            used += PutS3Line(text.data() + used, input.data() + at, n, address);
            counter += n;
            progress.Update(counter);
        }
        out.Write(std::string_view(text.data(), used));
    }
}

// The superfile read back in large blocks, one line at a time.
class LineReader {
public:
    explicit LineReader(BinaryFile& file) : ahead_(file, ReadAheadSize + MaxS3LineChars) {}
    // The next line without its CR LF, and whether CR LF followed it; false at
    // the end of the file. A line runs at most MaxS3LineChars characters.
    bool Next(std::string_view& line, bool& crlf) {
        const std::size_t avail = ahead_.Ensure(MaxS3LineChars + 2);
        if (avail == 0)
            return false;
        const std::uint8_t* from = ahead_.Data();
        const std::size_t limit = std::min(avail, MaxS3LineChars + 1);
        // Lines end in CR LF; a lone LF is looked for only where no CR is.
        const auto* cr = static_cast<const std::uint8_t*>(std::memchr(from, '\r', limit));
        std::size_t end = cr ? static_cast<std::size_t>(cr - from) : limit;
        if (const void* lf = std::memchr(from, '\n', end))
            end = static_cast<std::size_t>(static_cast<const std::uint8_t*>(lf) - from);
        line = std::string_view(reinterpret_cast<const char*>(from), end);
        crlf = end + 1 < avail && from[end] == '\r' && from[end + 1] == '\n';
        // Past a lone CR or LF too; a line that fails is not read further.
        ahead_.Skip(crlf ? end + 2 : std::min(end + 1, avail));
        ++number_;
        return true;
    }
    long Number() const { return number_; }

private:
    ReadAhead ahead_;
    long number_ = 0;
};

// A section's source read in large blocks, summed as it is taken. The
// block buffer is the caller's, so that sections share one.
class SourceBlocks {
public:
    SourceBlocks(BinaryFile& file, std::vector<std::uint8_t>& buffer) : file_(file), buf_(buffer) {}
    // Up to n (at most S3DataBytes) next bytes; fewer only at the end of the file.
    std::size_t Take(std::size_t n, const std::uint8_t*& bytes) {
        if (len_ - pos_ < n)
            Fill();
        bytes = buf_.data() + pos_;
        const std::size_t got = std::min(n, len_ - pos_);
        std::uint32_t sum = 0; // a local: the compiler may keep it in a register
        for (std::size_t i = 0; i < got; ++i)
            sum += bytes[i];
        sum_ += sum;
        pos_ += got;
        return got;
    }
    bool AtEnd() {
        if (pos_ == len_)
            Fill();
        return pos_ == len_;
    }
    // Sum of the bytes taken, modulo 65536.
    std::uint32_t Sum() const { return sum_ & 0xFFFFu; }

private:
    void Fill() {
        std::memmove(buf_.data(), buf_.data() + pos_, len_ - pos_);
        len_ -= pos_;
        pos_ = 0;
        // A short read is the end of the file: nothing is asked for after it.
        if (!eof_) {
            const std::size_t want = buf_.size() - len_;
            const std::size_t got = file_.Read(std::span(buf_.data() + len_, want));
            eof_ = got < want;
            len_ += got;
        }
    }
    BinaryFile& file_;
    std::vector<std::uint8_t>& buf_;
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    bool eof_ = false;
    std::uint32_t sum_ = 0;
};

// Checks one section: its start line, S3 lines whose data are the source's
// bytes at contiguous addresses from start, and its end line. Every line is
// decoded on its own and its bytes compared with the source's.
std::optional<std::string> VerifySection(LineReader& lines, SourceBlocks& source,
                                         std::uint32_t start, bool last,
                                         const std::string& sourceName) {
    std::string_view line;
    bool crlf = false;
    auto at = [&] { return "line " + std::to_string(lines.Number()) + ": "; };
    if (!lines.Next(line, crlf) || line != SectionStartLine || !crlf)
        return at() + "the section of " + sourceName + " does not open with its start line";
    std::uint32_t address = start;
    std::uint8_t bytes[S3DataBytes + 6];
    for (;;) {
        if (!lines.Next(line, crlf))
            return "the file ends inside the section of " + sourceName;
        if (line.size() >= 2 && line[0] == 'S' && line[1] == '7')
            break;
        if (line.size() < 14 || line.size() % 2 != 0 || line[0] != 'S' || line[1] != '3' || !crlf ||
            (line.size() - 2) / 2 > sizeof bytes)
            return at() + "not an S3 line of the written form";
        // Every pair of the line is decoded, whatever its count says.
        const std::size_t k = (line.size() - 2) / 2;
        const int sum = DecodeSRecordPairs(line.data() + 2, k - 1, bytes, bytes + 5);
        if (sum < 0)
            return at() + "not an S3 line of the written form";
        const int n = static_cast<int>(bytes[0]) - 5;
        if (n < 1 || n > S3DataBytes || k != static_cast<std::size_t>(n) + 6)
            return at() + "its count does not match its length";
        if ((sum & 0xFF) != 0xFF)
            return at() + "wrong checksum";
        const std::uint32_t lineAddress = LoadBE32(&bytes[1]);
        if (lineAddress != address)
            return at() + "address " + HexWord(lineAddress) + ", expected " + HexWord(address);
        const std::uint8_t* expected = nullptr;
        const std::size_t got = source.Take(static_cast<std::size_t>(n), expected);
        if (got != static_cast<std::size_t>(n) || std::memcmp(expected, bytes + 5, got) != 0)
            return at() + "its data differ from " + sourceName;
        address += static_cast<std::uint32_t>(n);
    }
    if (!source.AtEnd())
        return at() + "the section of " + sourceName + " ends before all its bytes";
    if (line != SectionEndLine || crlf == last)
        return at() + "the section of " + sourceName + " does not close with its end line";
    if (last && lines.Next(line, crlf))
        return "line " + std::to_string(lines.Number()) + ": text after the last section";
    return std::nullopt;
}

// The header's own fields; its two checksums are checked against the bytes
// the sections compared (VerifySuperfile), so each source is read only once.
std::optional<std::string> VerifyHeader(const std::uint8_t* written, BinaryFile& header,
                                        BinaryFile& compiled) {
    std::vector<std::uint8_t> source(FlashHeaderSize);
    if (header.Read(source) != source.size() ||
        std::memcmp(source.data(), written, source.size()) != 0)
        return std::string("its flash header differs from header.bin");
    if (written[PieceCountOffset] != 2)
        return std::string("the piece count is not 2");

    std::uint8_t first[16] = {};
    compiled.Seek(0);
    compiled.Read(first);
    const std::uint8_t* slot = written + DrmSlotOffset;
    const std::uint32_t start = LoadLE32(slot);
    if (start == 0)
        return std::string("the DRM slot is empty");
    if (LoadLE32(slot + 4) != start + static_cast<std::uint32_t>(compiled.Size()) - 1u)
        return std::string("the DRM end address does not match the code group's size");
    if (std::memcmp(slot + 8, first, 16) != 0)
        return std::string("the DRM slot's first 16 bytes differ from the code group's");
    for (std::int64_t i = ClearedFrom; i < ClearedTo; ++i)
        if ((i < DrmSlotOffset || i >= DrmSlotOffset + SlotSize) && written[i] != 0)
            return std::string("a code-group slot other than the DRM's is not empty");
    if (std::memcmp(written + BannerFieldOffset, TextField(BannerText).data(), TextFieldSize) != 0)
        return std::string("the banner field is wrong");
    return std::nullopt;
}

} // namespace

std::string FormatBuildDate(const std::tm& local) {
    static constexpr const char* Days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* Months[] = {"January",   "February", "March",    "April",
                                             "May",       "June",     "July",     "August",
                                             "September", "October",  "November", "December"};
    auto two = [](int v) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%02d", v);
        return std::string(digits);
    };
    return std::string(Days[((local.tm_wday % 7) + 7) % 7]) + " " +
           Months[((local.tm_mon % 12) + 12) % 12] + " " + two(local.tm_mday) + " " +
           two(local.tm_hour) + ":" + two(local.tm_min) + ":" + two(local.tm_sec) + " " +
           std::to_string(local.tm_year + 1900);
}

std::string BuildS3Line(const std::uint8_t* data, int n, std::uint32_t& address) {
    char text[MaxS3LineChars];
    n = std::clamp(n, 0, S3DataBytes);
    return std::string(text, PutS3Line(text, data, n, address));
}

void PrepareRamdld(const ImageFolders& image) {
    BinaryFile ramdld = BinaryFile::OpenUpdate(JoinPath(image.binaryDir, RamdldFileName));
    // The two kept words are read and written back inside the fill, so the
    // region goes out in one write: a save ended at any point leaves the file
    // as it was or prepared, and the kept words are never lost.
    std::vector<std::uint8_t> fill(RamdldFillLength, 0xFF);
    std::array<std::uint8_t, RamdldKeptEnd - RamdldKeptOffset> kept{};
    // A file that ends before them gets zeros there, as writing past its end did.
    ramdld.Seek(RamdldKeptOffset);
    ramdld.Read(kept);
    std::copy(kept.begin(), kept.end(), fill.begin() + (RamdldKeptOffset - RamdldFillOffset));
    ramdld.Seek(RamdldFillOffset);
    ramdld.Write(fill);
    ramdld.Close();
}

void PrepareHeader(const ImageFolders& image, const std::string& compiledPath) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    const auto dateField = TextField(FormatBuildDate(local));
    const auto bannerField = TextField(BannerText);

    // The header (a fixed size, checked before) is patched in memory and
    // renamed into place whole: a save ended at any point leaves header.bin
    // as it was or prepared, never between.
    const std::string headerPath = JoinPath(image.binaryDir, HeaderFileName);
    std::vector<std::uint8_t> header(FlashHeaderSize);
    {
        BinaryFile in = BinaryFile::OpenRead(headerPath);
        if (in.Read(header) != header.size())
            throw IoError(IoReadPastEnd, headerPath);
    }

    BinaryFile compiled = BinaryFile::OpenRead(compiledPath);
    // The first 16 bytes, then the sum of the rest: one pass over the file.
    // A code group shorter than 16 bytes leaves zeros, which add nothing.
    std::uint8_t first[16] = {};
    compiled.Read(first);
    std::uint32_t drmSum = static_cast<std::uint32_t>(Checksum16(compiled));
    for (const std::uint8_t b : first)
        drmSum += b;
    drmSum &= 0xFFFFu;
    const auto drmSize = static_cast<std::uint32_t>(compiled.Size());
    compiled.Close();

    header[PieceCountOffset] = 2;
    const std::uint32_t start = LoadLE32(header.data() + DrmSlotOffset);
    // Cleared round the DRM slot, whose start address is rewritten below.
    std::fill(header.begin() + ClearedFrom, header.begin() + ClearedTo, std::uint8_t{0});
    std::uint8_t* slot = header.data() + DrmSlotOffset;
    StoreLE32(slot, start);
    StoreLE32(slot + 4, start + drmSize - 1u);
    std::memcpy(slot + 8, first, 16);
    StoreLE32(slot + 24, drmSum);

    BinaryFile ramdld = BinaryFile::OpenRead(JoinPath(image.binaryDir, RamdldFileName));
    StoreLE32(header.data() + RamdldChecksumOffset, static_cast<std::uint32_t>(Checksum16(ramdld)));
    ramdld.Close();

    std::copy(dateField.begin(), dateField.end(), header.begin() + DateFieldOffset);
    std::copy(bannerField.begin(), bannerField.end(), header.begin() + BannerFieldOffset);

    AtomicOutput output(headerPath);
    BinaryFile out = output.Create();
    out.Write(header);
    out.Close();
    output.Commit();
}

std::optional<std::string> VerifySuperfile(const std::string& superfilePath,
                                           const std::string& headerPath,
                                           const std::string& ramdldPath,
                                           const std::string& compiledPath) {
    BinaryFile file = BinaryFile::OpenRead(superfilePath);
    std::vector<std::uint8_t> written(FlashHeaderSize);
    if (file.Read(written) != written.size())
        return std::string("the file is shorter than a flash header");
    BinaryFile header = BinaryFile::OpenRead(headerPath);
    BinaryFile compiled = BinaryFile::OpenRead(compiledPath);
    if (auto wrong = VerifyHeader(written.data(), header, compiled))
        return wrong;
    const auto ramdldStart = LoadLE32(written.data() + RamdldEntryOffset);
    const auto drmStart = LoadLE32(written.data() + DrmSlotOffset);

    LineReader lines(file);
    BinaryFile ramdld = BinaryFile::OpenRead(ramdldPath);
    std::vector<std::uint8_t> sourceBuffer(ReadAheadSize);
    SourceBlocks ramdldBytes(ramdld, sourceBuffer);
    if (auto wrong = VerifySection(lines, ramdldBytes, ramdldStart, false, "the RAMDLD"))
        return wrong;
    // The sections matched their sources byte for byte, and took all of them.
    if (LoadLE32(written.data() + RamdldChecksumOffset) != ramdldBytes.Sum())
        return std::string("the RAMDLD checksum in the header is wrong");
    compiled.Seek(0);
    SourceBlocks compiledBytes(compiled, sourceBuffer);
    if (auto wrong = VerifySection(lines, compiledBytes, drmStart, true, "the DRM code group"))
        return wrong;
    if (LoadLE32(written.data() + DrmSlotOffset + 24) != compiledBytes.Sum())
        return std::string("the DRM checksum in the header is wrong");
    return std::nullopt;
}

std::optional<std::string> CheckHeaderFile(const ImageFolders& image) {
    // The header is patched in place and copied whole: one of another size
    // (cut or padded by hand) is refused before anything is touched. A
    // missing one fails where it is opened.
    const std::int64_t headerSize = FileSizeOf(JoinPath(image.binaryDir, HeaderFileName));
    if (headerSize >= 0 && headerSize != FlashHeaderSize)
        return "header.bin is " + std::to_string(headerSize) + " bytes long; a flash header is " +
               std::to_string(FlashHeaderSize) + " bytes.";
    return std::nullopt;
}

std::optional<std::int64_t> ListedRamdldLength(const ImageFolders& image) {
    auto header = BinaryFile::TryOpenRead(JoinPath(image.binaryDir, HeaderFileName));
    if (!header || header->Size() < RamdldEntryOffset + 8)
        return std::nullopt;
    const std::uint32_t start = static_cast<std::uint32_t>(ReadLE32At(*header, RamdldEntryOffset));
    const std::uint32_t end =
        static_cast<std::uint32_t>(ReadLE32At(*header, RamdldEntryOffset + 4));
    return static_cast<std::int64_t>(end) - start + 1;
}

std::optional<std::string> CheckRamdldFile(const ImageFolders& image) {
    // The file is not for editing: one of another length was changed by hand
    // and would go into the superfile under addresses that do not describe it.
    const std::int64_t size = FileSizeOf(JoinPath(image.binaryDir, RamdldFileName));
    if (size < 0)
        return std::nullopt; // missing: that fails where it is opened
    const bool recorded = image.ramdldLength >= 0;
    const std::optional<std::int64_t> expected =
        recorded ? std::optional<std::int64_t>(image.ramdldLength) : ListedRamdldLength(image);
    if (!expected)
        return std::nullopt;
    constexpr std::int64_t FilledLength = RamdldFillOffset + RamdldFillLength;
    if (size == *expected || size == std::max(*expected, FilledLength))
        return std::nullopt;
    if (recorded)
        return "RAMDLD.bin is " + std::to_string(size) + " bytes long, but Open wrote " +
               std::to_string(*expected) + " bytes.";
    return "RAMDLD.bin is " + std::to_string(size) + " bytes long, but header.bin lists " +
           (*expected > 0 ? std::to_string(*expected) + " bytes" : std::string("no RAMDLD")) +
           " for it.";
}

Outcome WriteSuperfile(const ImageFolders& image, const std::string& compiledPath,
                       AtomicOutput& output) {
    const std::string savePath = output.Target();
    // Guards: Save As's check has said these already, unless the files changed since.
    if (auto bad = CheckHeaderFile(image))
        return Outcome::Refusal(*bad + " Nothing was saved.");
    if (auto bad = CheckRamdldFile(image))
        return Outcome::Refusal(*bad + " Nothing was saved.");

    ProgressScope scope("Compiling shx");
    PrepareRamdld(image);
    PrepareHeader(image, compiledPath);

    const std::string headerPath = JoinPath(image.binaryDir, HeaderFileName);
    const std::string ramdldPath = JoinPath(image.binaryDir, RamdldFileName);
    {
        BinaryFile out = output.Create();
        BinaryFile header = BinaryFile::OpenRead(headerPath);
        CopyFileRange(header, 0, 0, out, false);
        const auto ramdldAddress =
            static_cast<std::uint32_t>(ReadLE32At(header, RamdldEntryOffset));
        const auto drmAddress = static_cast<std::uint32_t>(ReadLE32At(header, DrmSlotOffset));
        header.Close();

        BinaryFile ramdld = BinaryFile::OpenRead(ramdldPath);
        BinaryFile image = BinaryFile::OpenRead(compiledPath);
        ProgressMeter progress(static_cast<double>(image.Size() + ramdld.Size()));
        double counter = FlashHeaderSize;
        out.Write(SectionStartLine);
        out.Write("\r\n");
        WriteSection(ramdld, ramdldAddress, out, counter, progress);
        ramdld.Close();
        out.Write(SectionEndLine);
        out.Write("\r\n");
        out.Write(SectionStartLine);
        out.Write("\r\n");
        WriteSection(image, drmAddress, out, counter, progress);
        image.Close();
        out.Write(SectionEndLine); // the file ends without a line end
        out.Close();
    }

    if (auto wrong = VerifySuperfile(output.TempPath(), headerPath, ramdldPath, compiledPath))
        return Outcome::Refusal("The superfile written for " + FileNamePart(savePath) +
                                " does not read back as it was built (" + *wrong +
                                "). Nothing was saved.");
    return {};
}

} // namespace zantrel
