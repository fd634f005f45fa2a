// Display-list fonts of the OpenGL panel: outline glyphs placed in model
// space (3D) and bitmap glyphs drawn at the raster position (2D), one
// display list per character code.
//
// Building, drawing and releasing need the rendering context that holds the
// lists to be current; measuring works on the record alone. Texts are 8-bit:
// each byte is one character code (Windows-1252 for the codes 128 to 159,
// ISO 8859-1 otherwise).
#pragma once

#include <QtGui/qopengl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class QFont;

namespace vistrel {

// Per glyph, in em units (the font scaled to an em of 1), y up:
// black-box width and height (the inked extent), origin x and y (the upper
// left corner of the black box relative to the pen on the baseline), cell
// increment x and y (how far the pen moves after the glyph).
struct GlyphMetricsFloat {
    float blackBoxX = 0.0f;
    float blackBoxY = 0.0f;
    float originX = 0.0f;
    float originY = 0.0f;
    float cellIncX = 0.0f;
    float cellIncY = 0.0f;
};

// An outline font: the glyph of code c lies at listBase + (c - firstGlyph).
struct OpenGLVexFont3D {
    std::int32_t firstGlyph = 0;
    std::int32_t glyphCount = 0;
    GLuint listBase = 0;
    float extrusion = 0.0f;
    std::vector<GlyphMetricsFloat> GlyphMetrics;  // glyphCount entries

    OpenGLVexFont3D() = default;
    OpenGLVexFont3D(const OpenGLVexFont3D&) = delete;
    OpenGLVexFont3D& operator=(const OpenGLVexFont3D&) = delete;
    // Deletes the display lists in the current context (none current: they
    // are left alone). Set listBase to 0 first to forget lists whose context
    // is gone.
    ~OpenGLVexFont3D();
};

// A bitmap font.
struct OpenGLVexFont2D {
    std::int32_t firstGlyph = 0;
    std::int32_t glyphCount = 0;
    GLuint listBase = 0;

    OpenGLVexFont2D() = default;
    OpenGLVexFont2D(const OpenGLVexFont2D&) = delete;
    OpenGLVexFont2D& operator=(const OpenGLVexFont2D&) = delete;
    ~OpenGLVexFont2D();
};

// Outline formats of Create3DFont.
inline constexpr std::int32_t kFontFormatLines = 0;
inline constexpr std::int32_t kFontFormatPolygons = 1;

// Builds count outline glyphs from code first on. Curves are flattened so
// that no point of the outline lies further than deviation (em units) from
// the chords that replace it; deviation <= 0 means one design unit of the
// font. format kFontFormatPolygons: filled front face at z = 0 (normal +z),
// back face at z = -extrusion (normal -z) and the sides between them, faces
// wound counter-clockwise seen from outside (each list sets glFrontFace to
// GL_CCW); kFontFormatLines (or any value but 1): the outlines as line loops
// at z = 0. Each list ends by moving the model-view origin by the glyph's
// cell increment. None when font is null, count is not positive, no context
// is current or no display lists can be reserved.
std::unique_ptr<OpenGLVexFont3D> Create3DFont(const QFont* font, std::int32_t first, std::int32_t count,
                                              float deviation, float extrusion, std::int32_t format);

// Builds count bitmap glyphs (glBitmap, one bit per pixel, no antialiasing)
// from code first on; each glyph's origin is the pen on the baseline and
// each list advances the raster position by the glyph's advance. None as for
// Create3DFont.
std::unique_ptr<OpenGLVexFont2D> Create2DFont(const QFont* font, std::int32_t first, std::int32_t count);

// Release: deletes the record's display lists, then the record (null is
// allowed). The same as destroying the unique_ptr.
void Release3DFont(std::unique_ptr<OpenGLVexFont3D>& font);
void Release2DFont(std::unique_ptr<OpenGLVexFont2D>& font);

// Draw a whole text with one glCallLists. Nothing is drawn when there is no
// font, the text is empty or any of its codes lies outside the font's range.
// The list base is restored afterwards (glPushAttrib(GL_LIST_BIT)); 3D text
// also restores the front-face winding. 3D text starts at the model-view
// origin, 2D text at the current raster position.
void Draw3DText(const OpenGLVexFont3D* font, std::string_view text);
void Draw2DText(const OpenGLVexFont2D* font, std::string_view text);

// size[0] width: the cell increments of all characters but the last plus the
// black-box width of the last; size[1] height: likewise with the y values;
// size[2] depth: the extrusion. Empty text, no font or no size: size is not
// written. A code outside the font's range: (0, 0, 0).
void Get3DTextSize(const OpenGLVexFont3D* font, std::string_view text, double size[3]);

// The Unicode character an 8-bit code stands for (codes above 255 are taken
// as Unicode already).
char32_t CharacterForCode(std::int32_t code);

}  // namespace vistrel
