// Font records of the OpenGL panel: one display list per character.
// Building, drawing and measuring live with the font code; the panel only
// owns its two records and releases them with its context.
#pragma once

#include <QtGui/qopengl.h>

#include <array>
#include <cstdint>
#include <vector>

namespace vistrel {

// An outline font: glyph g lies at listBase + (code - firstGlyph).
struct OpenGLVexFont3D {
  std::int32_t firstGlyph = 0;
  std::int32_t glyphCount = 0;
  GLuint listBase = 0;
  float extrusion = 0.0f;
  // Per glyph: black-box width, black-box height, origin x, origin y,
  // cell increment x, cell increment y.
  std::vector<std::array<float, 6>> GlyphMetrics;

  OpenGLVexFont3D() = default;
  OpenGLVexFont3D(const OpenGLVexFont3D&) = delete;
  OpenGLVexFont3D& operator=(const OpenGLVexFont3D&) = delete;
  // Deletes the display lists: the context that built them must be current.
  ~OpenGLVexFont3D() {
    if (listBase != 0 && glyphCount > 0) glDeleteLists(listBase, glyphCount);
  }
};

// A bitmap font.
struct OpenGLVexFont2D {
  std::int32_t firstGlyph = 0;
  std::int32_t glyphCount = 0;
  GLuint listBase = 0;

  OpenGLVexFont2D() = default;
  OpenGLVexFont2D(const OpenGLVexFont2D&) = delete;
  OpenGLVexFont2D& operator=(const OpenGLVexFont2D&) = delete;
  ~OpenGLVexFont2D() {
    if (listBase != 0 && glyphCount > 0) glDeleteLists(listBase, glyphCount);
  }
};

}  // namespace vistrel
