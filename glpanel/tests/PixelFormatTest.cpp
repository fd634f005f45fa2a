// The pixel-format request, the PFDFlags rule, the surface format, the
// palette computation, the frame-rate formula and the initial properties.
#include "OpenGLVexPanel.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vistrel;

namespace {

const TPFDFlagSet kDefaultFlags{f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_OPENGL, f_PFD_DOUBLEBUFFER};

}  // namespace

TEST(PFDFlagSetTest, MembersAreBitsInDeclarationOrder) {
    EXPECT_EQ(TPFDFlagsCount, 11);
    EXPECT_EQ(static_cast<int>(f_PFD_SWAP_LAYER_BUFFERS), 10);
    TPFDFlagSet s{f_PFD_DRAW_TO_WINDOW, f_PFD_DOUBLEBUFFER};
    EXPECT_EQ(s.Bits(), (1u << 0) | (1u << 8));
    EXPECT_TRUE(s.Contains(f_PFD_DOUBLEBUFFER));
    EXPECT_FALSE(s.Contains(f_PFD_STEREO));
    s.Exclude(f_PFD_DOUBLEBUFFER).Include(f_PFD_STEREO);
    EXPECT_EQ(s, (TPFDFlagSet{f_PFD_DRAW_TO_WINDOW, f_PFD_STEREO}));
    EXPECT_EQ(TPFDFlagSet::FromBits(0xFFFF).Bits(), 0x7FF);
}

TEST(PixelFormatRequestTest, FlagTable) {
    EXPECT_EQ(PFDFlagsToDwFlags({}), PFD::DOUBLEBUFFER);  // no GDI support: double buffering
    EXPECT_EQ(PFDFlagsToDwFlags({f_PFD_DRAW_TO_WINDOW}), 0x4u | 0x1u);
    EXPECT_EQ(PFDFlagsToDwFlags({f_PFD_DRAW_TO_BITMAP}), 0x8u | 0x1u);
    EXPECT_EQ(PFDFlagsToDwFlags({f_PFD_SUPPORT_GDI}), 0x10u);
    EXPECT_EQ(PFDFlagsToDwFlags({f_PFD_SUPPORT_OPENGL}), 0x20u | 0x1u);
    EXPECT_EQ(PFDFlagsToDwFlags({f_PFD_GENERIC_ACCELERATED}), 0x1000u | 0x1u);
    EXPECT_EQ(PFDFlagsToDwFlags({f_PFD_GENERIC_FORMAT}), 0x40u | 0x1u);
    EXPECT_EQ(PFDFlagsToDwFlags({f_PFD_NEED_PALETTE}), 0x80u | 0x1u);
    EXPECT_EQ(PFDFlagsToDwFlags({f_PFD_NEED_SYSTEM_PALETTE}), 0x100u | 0x1u);
    EXPECT_EQ(PFDFlagsToDwFlags({f_PFD_DOUBLEBUFFER}), 0x1u);  // not read itself
    EXPECT_EQ(PFDFlagsToDwFlags({f_PFD_STEREO}), 0x2u | 0x1u);
    EXPECT_EQ(PFDFlagsToDwFlags({f_PFD_SWAP_LAYER_BUFFERS}), 0x800u | 0x1u);
    EXPECT_EQ(PFDFlagsToDwFlags(kDefaultFlags), 0x25u);
    EXPECT_EQ(PFDFlagsToDwFlags({f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_OPENGL, f_PFD_SUPPORT_GDI}), 0x34u);
}

