#include "largest.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "base/fileio.h"

#include "tools/drmbuilder.h"

namespace zantrel::bench {

using namespace zantrel::samples;

void PrepareLargest(const std::string& path) {
    DrmPlan plan;
    plan.extended = true;
    plan.prefix = true;
    plan.tag = TagVariant::At464;
    // One picture in eight a full screen, the rest the size of a menu's art.
    for (int k = 0; k < Pictures; ++k) {
        const auto seed = static_cast<std::uint8_t>(k);
        plan.pictures.push_back(k % 8 == 0
                                    ? SamplePicture(176, 220, seed, true, 0)
                                    : SamplePicture(48 + k % 40, 40 + k % 24, seed, k % 2 == 0, 0));
    }
    for (int i = 0; i < Icons; ++i) {
        const auto seed = static_cast<std::uint8_t>(i);
        const int side = 8 + (i * 5) % 33;
        plan.icons.push_back(i % 3 == 2 ? BmpIcon(side + 1, side, seed)
                                        : GifIcon(side, side + 2, seed));
    }
    BinaryFile file = BinaryFile::Create(path);
    WriteDrmCodeGroup(plan, [&](std::span<const std::uint8_t> bytes) { file.Write(bytes); });
    file.Close();
}

double Seconds() {
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point started = Clock::now();
    static const double before = [] {
        const char* given = std::getenv("ZANTREL_BENCH_START");
        if (!given)
            return 0.0;
        const double now =
            std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                .count();
        return std::max(0.0, now - std::atof(given));
    }();
    return before + std::chrono::duration<double>(Clock::now() - started).count();
}

int WindowBenchMain(int argc, char** argv, const char* name, const std::function<int()>& run) {
    try {
        if (argc == 3 && std::strcmp(argv[1], "prepare") == 0) {
            PrepareLargest(argv[2]);
            return 0;
        }
        if (argc == 2 && std::strcmp(argv[1], "run") == 0)
            return run();
        std::fprintf(stderr, "usage: %s prepare FILE | run\n", name);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
        return 1;
    }
}

} // namespace zantrel::bench
