#include "cli/compareprint.h"

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/unicode.h"

#include "cli/consoleui.h"

namespace zantrel {

namespace {

using Json = nlohmann::ordered_json;

std::string Num(std::int64_t value) { return std::to_string(value); }

const char* KindName(DrmItem::Kind kind) {
    switch (kind) {
    case DrmItem::Kind::Picture:
        return "picture";
    case DrmItem::Kind::GifIcon:
        return "gif";
    case DrmItem::Kind::BmpIcon:
        return "bmp";
    }
    return "";
}

struct ChangeNames {
    const char* json;
    const char* text;
};
ChangeNames NamesOf(ItemChange change) {
    switch (change) {
    case ItemChange::OnlyInA:
        return {"onlyInA", "only in A"};
    case ItemChange::OnlyInB:
        return {"onlyInB", "only in B"};
    case ItemChange::Kind:
        return {"kind", "kind differs"};
    case ItemChange::Size:
        return {"size", "size differs"};
    case ItemChange::SlotSize:
        return {"slotSize", "slot size differs"};
    case ItemChange::Pixels:
        return {"pixels", "pixels differ"};
    case ItemChange::Bytes:
        return {"bytes", "bytes differ"};
    }
    return {"", ""};
}

// "picture 176x220 in a slot of 77446 bytes", "gif icon of 512 bytes".
std::string ItemText(const DrmItem& item) {
    if (item.kind == DrmItem::Kind::Picture)
        return "picture " + Num(item.width) + "x" + Num(item.height) + " in a slot of " +
               Num(item.size) + " bytes";
    return std::string(KindName(item.kind)) + " icon of " + Num(item.size) + " bytes";
}

bool SameFacts(const DrmItem& a, const DrmItem& b) {
    return a.kind == b.kind && a.width == b.width && a.height == b.height && a.size == b.size;
}

std::string ItemLine(const ItemDifference& item) {
    std::string line = "  " + Num(item.number) + ": ";
    for (std::size_t i = 0; i < item.changes.size(); ++i)
        line += (i ? ", " : "") + std::string(NamesOf(item.changes[i]).text);
    if (!item.a || !item.b)
        return line + " (" + ItemText(item.a ? *item.a : *item.b) + ")";
    if (SameFacts(*item.a, *item.b))
        return line + " (" + ItemText(*item.a) + ")";
    return line + " (A: " + ItemText(*item.a) + "; B: " + ItemText(*item.b) + ")";
}

// How two regions differ, after "differs": "in 3 bytes, the first at
// offset 12", "in size (A: 10 bytes, B: 12 bytes)", or both.
std::string RegionDetail(const RegionComparison& region) {
    std::string detail;
    if (region.sizeA != region.sizeB)
        detail = "in size (A: " + Num(region.sizeA) + " bytes, B: " + Num(region.sizeB) + " bytes)";
    if (region.bytes.count > 0)
        detail += (detail.empty() ? "in " : " and in ") + Num(region.bytes.count) +
                  (region.bytes.count == 1 ? " byte" : " bytes") +
                  (region.sizeA != region.sizeB ? " of the shorter's" : "") +
                  ", the first at offset " + Num(region.bytes.first);
    return detail;
}

std::string RegionLine(const RegionComparison& region) {
    return region.Same() ? "same" : "differs " + RegionDetail(region);
}

std::string LayoutName(bool extended) { return extended ? "extended" : "basic"; }

std::string Counts(long pictures, long icons) {
    return Num(pictures + icons) + " (" + Num(pictures) +
           (pictures == 1 ? " picture, " : " pictures, ") + Num(icons) +
           (icons == 1 ? " icon)" : " icons)");
}

// The code groups a file carries, "RAMDLD, CG1, CG15".
std::string PieceList(const FlashInfo& info) {
    std::string list;
    for (const CodeGroupInfo& piece : info.codeGroups) {
        std::string name = piece.name;
        if (name.ends_with(".bin"))
            name.resize(name.size() - 4);
        list += (list.empty() ? "" : ", ") + name;
    }
    return list;
}

std::vector<std::string> PieceNames(const FlashInfo& info) {
    std::vector<std::string> names;
    for (const CodeGroupInfo& piece : info.codeGroups)
        names.push_back(piece.name);
    return names;
}

// Why the flash-level parts were not compared: the side that has none.
std::string NotCompared(const FlashComparison& c) {
    const FlashInfo& without = c.a.hasHeader ? c.b : c.a;
    return std::string("not compared (") + (c.a.hasHeader ? "B" : "A") + " is a " + without.kind +
           ")";
}

Json RegionJson(const RegionComparison& region) {
    return {{"same", region.Same()},
            {"sizeA", region.sizeA},
            {"sizeB", region.sizeB},
            {"differingBytes", region.bytes.count},
            {"firstDifference", region.bytes.first < 0 ? Json(nullptr) : Json(region.bytes.first)}};
}

Json ItemJson(const std::optional<DrmItem>& item) {
    if (!item)
        return nullptr;
    Json json = {{"kind", KindName(item->kind)}};
    if (item->kind == DrmItem::Kind::Picture) {
        json["width"] = item->width;
        json["height"] = item->height;
        json["slotSize"] = item->size;
    } else {
        json["size"] = item->size;
    }
    return json;
}

const char* RamdldMatchName(RamdldMatch match) {
    switch (match) {
    case RamdldMatch::Same:
        return "same";
    case RamdldMatch::SameButFill:
        return "sameButFill";
    case RamdldMatch::Differs:
        return "differs";
    }
    return "";
}

} // namespace

void PrintCompareText(std::FILE* out, const FlashComparison& c) {
    auto line = [&](const std::string& text) { std::fprintf(out, "%s\n", text.c_str()); };
    line("A: " + Printable(c.a.file) + " (" + c.a.kind + ")");
    line("B: " + Printable(c.b.file) + " (" + c.b.kind + ")");
    if (!c.drm)
        return;
    const DrmComparison& d = *c.drm;
    line(std::string("DRMs: ") + (d.Equal() ? "equal" : "differ"));
    line("Layout: " + (d.extendedA == d.extendedB ? LayoutName(d.extendedA) + " in both"
                                                  : LayoutName(d.extendedA) + " in A, " +
                                                        LayoutName(d.extendedB) + " in B"));
    line("Items: " + Counts(d.picturesA, d.iconsA) + " in A, " + Counts(d.picturesB, d.iconsB) +
         " in B");
    line("Items that differ: " +
         (d.items.empty() ? std::string("none") : Num(static_cast<std::int64_t>(d.items.size()))));
    for (const ItemDifference& item : d.items)
        line(ItemLine(item));
    if (!d.hiddenOnly.empty()) {
        std::string numbers;
        for (long number : d.hiddenOnly)
            numbers += (numbers.empty() ? "" : ", ") + Num(number);
        line("Pictures alike on the phone whose bytes differ where it shows nothing: " + numbers);
    }
    line("Head: " + RegionLine(d.head));
    line(std::string("Trail pointers: ") + (d.trailPointersSame ? "same" : "differ"));
    line("Trail: " + RegionLine(d.trail));

    if (!c.header) {
        line("RAMDLD: " + NotCompared(c));
        line("Header: " + NotCompared(c));
        line("Code groups: " + NotCompared(c));
        return;
    }
    if (!c.ramdld)
        line("RAMDLD: not compared (a file carries none)");
    else if (c.ramdld->match == RamdldMatch::Same)
        line("RAMDLD: same");
    else if (c.ramdld->match == RamdldMatch::SameButFill)
        line("RAMDLD: differs only in the bytes Save As fills (256 to 414)");
    else
        line("RAMDLD: differs " + RegionDetail(c.ramdld->bytes));

    const HeaderComparison& h = *c.header;
    if (h.Same())
        line("Header: same");
    else if (h.rest.Same())
        line("Header: differs only in fields Save As writes");
    else
        line("Header: differs outside the fields Save As writes, " + RegionDetail(h.rest));
    for (const HeaderField& field : h.written) {
        if (field.same)
            continue;
        switch (field.value) {
        case HeaderField::Value::None:
            line("  " + field.name + ": differs");
            break;
        case HeaderField::Value::Number:
            line("  " + field.name + ": " + field.a + " in A, " + field.b + " in B");
            break;
        case HeaderField::Value::Text:
            line("  " + field.name + ": \"" + Printable(field.a) + "\" in A, \"" +
                 Printable(field.b) + "\" in B");
            break;
        }
    }
    const std::string piecesA = PieceList(c.a);
    const std::string piecesB = PieceList(c.b);
    line("Code groups: " + (piecesA == piecesB
                                ? "same (" + piecesA + ")"
                                : "A carries " + piecesA + "; B carries " + piecesB));
}

void PrintCompareJson(std::FILE* out, const FlashComparison& c) {
    Json report = {{"a", {{"file", c.a.file}, {"kind", c.a.kind}}},
                   {"b", {{"file", c.b.file}, {"kind", c.b.kind}}},
                   {"equal", c.Equal()}};
    if (c.drm) {
        const DrmComparison& d = *c.drm;
        Json items = Json::array();
        for (const ItemDifference& item : d.items) {
            Json changes = Json::array();
            for (ItemChange change : item.changes)
                changes.push_back(NamesOf(change).json);
            items.push_back({{"number", item.number},
                             {"changes", std::move(changes)},
                             {"a", ItemJson(item.a)},
                             {"b", ItemJson(item.b)}});
        }
        report["drm"] = {
            {"layout", {{"a", LayoutName(d.extendedA)}, {"b", LayoutName(d.extendedB)}}},
            {"pictures", {{"a", d.picturesA}, {"b", d.picturesB}}},
            {"icons", {{"a", d.iconsA}, {"b", d.iconsB}}},
            {"items", std::move(items)},
            {"hiddenOnly", d.hiddenOnly},
            {"head", RegionJson(d.head)},
            {"trailPointersSame", d.trailPointersSame},
            {"trail", RegionJson(d.trail)}};
    }
    if (c.ramdld) {
        Json ramdld = RegionJson(c.ramdld->bytes);
        ramdld["match"] = RamdldMatchName(c.ramdld->match);
        report["ramdld"] = std::move(ramdld);
    } else {
        report["ramdld"] = nullptr;
    }
    if (c.header) {
        Json fields = Json::array();
        for (const HeaderField& field : c.header->written) {
            Json json = {{"name", field.name}, {"same", field.same}};
            if (!field.same && field.value != HeaderField::Value::None) {
                json["a"] = field.a;
                json["b"] = field.b;
            }
            fields.push_back(std::move(json));
        }
        report["header"] = {{"same", c.header->Same()},
                            {"written", std::move(fields)},
                            {"rest", RegionJson(c.header->rest)}};
    } else {
        report["header"] = nullptr;
    }
    report["codeGroups"] = {{"a", PieceNames(c.a)}, {"b", PieceNames(c.b)}};
    const std::string text = report.dump(-1, ' ', false, Json::error_handler_t::replace);
    std::fprintf(out, "%s\n", text.c_str());
}

} // namespace zantrel