TEST(PixelFormatRequestTest, DescriptorBytesAreByteExact) {
    const TPixelFormatDescriptor pfd = BuildPixelFormatDescriptor(kDefaultFlags, 0, 32, 24, 16);
    const std::array<std::uint8_t, 40> expected = {40,   0,        // nSize
                                                   1,    0,        // nVersion
                                                   0x25, 0, 0, 0,  // dwFlags: draw to window, OpenGL, double buffer
                                                   0,              // iPixelType RGBA
                                                   32,             // cColorBits
                                                   0,    0, 0, 0, 0, 0,  // red, green, blue bits and shifts
                                                   0,    0,              // alpha bits and shift
                                                   16,                   // cAccumBits
                                                   0,    0, 0, 0,        // accumulation channel bits
                                                   24,                   // cDepthBits
                                                   8,                    // cStencilBits
                                                   0,                    // cAuxBuffers
                                                   0,                    // iLayerType (main plane)
                                                   0,                    // bReserved
                                                   0,    0, 0, 0,        // dwLayerMask
                                                   0,    0, 0, 0,        // dwVisibleMask
                                                   0,    0, 0, 0};       // dwDamageMask
    EXPECT_EQ(DescriptorBytes(pfd), expected);
    // The in-memory layout is the same on this (little-endian) machine.
    std::array<std::uint8_t, 40> raw{};
    std::memcpy(raw.data(), &pfd, sizeof pfd);
    EXPECT_EQ(raw, expected);
}

TEST(PixelFormatRequestTest, FieldOffsets) {
    TPixelFormatDescriptor pfd{};
    pfd.iPixelType = 1;
    pfd.cColorBits = 2;
    pfd.cAccumBits = 3;
    pfd.cDepthBits = 4;
    pfd.cStencilBits = 5;
    pfd.iLayerType = 6;
    pfd.dwLayerMask = 0x11223344;
    pfd.dwVisibleMask = 0x55667788;
    pfd.dwDamageMask = 0x99AABBCC;
    const auto b = DescriptorBytes(pfd);
    EXPECT_EQ(b[8], 1);
    EXPECT_EQ(b[9], 2);
    EXPECT_EQ(b[18], 3);
    EXPECT_EQ(b[23], 4);
    EXPECT_EQ(b[24], 5);
    EXPECT_EQ(b[26], 6);
    EXPECT_EQ(b[28], 0x44);
    EXPECT_EQ(b[31], 0x11);
    EXPECT_EQ(b[32], 0x88);
    EXPECT_EQ(b[36], 0xCC);
    EXPECT_EQ(b[39], 0x99);
}

TEST(PixelFormatRequestTest, GdiSupportAsksForNoDoubleBuffering) {
    const auto pfd =
        BuildPixelFormatDescriptor({f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_OPENGL, f_PFD_SUPPORT_GDI}, 0, 32, 32, 0);
    EXPECT_TRUE(pfd.dwFlags & PFD::SUPPORT_GDI);
    EXPECT_FALSE(pfd.dwFlags & PFD::DOUBLEBUFFER);
}

TEST(PFDFlagsRuleTest, BothWhileDoubleBufferedKeepsGdi) {
    const TPFDFlagSet added{f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_OPENGL, f_PFD_DOUBLEBUFFER, f_PFD_SUPPORT_GDI};
    EXPECT_EQ(NormalizePFDFlags(kDefaultFlags, added),
              (TPFDFlagSet{f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_OPENGL, f_PFD_SUPPORT_GDI}));
}

TEST(PFDFlagsRuleTest, BothWhileGdiKeepsDoubleBuffering) {
    const TPFDFlagSet old{f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_GDI};
    EXPECT_EQ(NormalizePFDFlags(old, {f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_GDI, f_PFD_DOUBLEBUFFER}),
              (TPFDFlagSet{f_PFD_DRAW_TO_WINDOW, f_PFD_DOUBLEBUFFER}));
}

TEST(PFDFlagsRuleTest, NeitherWhileDoubleBufferedGivesGdi) {
    EXPECT_EQ(NormalizePFDFlags(kDefaultFlags, {f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_OPENGL}),
              (TPFDFlagSet{f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_OPENGL, f_PFD_SUPPORT_GDI}));
}

TEST(PFDFlagsRuleTest, NeitherWhileGdiGivesDoubleBuffering) {
    const TPFDFlagSet old{f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_GDI};
    EXPECT_EQ(NormalizePFDFlags(old, {f_PFD_DRAW_TO_WINDOW}), (TPFDFlagSet{f_PFD_DRAW_TO_WINDOW, f_PFD_DOUBLEBUFFER}));
}

