#include "shell/windowplace.h"

#include <algorithm>

namespace zantrel {

WindowPlace KeepOnScreen(WindowPlace place, const std::vector<ScreenRect>& screens, int minWidth,
                         int minHeight) {
    if (screens.empty())
        return place;
    ScreenRect& r = place.normal;
    r.width = std::max(r.width, minWidth);
    r.height = std::max(r.height, minHeight);
    // 64-bit: a stored place may be far off any screen.
    auto overlap = [&r](const ScreenRect& s) {
        const long long w = std::min<long long>(r.x + 0LL + r.width, s.x + 0LL + s.width) -
                            std::max<long long>(r.x, s.x);
        const long long h = std::min<long long>(r.y + 0LL + r.height, s.y + 0LL + s.height) -
                            std::max<long long>(r.y, s.y);
        return w > 0 && h > 0 ? w * h : 0;
    };
    const ScreenRect* best = &screens.front();
    for (const ScreenRect& s : screens)
        if (overlap(s) > overlap(*best))
            best = &s;
    const ScreenRect& s = *best;
    if (overlap(s) == static_cast<long long>(r.width) * r.height)
        return place;
    r.width = std::max(std::min(r.width, s.width), minWidth);
    r.height = std::max(std::min(r.height, s.height), minHeight);
    r.x = static_cast<int>(
        std::clamp<long long>(r.x, s.x, std::max<long long>(s.x, s.x + 0LL + s.width - r.width)));
    r.y = static_cast<int>(
        std::clamp<long long>(r.y, s.y, std::max<long long>(s.y, s.y + 0LL + s.height - r.height)));
    return place;
}

} // namespace zantrel
