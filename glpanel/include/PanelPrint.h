// Printing geometry and the extension-list match of the OpenGL panel, as
// pure functions. The panel's operations that use them (printing, saving
// the image, display settings, the extension query) are members of
// TOpenGLVexPanel.
#pragma once

#include "OpenGLVexPanel.h"

#include <cstdint>
#include <string_view>

namespace vistrel {

// What the placement needs to know of the printer, in printer pixels:
// pixels per inch across and down, and the printable width and height.
struct TPrintDevice {
    int ppiX = 0;
    int ppiY = 0;
    int horzRes = 0;
    int vertRes = 0;
};

// The printed picture spans (left, top) to (right, bottom), in printer
// pixels from the printable area's upper-left corner.
struct TPrintPlacement {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const TPrintPlacement&, const TPrintPlacement&) = default;
};

// Margins: trunc(0.18 inch) in printer pixels.
int PrintMargin(int pixelsPerInch);

// Placement of a bmpW x bmpH image. left and top are the margins; the
// lower-right corner depends on scale:
//   pglPrintToFit: with availW = horzRes - 2 * left and availH = vertRes -
//     2 * top, a landscape area (availW > availH) gives
//     ((availH div bmpH) * bmpW, availH), otherwise
//     (availW, (availW div bmpW) * bmpH); an image of no width or height
//     fits 0 times;
//   pglProportional: pixelsPerInch screen pixels make one inch:
//     (trunc(bmpW / pixelsPerInch * ppiX) + left,
//      trunc(bmpH / pixelsPerInch * ppiY) + top); a pixelsPerInch of 0 or
//     less is first replaced by 96, in the caller's variable too;
//   pglNone and anything else: one printer pixel per image pixel,
//     (bmpW + left, bmpH + top).
TPrintPlacement PrintPlacement(TOpenGLPrintScale scale, std::int32_t& pixelsPerInch, int bmpW, int bmpH,
                               const TPrintDevice& device);

// True when name equals one whole entry of a space-separated extension
// list (exact and case-sensitive). A null list holds nothing.
bool ExtensionListContains(const char* list, std::string_view name);

}  // namespace vistrel
