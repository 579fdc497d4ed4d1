#include "cli/infoprint.h"

#include <nlohmann/json.hpp>

#include "base/primitives.h"
#include "base/unicode.h"

namespace zantrel {

namespace {

std::string Hex32(std::int64_t value) { return "0x" + HexWord(static_cast<std::uint32_t>(value)); }

} // namespace

void PrintInfoText(std::FILE* out, const FlashInfo& r) {
    std::fprintf(out, "File: %s\n", Printable(r.file).c_str());
    std::fprintf(out, "Kind: %s\n", r.kind.c_str());
    if (r.hasHeader && r.headerBytes < r.wholeHeaderBytes)
        std::fprintf(out, "Header: incomplete (%lld of %d bytes)\n",
                     static_cast<long long>(r.headerBytes), static_cast<int>(r.wholeHeaderBytes));
    if (r.hasHeader) {
        std::fprintf(out, "Code groups: %zu\n", r.codeGroups.size());
        for (const auto& cg : r.codeGroups)
            std::fprintf(out, "  %-12s start %s  end %s  size %lld\n", cg.name.c_str(),
                         Hex32(cg.start).c_str(), Hex32(cg.end).c_str(),
                         static_cast<long long>(cg.size));
    }
    if (!r.drm) {
        std::fprintf(out, "DRM: none\n");
        return;
    }
    const DrmSummary& d = *r.drm;
    std::fprintf(out, "DRM: found\n");
    std::fprintf(out, "Layout: %s\n", d.extended ? "extended" : "basic");
    std::fprintf(out, "Prefix length: %d\n", d.header.prefixLength);
    std::fprintf(out, "Base address: %s\n", Hex32(d.header.baseAddress).c_str());
    std::fprintf(out, "Directory offset: %s\n", Hex32(d.header.directoryOffset).c_str());
    const std::size_t pictures = d.pictures.size();
    // Work files are numbered pictures first, then icons.
    std::fprintf(out, "Pictures: %zu\n", pictures);
    for (std::size_t j = 0; j < pictures; ++j)
        std::fprintf(out, "  %zu: %dx%d\n", j + 1, d.pictures[j].width, d.pictures[j].height);
    std::fprintf(out, "Icons: %zu\n", d.icons.size());
    for (std::size_t k = 0; k < d.icons.size(); ++k)
        std::fprintf(out, "  %zu: %s, %lld bytes\n", pictures + k + 1,
                     d.icons[k].bmp ? "bmp" : "gif", static_cast<long long>(d.icons[k].size));
}

void PrintInfoJson(std::FILE* out, const FlashInfo& r) {
    using Json = nlohmann::ordered_json;
    Json report = {{"file", r.file}, {"kind", r.kind}};
    if (r.hasHeader) {
        report["headerBytes"] = r.headerBytes;
        Json groups = Json::array();
        for (const auto& cg : r.codeGroups)
            groups.push_back(
                {{"name", cg.name}, {"start", cg.start}, {"end", cg.end}, {"size", cg.size}});
        report["codeGroups"] = std::move(groups);
    }
    if (r.drm) {
        const DrmSummary& d = *r.drm;
        Json drm = {{"layout", d.extended ? "extended" : "basic"},
                    {"prefixLength", d.header.prefixLength},
                    {"baseAddress", static_cast<std::uint32_t>(d.header.baseAddress)},
                    {"directoryOffset", d.header.directoryOffset}};
        Json pictures = Json::array();
        for (std::size_t j = 0; j < d.pictures.size(); ++j)
            pictures.push_back({{"number", j + 1},
                                {"width", d.pictures[j].width},
                                {"height", d.pictures[j].height}});
        Json icons = Json::array();
        for (std::size_t k = 0; k < d.icons.size(); ++k)
            icons.push_back({{"number", d.pictures.size() + k + 1},
                             {"kind", d.icons[k].bmp ? "bmp" : "gif"},
                             {"size", d.icons[k].size}});
        drm["pictures"] = std::move(pictures);
        drm["icons"] = std::move(icons);
        report["drm"] = std::move(drm);
    } else {
        report["drm"] = nullptr;
    }
    const std::string text =
        report.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::fprintf(out, "%s\n", text.c_str());
}

} // namespace zantrel
