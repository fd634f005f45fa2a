// Pixel-format request, its Qt surface format, the palette computation and
// the frame-rate formula: pure functions of the panel.
#include "PixelFormat.h"

#include <cmath>

namespace vistrel {

namespace {

void PutU16(std::array<std::uint8_t, 40>& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<std::uint8_t>(v & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PutU32(std::array<std::uint8_t, 40>& out, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

std::array<std::uint8_t, 40> DescriptorBytes(const TPixelFormatDescriptor& pfd) {
    std::array<std::uint8_t, 40> out{};
    PutU16(out, 0, pfd.nSize);
    PutU16(out, 2, pfd.nVersion);
    PutU32(out, 4, pfd.dwFlags);
    const std::uint8_t bytes[] = {pfd.iPixelType,      pfd.cColorBits,     pfd.cRedBits,        pfd.cRedShift,
                                  pfd.cGreenBits,      pfd.cGreenShift,    pfd.cBlueBits,       pfd.cBlueShift,
                                  pfd.cAlphaBits,      pfd.cAlphaShift,    pfd.cAccumBits,      pfd.cAccumRedBits,
                                  pfd.cAccumGreenBits, pfd.cAccumBlueBits, pfd.cAccumAlphaBits, pfd.cDepthBits,
                                  pfd.cStencilBits,    pfd.cAuxBuffers,    pfd.iLayerType,      pfd.bReserved};
    for (std::size_t i = 0; i < sizeof bytes; ++i) out[8 + i] = bytes[i];
    PutU32(out, 28, pfd.dwLayerMask);
    PutU32(out, 32, pfd.dwVisibleMask);
    PutU32(out, 36, pfd.dwDamageMask);
    return out;
}

std::uint32_t PFDFlagsToDwFlags(TPFDFlagSet flags) {
    std::uint32_t dw = 0;
    if (flags.Contains(f_PFD_DRAW_TO_WINDOW)) dw |= PFD::DRAW_TO_WINDOW;
    if (flags.Contains(f_PFD_DRAW_TO_BITMAP)) dw |= PFD::DRAW_TO_BITMAP;
    // Double buffering is requested exactly when GDI support is not; the
    // PFDFlags setter keeps f_PFD_DOUBLEBUFFER equivalent to that.
    if (flags.Contains(f_PFD_SUPPORT_GDI))
        dw |= PFD::SUPPORT_GDI;
    else
        dw |= PFD::DOUBLEBUFFER;
    if (flags.Contains(f_PFD_SUPPORT_OPENGL)) dw |= PFD::SUPPORT_OPENGL;
    if (flags.Contains(f_PFD_GENERIC_ACCELERATED)) dw |= PFD::GENERIC_ACCELERATED;
    if (flags.Contains(f_PFD_GENERIC_FORMAT)) dw |= PFD::GENERIC_FORMAT;
    if (flags.Contains(f_PFD_NEED_PALETTE)) dw |= PFD::NEED_PALETTE;
    if (flags.Contains(f_PFD_NEED_SYSTEM_PALETTE)) dw |= PFD::NEED_SYSTEM_PALETTE;
    if (flags.Contains(f_PFD_STEREO)) dw |= PFD::STEREO;
    if (flags.Contains(f_PFD_SWAP_LAYER_BUFFERS)) dw |= PFD::SWAP_LAYER_BUFFERS;
    return dw;
}

TPixelFormatDescriptor BuildPixelFormatDescriptor(TPFDFlagSet flags, std::uint8_t pixelTypeByte, std::uint8_t colorBits,
                                                  std::uint8_t depthBits, std::uint8_t accBits) {
    TPixelFormatDescriptor pfd{};
    pfd.nSize = sizeof(TPixelFormatDescriptor);
    pfd.nVersion = 1;
    pfd.dwFlags = PFDFlagsToDwFlags(flags);
    pfd.iPixelType = pixelTypeByte;
    pfd.cColorBits = colorBits;
    pfd.cAccumBits = accBits;
    pfd.cDepthBits = depthBits;
    pfd.cStencilBits = 8;
    pfd.cAuxBuffers = 0;
    pfd.iLayerType = PFD::MAIN_PLANE;
    return pfd;
}

TPFDFlagSet NormalizePFDFlags(TPFDFlagSet oldFlags, TPFDFlagSet newFlags) {
    const bool gdi = newFlags.Contains(f_PFD_SUPPORT_GDI);
    const bool dbl = newFlags.Contains(f_PFD_DOUBLEBUFFER);
    if (gdi && dbl) {
        // The member that was already there gives way to the one just added.
        if (oldFlags.Contains(f_PFD_SUPPORT_GDI))
            newFlags.Exclude(f_PFD_SUPPORT_GDI);
        else
            newFlags.Exclude(f_PFD_DOUBLEBUFFER);
    } else if (!gdi && !dbl) {
        // Removing one switches to the other.
        if (oldFlags.Contains(f_PFD_SUPPORT_GDI))
            newFlags.Include(f_PFD_DOUBLEBUFFER);
        else
            newFlags.Include(f_PFD_SUPPORT_GDI);
    }
    return newFlags;
}

QSurfaceFormat SurfaceFormatFromDescriptor(const TPixelFormatDescriptor& pfd) {
    QSurfaceFormat f;
    f.setRenderableType(QSurfaceFormat::OpenGL);
    f.setProfile(QSurfaceFormat::CompatibilityProfile);
    switch (pfd.cColorBits) {
    case 32:
        f.setRedBufferSize(8);
        f.setGreenBufferSize(8);
        f.setBlueBufferSize(8);
        f.setAlphaBufferSize(8);
        break;
    case 24:
        f.setRedBufferSize(8);
        f.setGreenBufferSize(8);
        f.setBlueBufferSize(8);
        f.setAlphaBufferSize(0);
        break;
    case 16:
        f.setRedBufferSize(5);
        f.setGreenBufferSize(6);
        f.setBlueBufferSize(5);
        f.setAlphaBufferSize(0);
        break;
    case 15:
        f.setRedBufferSize(5);
        f.setGreenBufferSize(5);
        f.setBlueBufferSize(5);
        f.setAlphaBufferSize(0);
        break;
    case 8:
        f.setRedBufferSize(3);
        f.setGreenBufferSize(3);
        f.setBlueBufferSize(2);
        f.setAlphaBufferSize(0);
        break;
    default: break;  // the driver's choice
    }
    f.setDepthBufferSize(pfd.cDepthBits);
    f.setStencilBufferSize(pfd.cStencilBits);
    f.setSwapBehavior((pfd.dwFlags & PFD::DOUBLEBUFFER) ? QSurfaceFormat::DoubleBuffer : QSurfaceFormat::SingleBuffer);
    f.setStereo((pfd.dwFlags & PFD::STEREO) != 0);
    // cAccumBits: Qt surfaces have no accumulation buffer; the request is ignored.
    return f;
}

TPixelFormatDescriptor DescriptorFromSurfaceFormat(const QSurfaceFormat& format,
                                                   const TPixelFormatDescriptor& request) {
    TPixelFormatDescriptor d = request;
    auto bits = [](int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); };
    d.dwFlags &= ~(PFD::DOUBLEBUFFER | PFD::STEREO | PFD::NEED_PALETTE | PFD::NEED_SYSTEM_PALETTE);
    if (format.swapBehavior() != QSurfaceFormat::SingleBuffer) d.dwFlags |= PFD::DOUBLEBUFFER;
    if (format.stereo()) d.dwFlags |= PFD::STEREO;
    d.iPixelType = PFD::TYPE_RGBA;
    d.cRedBits = bits(format.redBufferSize());
    d.cGreenBits = bits(format.greenBufferSize());
    d.cBlueBits = bits(format.blueBufferSize());
    d.cAlphaBits = bits(format.alphaBufferSize());
    d.cBlueShift = 0;
    d.cGreenShift = d.cBlueBits;
    d.cRedShift = static_cast<std::uint8_t>(d.cBlueBits + d.cGreenBits);
    d.cAlphaShift = d.cAlphaBits ? static_cast<std::uint8_t>(d.cRedShift + d.cRedBits) : 0;
    const int colour = format.redBufferSize() + format.greenBufferSize() + format.blueBufferSize() +
                       std::max(0, format.alphaBufferSize());
    if (format.redBufferSize() > 0) d.cColorBits = bits(colour);
    d.cAccumBits = d.cAccumRedBits = d.cAccumGreenBits = d.cAccumBlueBits = d.cAccumAlphaBits = 0;
    d.cDepthBits = bits(format.depthBufferSize());
    d.cStencilBits = bits(format.stencilBufferSize());
    return d;
}

TLogPalette ConstructPalette(const TPixelFormatDescriptor& pfd) {
    TLogPalette pal;
    // The entry count is computed in 16 bits (shift count taken modulo 32, as
    // the processor does): 8 colour bits give 256 entries, 16 to 31 give 0.
    const std::uint16_t n = static_cast<std::uint16_t>(1u << (pfd.cColorBits & 31));
    pal.palVersion = 0x300;
    pal.palNumEntries = n;
    pal.palPalEntry.resize(pal.palNumEntries);

    auto mask = [](std::uint8_t bitCount) -> std::uint32_t {
        return bitCount >= 32 ? 0xFFFFFFFFu : ((1u << bitCount) - 1u);
    };
    auto level = [](std::uint32_t i, std::uint8_t shift, std::uint32_t m) -> std::uint8_t {
        if (m == 0) return 0;  // a channel without bits stays dark
        const std::uint32_t v = (shift >= 32 ? 0u : (i >> shift)) & m;
        return static_cast<std::uint8_t>(static_cast<std::uint64_t>(v) * 255u / m);
    };
    const std::uint32_t redMask = mask(pfd.cRedBits);
    const std::uint32_t greenMask = mask(pfd.cGreenBits);
    const std::uint32_t blueMask = mask(pfd.cBlueBits);
    for (std::uint32_t i = 0; i < pal.palNumEntries; ++i) {
        TPaletteEntry& e = pal.palPalEntry[i];
        e.peRed = level(i, pfd.cRedShift, redMask);
        e.peGreen = level(i, pfd.cGreenShift, greenMask);
        e.peBlue = level(i, pfd.cBlueShift, blueMask);
        e.peFlags = 0;
    }
    return pal;
}

int FramesPerSecondFromNanoseconds(qint64 nanoseconds) {
    if (nanoseconds <= 0) return 0;
    const double seconds = static_cast<double>(nanoseconds) / 1e9;
    const double fps = std::trunc(1.0 / seconds);
    if (fps > 2147483647.0) return 2147483647;
    return static_cast<int>(fps);
}

}  // namespace vistrel
