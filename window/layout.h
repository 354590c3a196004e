// Window sizing arithmetic, free of the platform so it can be tested on the
// host: the wanted size for a DPI, fitting a rectangle into a monitor's work
// area, and the minimum tracking size.
#pragma once

#include <cstdint>

namespace vorq {

struct WinRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const WinRect&) const = default;
};

struct WinSize {
    int32_t width = 0, height = 0;
    bool operator==(const WinSize&) const = default;
};

// MulDiv(value, dpi, 96) for non-negative values; a DPI of 0 counts as 96.
int32_t ScaleForDpi(int32_t value, uint32_t dpi);

// 1400 by 900 at 96 DPI, 1500 by 1000 in capture mode, scaled to `dpi`.
WinSize WantedWindowSize(uint32_t dpi, bool capture);

// The first window size: the wanted size, each side capped by the work area.
WinSize InitialWindowSize(uint32_t dpi, bool capture, const WinRect& work);

// Each side is the work area's when that is smaller than wanted (at least 1);
// the window keeps its left and top edges where it can and is moved inside
// the work area where it cannot.
WinRect FitIntoWorkArea(const WinRect& current, WinSize wanted, const WinRect& work);

// 960 by 620 at 96 DPI, each side reduced to the work area's when smaller.
WinSize MinTrackSize(uint32_t dpi, const WinRect& work);

// A DPI change's suggested rectangle, kept inside the work area.
WinRect FitSuggestedRect(const WinRect& suggested, const WinRect& work);

}  // namespace vorq
