#include "flash/flashcompare.h"

#include <algorithm>
#include <array>

#include "base/primitives.h"

#include "flash/flashformat.h"
#include "flash/superfile.h"

namespace zantrel {

namespace {

struct WrittenField {
    const char* name;
    std::int64_t offset;
    std::int64_t size;
    HeaderField::Value value;
};

// The header's fields Save As writes, in the header's order.
constexpr WrittenField WrittenFields[] = {
    {"date", DateFieldOffset, TextFieldSize, HeaderField::Value::Text},
    {"banner", BannerFieldOffset, TextFieldSize, HeaderField::Value::Text},
    {"piece count", PieceCountOffset, 4, HeaderField::Value::Number},
    {"RAMDLD checksum", RamdldChecksumOffset, 4, HeaderField::Value::None},
    {"bytes 992 to 1003", ClearedFrom, FirstSlotOffset - ClearedFrom, HeaderField::Value::None},
    {"code-group slots but the DRM's", FirstSlotOffset, ClearedTo - FirstSlotOffset,
     HeaderField::Value::None},
    {"DRM slot", DrmSlotOffset, SlotSize, HeaderField::Value::None},
};

// The field's bytes, zeros past the file's end.
std::vector<std::uint8_t> FieldBytes(BinaryFile& header, std::int64_t offset, std::int64_t size) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (offset < header.Size()) {
        header.Seek(offset);
        header.Read(bytes);
    }
    return bytes;
}

std::string Shown(const std::vector<std::uint8_t>& bytes, HeaderField::Value value) {
    if (value == HeaderField::Value::Text)
        return std::string(bytes.begin(), std::find(bytes.begin(), bytes.end(), std::uint8_t{0}));
    if (value == HeaderField::Value::Number)
        return std::to_string(LoadLE32(bytes.data()));
    return {};
}

} // namespace

bool HeaderComparison::Same() const {
    return rest.Same() &&
           std::all_of(written.begin(), written.end(), [](const HeaderField& f) { return f.same; });
}

HeaderComparison CompareHeaders(BinaryFile& a, BinaryFile& b) {
    HeaderComparison result;
    std::vector<ByteRange> skip;
    for (const WrittenField& field : WrittenFields) {
        const auto bytesA = FieldBytes(a, field.offset, field.size);
        const auto bytesB = FieldBytes(b, field.offset, field.size);
        HeaderField compared{field.name, field.value, bytesA == bytesB, {}, {}};
        // The slots but the DRM's: the DRM slot inside them is a field of its own.
        if (field.offset == FirstSlotOffset) {
            const auto drm = static_cast<std::size_t>(DrmSlotOffset - FirstSlotOffset);
            compared.same = std::equal(bytesA.begin(), bytesA.begin() + drm, bytesB.begin()) &&
                            std::equal(bytesA.begin() + drm + SlotSize, bytesA.end(),
                                       bytesB.begin() + drm + SlotSize);
        }
        if (!compared.same) {
            compared.a = Shown(bytesA, field.value);
            compared.b = Shown(bytesB, field.value);
        }
        result.written.push_back(std::move(compared));
        skip.push_back({field.offset, field.offset + field.size});
    }
    // Both read as a whole header: one that is short differs in its size.
    result.rest.sizeA = a.Size();
    result.rest.sizeB = b.Size();
    result.rest.bytes = CountDifferences(a, 0, b, 0, FlashHeaderSize, skip);
    return result;
}

RamdldComparison CompareRamdlds(BinaryFile& a, BinaryFile& b) {
    RamdldComparison result;
    result.bytes = CompareRegions(a, 0, a.Size(), b, 0, b.Size());
    if (result.bytes.Same())
        return result;
    // Each as Save As leaves it: at least as long as the fill's end, the
    // fill's bytes 0xFF but for the kept words (zeros past a short file's
    // end, as the fill writes them).
    constexpr auto FillEnd = static_cast<std::int64_t>(RamdldFillOffset + RamdldFillLength);
    const std::int64_t filledA = std::max(a.Size(), FillEnd);
    const std::int64_t filledB = std::max(b.Size(), FillEnd);
    const ByteRange fill[] = {
        {static_cast<std::int64_t>(RamdldFillOffset), static_cast<std::int64_t>(RamdldKeptOffset)},
        {static_cast<std::int64_t>(RamdldKeptEnd), FillEnd}};
    result.match = filledA == filledB && CountDifferences(a, 0, b, 0, filledA, fill).count == 0
                       ? RamdldMatch::SameButFill
                       : RamdldMatch::Differs;
    return result;
}

} // namespace zantrel
