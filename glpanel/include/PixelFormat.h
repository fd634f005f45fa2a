// The panel's pixel-format vocabulary: the PFDFlags set, the Windows
// PIXELFORMATDESCRIPTOR layout built from the panel's properties and turned
// into a QSurfaceFormat (and back), the logical palette of colour-index
// formats and the frame rate of a paint. Pure functions (PixelFormat.cpp).
#pragma once

#include <QSurfaceFormat>
#include <QtGlobal>

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace vistrel {

// ---------------------------------------------------------------------------
// Enumerations (values in declaration order, starting at 0)

enum TPFDPixelTypes : std::uint8_t {
    f_PFD_TYPE_RGBA = 0,
    f_PFD_TYPE_COLORINDEX = 1,
};

enum TPFDFlags : std::uint8_t {
    f_PFD_DRAW_TO_WINDOW = 0,
    f_PFD_DRAW_TO_BITMAP = 1,
    f_PFD_SUPPORT_GDI = 2,
    f_PFD_SUPPORT_OPENGL = 3,
    f_PFD_GENERIC_ACCELERATED = 4,
    f_PFD_GENERIC_FORMAT = 5,
    f_PFD_NEED_PALETTE = 6,
    f_PFD_NEED_SYSTEM_PALETTE = 7,
    f_PFD_DOUBLEBUFFER = 8,
    f_PFD_STEREO = 9,
    f_PFD_SWAP_LAYER_BUFFERS = 10,
};
inline constexpr int TPFDFlagsCount = 11;

// A set over TPFDFlags: bit i stands for the member with value i (11 bits).
class TPFDFlagSet {
public:
    constexpr TPFDFlagSet() = default;
    constexpr TPFDFlagSet(std::initializer_list<TPFDFlags> members) {
        for (TPFDFlags m : members) Include(m);
    }
    static constexpr TPFDFlagSet FromBits(std::uint16_t bits) {
        TPFDFlagSet s;
        s.bits_ = static_cast<std::uint16_t>(bits & 0x7FF);
        return s;
    }
    constexpr std::uint16_t Bits() const { return bits_; }
    constexpr bool Contains(TPFDFlags m) const { return (bits_ >> m) & 1u; }
    constexpr bool Empty() const { return bits_ == 0; }
    constexpr TPFDFlagSet& Include(TPFDFlags m) {
        bits_ = static_cast<std::uint16_t>(bits_ | (1u << m));
        return *this;
    }
    constexpr TPFDFlagSet& Exclude(TPFDFlags m) {
        bits_ = static_cast<std::uint16_t>(bits_ & ~(1u << m));
        return *this;
    }
    friend constexpr bool operator==(TPFDFlagSet a, TPFDFlagSet b) { return a.bits_ == b.bits_; }

private:
    std::uint16_t bits_ = 0;
};

// ---------------------------------------------------------------------------
// Pixel format descriptor: the Windows PIXELFORMATDESCRIPTOR layout.

// Flag and type values of the descriptor, named as on Windows (in a
// namespace: the Windows headers define the PFD_ names as macros).
namespace PFD {
// dwFlags bits
inline constexpr std::uint32_t DOUBLEBUFFER = 0x00000001;
inline constexpr std::uint32_t STEREO = 0x00000002;
inline constexpr std::uint32_t DRAW_TO_WINDOW = 0x00000004;
inline constexpr std::uint32_t DRAW_TO_BITMAP = 0x00000008;
inline constexpr std::uint32_t SUPPORT_GDI = 0x00000010;
inline constexpr std::uint32_t SUPPORT_OPENGL = 0x00000020;
inline constexpr std::uint32_t GENERIC_FORMAT = 0x00000040;
inline constexpr std::uint32_t NEED_PALETTE = 0x00000080;
inline constexpr std::uint32_t NEED_SYSTEM_PALETTE = 0x00000100;
inline constexpr std::uint32_t SWAP_LAYER_BUFFERS = 0x00000800;
inline constexpr std::uint32_t GENERIC_ACCELERATED = 0x00001000;
// iPixelType values
inline constexpr std::uint8_t TYPE_RGBA = 0;
inline constexpr std::uint8_t TYPE_COLORINDEX = 1;
// iLayerType values
inline constexpr std::uint8_t MAIN_PLANE = 0;
}  // namespace PFD

#pragma pack(push, 1)
struct TPixelFormatDescriptor {
    std::uint16_t nSize = 0;
    std::uint16_t nVersion = 0;
    std::uint32_t dwFlags = 0;
    std::uint8_t iPixelType = 0;
    std::uint8_t cColorBits = 0;
    std::uint8_t cRedBits = 0;
    std::uint8_t cRedShift = 0;
    std::uint8_t cGreenBits = 0;
    std::uint8_t cGreenShift = 0;
    std::uint8_t cBlueBits = 0;
    std::uint8_t cBlueShift = 0;
    std::uint8_t cAlphaBits = 0;
    std::uint8_t cAlphaShift = 0;
    std::uint8_t cAccumBits = 0;
    std::uint8_t cAccumRedBits = 0;
    std::uint8_t cAccumGreenBits = 0;
    std::uint8_t cAccumBlueBits = 0;
    std::uint8_t cAccumAlphaBits = 0;
    std::uint8_t cDepthBits = 0;
    std::uint8_t cStencilBits = 0;
    std::uint8_t cAuxBuffers = 0;
    std::uint8_t iLayerType = 0;
    std::uint8_t bReserved = 0;
    std::uint32_t dwLayerMask = 0;
    std::uint32_t dwVisibleMask = 0;
    std::uint32_t dwDamageMask = 0;
};
#pragma pack(pop)
static_assert(sizeof(TPixelFormatDescriptor) == 40, "PIXELFORMATDESCRIPTOR is 40 bytes");
static_assert(offsetof(TPixelFormatDescriptor, dwFlags) == 4);
static_assert(offsetof(TPixelFormatDescriptor, iPixelType) == 8);
static_assert(offsetof(TPixelFormatDescriptor, cAccumBits) == 18);
static_assert(offsetof(TPixelFormatDescriptor, cDepthBits) == 23);
static_assert(offsetof(TPixelFormatDescriptor, cStencilBits) == 24);
static_assert(offsetof(TPixelFormatDescriptor, iLayerType) == 26);
static_assert(offsetof(TPixelFormatDescriptor, dwLayerMask) == 28);
static_assert(offsetof(TPixelFormatDescriptor, dwDamageMask) == 36);

// The descriptor's 40 bytes in file/memory order, little-endian.
std::array<std::uint8_t, 40> DescriptorBytes(const TPixelFormatDescriptor& pfd);

// dwFlags for a PFDFlags set (the flag table of the pixel-format request).
std::uint32_t PFDFlagsToDwFlags(TPFDFlagSet flags);

// The pixel-format request built from the panel's pixel-format properties.
// pixelTypeByte is the platform pixel type (0 RGBA, 1 colour index).
TPixelFormatDescriptor BuildPixelFormatDescriptor(TPFDFlagSet flags, std::uint8_t pixelTypeByte, std::uint8_t colorBits,
                                                  std::uint8_t depthBits, std::uint8_t accBits);

// The rule of the PFDFlags setter: GDI support and double buffering are kept
// exclusive; returns the set to store.
TPFDFlagSet NormalizePFDFlags(TPFDFlagSet oldFlags, TPFDFlagSet newFlags);

// The surface format Qt is asked for: colour bits 32 -> 8/8/8/8, 24 -> 8/8/8/0,
// 16 -> 5/6/5/0 (15 -> 5/5/5/0, 8 -> 3/3/2/0, anything else left to the
// driver); depth = cDepthBits; stencil = cStencilBits; PFD::DOUBLEBUFFER ->
// double buffering, else single; PFD::STEREO -> stereo buffers; accumulation
// bits are not supported and ignored; OpenGL, compatibility profile.
QSurfaceFormat SurfaceFormatFromDescriptor(const TPixelFormatDescriptor& pfd);

// The reverse: a description of the format actually obtained (what
// DescribePixelFormat gives on Windows). Never carries PFD::NEED_PALETTE.
TPixelFormatDescriptor DescriptorFromSurfaceFormat(const QSurfaceFormat& format, const TPixelFormatDescriptor& request);

// ---------------------------------------------------------------------------
// Logical palette for palette-based (colour-index style) formats. Such formats
// do not occur on this platform, so the panel never holds a palette; the
// computation is kept and used as a pure function.

struct TPaletteEntry {
    std::uint8_t peRed = 0;
    std::uint8_t peGreen = 0;
    std::uint8_t peBlue = 0;
    std::uint8_t peFlags = 0;
    friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};

struct TLogPalette {
    std::uint16_t palVersion = 0x300;
    std::uint16_t palNumEntries = 0;
    std::vector<TPaletteEntry> palPalEntry;
};

// Entry count = 1 << cColorBits (in 16 bits); each channel's intensity is
// ((i >> shift) & mask) * 255 / mask. A channel of zero bits gives 0.
TLogPalette ConstructPalette(const TPixelFormatDescriptor& pfd);

// Frames per second from one measured paint: trunc(1 / seconds). A zero or
// negative duration gives 0 (the caller then keeps the previous value).
int FramesPerSecondFromNanoseconds(qint64 nanoseconds);

}  // namespace vistrel