TEST(PFDFlagsRuleTest, OneOfThemIsStoredAsItIs) {
    const TPFDFlagSet gdi{f_PFD_SUPPORT_GDI, f_PFD_STEREO};
    EXPECT_EQ(NormalizePFDFlags(kDefaultFlags, gdi), gdi);
    EXPECT_EQ(NormalizePFDFlags(gdi, kDefaultFlags), kDefaultFlags);
}

TEST(PFDFlagsRuleTest, SetterOfThePanelAppliesTheRule) {
    TOpenGLVexPanel panel;
    panel.SetPFDFlags({f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_OPENGL, f_PFD_DOUBLEBUFFER, f_PFD_SUPPORT_GDI});
    EXPECT_EQ(panel.PFDFlags(), (TPFDFlagSet{f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_OPENGL, f_PFD_SUPPORT_GDI}));
    panel.SetPFDFlags({f_PFD_DRAW_TO_WINDOW});
    EXPECT_EQ(panel.PFDFlags(), (TPFDFlagSet{f_PFD_DRAW_TO_WINDOW, f_PFD_DOUBLEBUFFER}));
    panel.SetPFDFlags({f_PFD_DRAW_TO_WINDOW});
    EXPECT_EQ(panel.PFDFlags(), (TPFDFlagSet{f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_GDI}));
}

TEST(SurfaceFormatTest, ColourDepthsMapToChannelSizes) {
    auto fmt = [](std::uint8_t bits) {
        return SurfaceFormatFromDescriptor(BuildPixelFormatDescriptor(kDefaultFlags, 0, bits, 32, 0));
    };
    QSurfaceFormat f32 = fmt(32), f24 = fmt(24), f16 = fmt(16);
    EXPECT_EQ(f32.redBufferSize(), 8);
    EXPECT_EQ(f32.greenBufferSize(), 8);
    EXPECT_EQ(f32.blueBufferSize(), 8);
    EXPECT_EQ(f32.alphaBufferSize(), 8);
    EXPECT_EQ(f24.redBufferSize(), 8);
    EXPECT_EQ(f24.greenBufferSize(), 8);
    EXPECT_EQ(f24.blueBufferSize(), 8);
    EXPECT_EQ(f24.alphaBufferSize(), 0);
    EXPECT_EQ(f16.redBufferSize(), 5);
    EXPECT_EQ(f16.greenBufferSize(), 6);
    EXPECT_EQ(f16.blueBufferSize(), 5);
    EXPECT_EQ(f16.alphaBufferSize(), 0);
}

TEST(SurfaceFormatTest, DepthStencilBuffersProfile) {
    const QSurfaceFormat f = SurfaceFormatFromDescriptor(BuildPixelFormatDescriptor(kDefaultFlags, 0, 32, 32, 64));
    EXPECT_EQ(f.depthBufferSize(), 32);
    EXPECT_EQ(f.stencilBufferSize(), 8);
    EXPECT_EQ(f.swapBehavior(), QSurfaceFormat::DoubleBuffer);
    EXPECT_EQ(f.profile(), QSurfaceFormat::CompatibilityProfile);
    EXPECT_EQ(f.renderableType(), QSurfaceFormat::OpenGL);
    EXPECT_FALSE(f.stereo());

    const QSurfaceFormat g = SurfaceFormatFromDescriptor(
        BuildPixelFormatDescriptor({f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_OPENGL, f_PFD_SUPPORT_GDI}, 0, 24, 16, 0));
    EXPECT_EQ(g.swapBehavior(), QSurfaceFormat::SingleBuffer);
    EXPECT_EQ(g.depthBufferSize(), 16);
}

TEST(SurfaceFormatTest, DescriptionOfTheObtainedFormat) {
    QSurfaceFormat actual;
    actual.setRedBufferSize(8);
    actual.setGreenBufferSize(8);
    actual.setBlueBufferSize(8);
    actual.setAlphaBufferSize(8);
    actual.setDepthBufferSize(24);
    actual.setStencilBufferSize(8);
    actual.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    const auto request = BuildPixelFormatDescriptor(kDefaultFlags, 0, 32, 32, 0);
    const auto d = DescriptorFromSurfaceFormat(actual, request);
    EXPECT_EQ(d.cColorBits, 32);
    EXPECT_EQ(d.cDepthBits, 24);
    EXPECT_EQ(d.cRedShift, 16);
    EXPECT_EQ(d.cGreenShift, 8);
    EXPECT_EQ(d.cBlueShift, 0);
    EXPECT_TRUE(d.dwFlags & PFD::DOUBLEBUFFER);
    EXPECT_FALSE(d.dwFlags & PFD::NEED_PALETTE);
}

