#include "window/layout.h"

#include <algorithm>
#include <limits>

namespace vorq {

namespace {

int64_t Width(const WinRect& r) { return int64_t{r.right} - r.left; }
int64_t Height(const WinRect& r) { return int64_t{r.bottom} - r.top; }

int32_t Clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

// One side: the work area's extent when that is smaller than wanted, at least 1.
int64_t FitSide(int64_t wanted, int64_t available) { return std::max<int64_t>(1, std::min(wanted, available)); }

// The start edge: kept when the side fits, pulled back so the far edge ends at
// the work area's far edge, and never before the work area's start.
int64_t FitEdge(int64_t current, int64_t size, int64_t workStart, int64_t workEnd) {
    return std::min(workEnd - size, std::max(current, workStart));
}

}  // namespace

int32_t ScaleForDpi(int32_t value, uint32_t dpi) {
    if (dpi == 0) dpi = 96;
    // Rounded to nearest like MulDiv.
    return Clamp32((int64_t{value} * dpi + 48) / 96);
}

WinSize WantedWindowSize(uint32_t dpi, bool capture) {
    return {ScaleForDpi(capture ? 1500 : 1400, dpi), ScaleForDpi(capture ? 1000 : 900, dpi)};
}

WinSize InitialWindowSize(uint32_t dpi, bool capture, const WinRect& work) {
    const WinSize wanted = WantedWindowSize(dpi, capture);
    return {Clamp32(std::min<int64_t>(Width(work), wanted.width)), Clamp32(std::min<int64_t>(Height(work), wanted.height))};
}

WinRect FitIntoWorkArea(const WinRect& current, WinSize wanted, const WinRect& work) {
    const int64_t w = FitSide(wanted.width, Width(work));
    const int64_t h = FitSide(wanted.height, Height(work));
    const int64_t x = FitEdge(current.left, w, work.left, work.right);
    const int64_t y = FitEdge(current.top, h, work.top, work.bottom);
    return {Clamp32(x), Clamp32(y), Clamp32(x + w), Clamp32(y + h)};
}

WinSize MinTrackSize(uint32_t dpi, const WinRect& work) {
    const int64_t w = ScaleForDpi(960, dpi);
    const int64_t h = ScaleForDpi(620, dpi);
    return {Clamp32(std::min(w, Width(work))), Clamp32(std::min(h, Height(work)))};
}

WinRect FitSuggestedRect(const WinRect& suggested, const WinRect& work) {
    const WinSize wanted{Clamp32(Width(suggested)), Clamp32(Height(suggested))};
    return FitIntoWorkArea(suggested, wanted, work);
}

}  // namespace vorq