TEST(PaletteTest, EightBitThreeThreeTwo) {
    TPixelFormatDescriptor pfd{};
    pfd.cColorBits = 8;
    pfd.cRedBits = 3;
    pfd.cRedShift = 0;
    pfd.cGreenBits = 3;
    pfd.cGreenShift = 3;
    pfd.cBlueBits = 2;
    pfd.cBlueShift = 6;
    const TLogPalette pal = ConstructPalette(pfd);
    EXPECT_EQ(pal.palVersion, 0x300);
    EXPECT_EQ(pal.palNumEntries, 256);
    ASSERT_EQ(pal.palPalEntry.size(), 256u);
    EXPECT_EQ(pal.palPalEntry[255], (TPaletteEntry{255, 255, 255, 0}));
    EXPECT_EQ(pal.palPalEntry[5], (TPaletteEntry{182, 0, 0, 0}));
    EXPECT_EQ(pal.palPalEntry[0], (TPaletteEntry{0, 0, 0, 0}));
    // green 1 of 7, blue 1 of 3
    EXPECT_EQ(pal.palPalEntry[(1 << 3) | (1 << 6)], (TPaletteEntry{0, 36, 85, 0}));
}

TEST(PaletteTest, EntryCountIsSixteenBit) {
    TPixelFormatDescriptor pfd{};
    pfd.cColorBits = 4;
    pfd.cRedBits = 1;
    EXPECT_EQ(ConstructPalette(pfd).palNumEntries, 16);
    pfd.cColorBits = 16;
    EXPECT_EQ(ConstructPalette(pfd).palNumEntries, 0);
}

TEST(PaletteTest, ChannelWithoutBitsIsDark) {
    TPixelFormatDescriptor pfd{};
    pfd.cColorBits = 2;
    pfd.cRedBits = 2;
    const TLogPalette pal = ConstructPalette(pfd);
    ASSERT_EQ(pal.palNumEntries, 4);
    EXPECT_EQ(pal.palPalEntry[3], (TPaletteEntry{255, 0, 0, 0}));
    EXPECT_EQ(pal.palPalEntry[1], (TPaletteEntry{85, 0, 0, 0}));
}

TEST(FrameRateTest, TruncatedReciprocal) {
    EXPECT_EQ(FramesPerSecondFromNanoseconds(250'000'000), 4);
    EXPECT_EQ(FramesPerSecondFromNanoseconds(300'000'000), 3);
    EXPECT_EQ(FramesPerSecondFromNanoseconds(16'666'667), 59);
    EXPECT_EQ(FramesPerSecondFromNanoseconds(2'000'000'000), 0);
    EXPECT_EQ(FramesPerSecondFromNanoseconds(0), 0);
}

TEST(PanelPropertiesTest, InitialValues) {
    TOpenGLVexPanel panel;
    EXPECT_EQ(panel.PixelType(), f_PFD_TYPE_RGBA);
    EXPECT_EQ(panel.PlatformPixelType(), 0);
    EXPECT_EQ(panel.PFDFlags(), kDefaultFlags);
    EXPECT_EQ(panel.cColorBits(), 32);
    EXPECT_EQ(panel.cDepthBits(), 32);
    EXPECT_EQ(panel.cAccBits(), 0);
    EXPECT_EQ(panel.GLSwapBuffers(), TOpenGLSwapBuffers::Auto);
    EXPECT_EQ(panel.PixelsPerInch(), 96);
    EXPECT_EQ(panel.PrintScale(), pglProportional);
    EXPECT_FALSE(panel.Font3D_Enabled());
    EXPECT_EQ(panel.Font3D_Type().family(), QStringLiteral("Arial"));
    EXPECT_EQ(panel.Font3D_Type().pixelSize(), 9);
    EXPECT_FALSE(panel.Font3D_Type().bold());
    EXPECT_FALSE(panel.Font3D_Type().italic());
    EXPECT_EQ(panel.Font3D_FirstGylph(), 32);
    EXPECT_EQ(panel.Font3D_NumGylph(), 96);
    EXPECT_FLOAT_EQ(panel.Font3D_MaxDeviation(), 1.0f);
    EXPECT_FLOAT_EQ(panel.Font3D_Extrustion(), 0.1f);
    EXPECT_EQ(panel.Font3D_Format(), f_WGL_FONT_POLYGONS);
    EXPECT_EQ(panel.Font3D_PlatformFormat(), 1);
    EXPECT_FALSE(panel.Font2D_Enabled());
    EXPECT_EQ(panel.Font2D_Type().family(), QStringLiteral("Arial"));
    EXPECT_EQ(panel.Font2D_Type().pixelSize(), 9);
    EXPECT_EQ(panel.Font2D_FirstGylph(), 32);
    EXPECT_EQ(panel.Font2D_NumGylph(), 96);
    EXPECT_FALSE(panel.Fps_Enabled());
    EXPECT_EQ(panel.Fps_Value(), 0);
    EXPECT_FALSE(panel.Border());
    EXPECT_FALSE(panel.ToolWindow());
    EXPECT_FALSE(panel.AllowResize());
    EXPECT_FALSE(panel.AllowMoving());
    EXPECT_FALSE(panel.ParamsComputed());
    EXPECT_TRUE(panel.ErrorText().isEmpty());
    EXPECT_TRUE(panel.hasMouseTracking());

    const TPixelFormatDescriptor request = panel.BuildPixelFormatRequest();
    EXPECT_EQ(request.cStencilBits, 8);
    EXPECT_EQ(request.cAccumBits, 0);
    EXPECT_EQ(request.cColorBits, 32);
    EXPECT_EQ(request.cDepthBits, 32);
    EXPECT_EQ(request.dwFlags, 0x25u);
}

TEST(PanelPropertiesTest, DerivedPlatformValues) {
    TOpenGLVexPanel panel;
    panel.SetPFDPixelType(f_PFD_TYPE_COLORINDEX);
    EXPECT_EQ(panel.PlatformPixelType(), 1);
    EXPECT_EQ(panel.BuildPixelFormatRequest().iPixelType, 1);
    panel.SetPFDPixelType(f_PFD_TYPE_RGBA);
    EXPECT_EQ(panel.PlatformPixelType(), 0);
    panel.SetFont3DFormat(f_WGL_FONT_LINES);
    EXPECT_EQ(panel.Font3D_PlatformFormat(), 0);
    panel.SetFont3DFormat(f_WGL_FONT_POLYGONS);
    EXPECT_EQ(panel.Font3D_PlatformFormat(), 1);
    panel.SetPFDNumColorBits(24);
    panel.SetPFDNumDepthBits(16);
    panel.SetPFDNumAccBits(32);
    const auto request = panel.BuildPixelFormatRequest();
    EXPECT_EQ(request.cColorBits, 24);
    EXPECT_EQ(request.cDepthBits, 16);
    EXPECT_EQ(request.cAccumBits, 32);
    QFont courier(QStringLiteral("Courier"));
    courier.setPixelSize(12);
    panel.SetFont3DType(courier);
    panel.SetFont(courier);
    EXPECT_EQ(panel.Font3D_Type().pixelSize(), 12);
    EXPECT_EQ(panel.Font2D_Type().family(), QStringLiteral("Courier"));
}

TEST(PanelPropertiesTest, WindowStylesBeforeParametersAreOnlyStored) {
    TOpenGLVexPanel panel;
    const Qt::WindowFlags before = panel.windowFlags();
    panel.SetToolWindow(true);
    panel.SetBorder(true);
    panel.SetAllowResize(true);
    panel.SetAllowMoving(true);
    EXPECT_TRUE(panel.ToolWindow());
    EXPECT_TRUE(panel.Border());
    EXPECT_TRUE(panel.AllowResize());
    EXPECT_TRUE(panel.AllowMoving());
    EXPECT_EQ(panel.windowFlags(), before);
}
