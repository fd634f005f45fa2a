// Display-list fonts: outline glyphs from QRawFont paths, flattened and
// tessellated with the GLU tessellator; bitmap glyphs rendered by QPainter
// into one-bit glBitmap images.
#include "GLFonts.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QOpenGLContext>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <deque>

namespace vistrel {

// ---------------------------------------------------------------------------
// Records

OpenGLVexFont3D::~OpenGLVexFont3D() {
    if (listBase != 0 && glyphCount > 0 && QOpenGLContext::currentContext()) glDeleteLists(listBase, glyphCount);
}

OpenGLVexFont2D::~OpenGLVexFont2D() {
    if (listBase != 0 && glyphCount > 0 && QOpenGLContext::currentContext()) glDeleteLists(listBase, glyphCount);
}

void Release3DFont(std::unique_ptr<OpenGLVexFont3D>& font) { font.reset(); }
void Release2DFont(std::unique_ptr<OpenGLVexFont2D>& font) { font.reset(); }

// ---------------------------------------------------------------------------
// Character codes

char32_t CharacterForCode(std::int32_t code) {
    // Windows-1252 in 0x80..0x9F; the five codes it leaves undefined stay the
    // C1 controls of the same value.
    static constexpr char16_t kCp1252[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    if (code >= 0x80 && code <= 0x9F) return kCp1252[code - 0x80];
    if (code < 0) return 0;
    return char32_t(code);
}

namespace {

QString TextForCode(std::int32_t code) {
    const char32_t c = CharacterForCode(code);
    return QString::fromUcs4(&c, 1);
}

bool HaveCurrentContext() { return QOpenGLContext::currentContext() != nullptr; }

// Every code of the text lies in [first, first + count).
bool AllInRange(std::string_view text, std::int32_t first, std::int32_t count) {
    for (char ch : text) {
        const std::int64_t code = std::int64_t(static_cast<unsigned char>(ch)) - first;
        if (code < 0 || code >= count) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Outline flattening

using TPoint = std::array<GLdouble, 3>;
using TContour = std::vector<TPoint>;

struct TFlattener {
    double tolerance;  // chordal deviation allowed, in path units
    TContour* out;

    void Line(QPointF p) { out->push_back({p.x(), p.y(), 0.0}); }

    static double DistanceToChord(QPointF p, QPointF a, QPointF b) {
        const double dx = b.x() - a.x(), dy = b.y() - a.y();
        const double len = std::hypot(dx, dy);
        if (len == 0.0) return std::hypot(p.x() - a.x(), p.y() - a.y());
        return std::abs((p.x() - a.x()) * dy - (p.y() - a.y()) * dx) / len;
    }

    // The curve stays within 3/4 of the larger control-point distance from its
    // chord; halves are taken until that bound is within the tolerance.
    void Cubic(QPointF p0, QPointF c1, QPointF c2, QPointF p3, int depth) {
        const double d = 0.75 * std::max(DistanceToChord(c1, p0, p3), DistanceToChord(c2, p0, p3));
        if (d <= tolerance || depth >= 16) {
            Line(p3);
            return;
        }
        const QPointF p01 = (p0 + c1) / 2, p12 = (c1 + c2) / 2, p23 = (c2 + p3) / 2;
        const QPointF p012 = (p01 + p12) / 2, p123 = (p12 + p23) / 2;
        const QPointF mid = (p012 + p123) / 2;
        Cubic(p0, p01, p012, mid, depth + 1);
        Cubic(mid, p123, p23, p3, depth + 1);
    }
};

// The closed contours of a path in em units, y up, without repeated points.
std::vector<TContour> Contours(const QPainterPath& path, double emScale, double deviationEm) {
    std::vector<TContour> contours;
    TFlattener flat{deviationEm / emScale, nullptr};
    QPointF last;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            contours.emplace_back();
            flat.out = &contours.back();
            flat.Line(e);
            last = e;
            break;
        case QPainterPath::LineToElement:
            if (!flat.out) break;
            flat.Line(e);
            last = e;
            break;
        case QPainterPath::CurveToElement:
            if (!flat.out || i + 2 >= path.elementCount()) break;
            flat.Cubic(last, e, path.elementAt(i + 1), path.elementAt(i + 2), 0);
            last = path.elementAt(i + 2);
            i += 2;
            break;
        case QPainterPath::CurveToDataElement: break;
        }
    }
    std::vector<TContour> result;
    for (TContour& c : contours) {
        TContour clean;
        for (TPoint p : c) {
            p[0] *= emScale;
            p[1] *= -emScale;
            if (clean.empty() || clean.back()[0] != p[0] || clean.back()[1] != p[1]) clean.push_back(p);
        }
        while (clean.size() > 1 && clean.back()[0] == clean.front()[0] && clean.back()[1] == clean.front()[1])
            clean.pop_back();
        if (clean.size() >= 3) result.push_back(std::move(clean));
    }
    return result;
}

double SignedArea(const TContour& c) {
    double a = 0.0;
    for (std::size_t i = 0, n = c.size(); i < n; ++i) {
        const TPoint& p = c[i];
        const TPoint& q = c[(i + 1) % n];
        a += p[0] * q[1] - q[0] * p[1];
    }
    return a / 2.0;
}

// ---------------------------------------------------------------------------
// Tessellation: the filled faces as a list of triangles

#ifdef _WIN32
using TTessCallback = void(CALLBACK*)();
#else
using TTessCallback = _GLUfuncptr;
#endif

struct TTessOutput {
    std::vector<TPoint> triangles;  // three points per triangle
    std::deque<TPoint> combined;    // points the tessellator made at crossings
    bool failed = false;
};

extern "C" {
static void APIENTRY TessBegin(GLenum, void*) {}
static void APIENTRY TessEnd(void*) {}
// Registering an edge-flag callback makes the tessellator emit separate
// triangles only (no fans or strips).
static void APIENTRY TessEdgeFlag(GLboolean, void*) {}
static void APIENTRY TessVertex(void* vertex, void* data) {
    static_cast<TTessOutput*>(data)->triangles.push_back(*static_cast<TPoint*>(vertex));
}
static void APIENTRY TessCombine(GLdouble coords[3], void* /*vertexData*/[4], GLfloat /*weight*/[4], void** outData,
                                 void* data) {
    auto* out = static_cast<TTessOutput*>(data);
    out->combined.push_back({coords[0], coords[1], coords[2]});
    *outData = &out->combined.back();
}
static void APIENTRY TessError(GLenum, void* data) { static_cast<TTessOutput*>(data)->failed = true; }
}

// Triangles covering the filled area, each counter-clockwise seen from +z.
std::vector<TPoint> Tessellate(std::vector<TContour>& contours, bool oddEven) {
    TTessOutput out;
    GLUtesselator* tess = gluNewTess();
    if (!tess) return {};
    gluTessCallback(tess, GLU_TESS_BEGIN_DATA, reinterpret_cast<TTessCallback>(&TessBegin));
    gluTessCallback(tess, GLU_TESS_END_DATA, reinterpret_cast<TTessCallback>(&TessEnd));
    gluTessCallback(tess, GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<TTessCallback>(&TessEdgeFlag));
    gluTessCallback(tess, GLU_TESS_VERTEX_DATA, reinterpret_cast<TTessCallback>(&TessVertex));
    gluTessCallback(tess, GLU_TESS_COMBINE_DATA, reinterpret_cast<TTessCallback>(&TessCombine));
    gluTessCallback(tess, GLU_TESS_ERROR_DATA, reinterpret_cast<TTessCallback>(&TessError));
    gluTessProperty(tess, GLU_TESS_WINDING_RULE, oddEven ? GLU_TESS_WINDING_ODD : GLU_TESS_WINDING_NONZERO);
    gluTessNormal(tess, 0.0, 0.0, 1.0);
    gluTessBeginPolygon(tess, &out);
    for (TContour& c : contours) {
        gluTessBeginContour(tess);
        for (TPoint& p : c) gluTessVertex(tess, p.data(), &p);
        gluTessEndContour(tess);
    }
    gluTessEndPolygon(tess);
    gluDeleteTess(tess);
    if (out.failed) return {};
    out.triangles.resize(out.triangles.size() / 3 * 3);
    for (std::size_t i = 0; i < out.triangles.size(); i += 3) {
        const TPoint& a = out.triangles[i];
        const TPoint& b = out.triangles[i + 1];
        const TPoint& c = out.triangles[i + 2];
        const double cross = (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
        if (cross < 0) std::swap(out.triangles[i + 1], out.triangles[i + 2]);
    }
    return std::move(out.triangles);
}

// ---------------------------------------------------------------------------
// Glyph lists

void EmitFilledGlyph(std::vector<TContour>& contours, bool oddEven, float extrusion) {
    glFrontFace(GL_CCW);
    const std::vector<TPoint> triangles = Tessellate(contours, oddEven);
    const double back = -double(extrusion);

    glBegin(GL_TRIANGLES);
    glNormal3f(0.0f, 0.0f, 1.0f);
    for (const TPoint& p : triangles) glVertex3d(p[0], p[1], 0.0);
    glEnd();
    if (extrusion == 0.0f) return;

    glBegin(GL_TRIANGLES);
    glNormal3f(0.0f, 0.0f, -1.0f);
    for (std::size_t i = 0; i + 2 < triangles.size(); i += 3) {
        glVertex3d(triangles[i][0], triangles[i][1], back);
        glVertex3d(triangles[i + 2][0], triangles[i + 2][1], back);
        glVertex3d(triangles[i + 1][0], triangles[i + 1][1], back);
    }
    glEnd();

    // The filled side of every contour: to the left of its direction when the
    // glyph's contours run counter-clockwise overall, to the right otherwise.
    // The sides face away from it.
    double area = 0.0;
    for (const TContour& c : contours) area += SignedArea(c);
    const bool fillLeft = area >= 0.0;
    glBegin(GL_QUADS);
    for (const TContour& c : contours) {
        for (std::size_t i = 0, n = c.size(); i < n; ++i) {
            const TPoint& p = c[i];
            const TPoint& q = c[(i + 1) % n];
            const double dx = q[0] - p[0], dy = q[1] - p[1];
            const double len = std::hypot(dx, dy);
            if (len == 0.0) continue;
            if (fillLeft) {
                glNormal3d(dy / len, -dx / len, 0.0);
                glVertex3d(p[0], p[1], 0.0);
                glVertex3d(p[0], p[1], back);
                glVertex3d(q[0], q[1], back);
                glVertex3d(q[0], q[1], 0.0);
            } else {
                glNormal3d(-dy / len, dx / len, 0.0);
                glVertex3d(p[0], p[1], 0.0);
                glVertex3d(q[0], q[1], 0.0);
                glVertex3d(q[0], q[1], back);
                glVertex3d(p[0], p[1], back);
            }
        }
    }
    glEnd();
}

void EmitOutlineGlyph(const std::vector<TContour>& contours) {
    for (const TContour& c : contours) {
        glBegin(GL_LINE_LOOP);
        for (const TPoint& p : c) glVertex3d(p[0], p[1], 0.0);
        glEnd();
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Building

std::unique_ptr<OpenGLVexFont3D> Create3DFont(const QFont* font, std::int32_t first, std::int32_t count,
                                              float deviation, float extrusion, std::int32_t format) {
    if (!font || count <= 0 || !HaveCurrentContext()) return nullptr;
    const GLuint base = glGenLists(count);
    if (base == 0) return nullptr;

    auto record = std::make_unique<OpenGLVexFont3D>();
    record->firstGlyph = first;
    record->glyphCount = count;
    record->listBase = base;
    record->extrusion = extrusion;
    record->GlyphMetrics.resize(std::size_t(count));

    // The outlines at one pixel per design unit, scaled to an em of 1.
    QRawFont raw = QRawFont::fromFont(*font);
    double emScale = 1.0;
    if (raw.isValid()) {
        const qreal em = raw.unitsPerEm() > 0 ? raw.unitsPerEm() : raw.pixelSize();
        if (em > 0) {
            raw.setPixelSize(em);
            emScale = 1.0 / raw.pixelSize();
        }
    }
    const double deviationEm = deviation > 0.0f ? double(deviation) : emScale;
    const bool polygons = format == kFontFormatPolygons;

    for (std::int32_t i = 0; i < count; ++i) {
        GlyphMetricsFloat& m = record->GlyphMetrics[std::size_t(i)];
        std::vector<TContour> contours;
        bool oddEven = false;
        if (raw.isValid()) {
            const QList<quint32> glyphs = raw.glyphIndexesForString(TextForCode(first + i));
            if (!glyphs.isEmpty()) {
                const quint32 glyph = glyphs.front();
                const QPainterPath path = raw.pathForGlyph(glyph);
                oddEven = path.fillRule() == Qt::OddEvenFill;
                contours = Contours(path, emScale, deviationEm);
                const QList<QPointF> advances =
                    raw.advancesForGlyphIndexes(QList<quint32>{glyph}, QRawFont::UseDesignMetrics);
                if (!advances.isEmpty()) {
                    m.cellIncX = float(advances.front().x() * emScale);
                    const qreal dy = advances.front().y();
                    m.cellIncY = dy == 0 ? 0.0f : float(-dy * emScale);
                }
                if (!path.isEmpty()) {
                    const QRectF box = path.boundingRect();
                    m.blackBoxX = float(box.width() * emScale);
                    m.blackBoxY = float(box.height() * emScale);
                    m.originX = float(box.left() * emScale);
                    m.originY = float(-box.top() * emScale);
                }
            }
        }
        glNewList(base + GLuint(i), GL_COMPILE);
        if (polygons)
            EmitFilledGlyph(contours, oddEven, extrusion);
        else
            EmitOutlineGlyph(contours);
        glTranslatef(m.cellIncX, m.cellIncY, 0.0f);
        glEndList();
    }
    return record;
}

std::unique_ptr<OpenGLVexFont2D> Create2DFont(const QFont* font, std::int32_t first, std::int32_t count) {
    if (!font || count <= 0 || !HaveCurrentContext()) return nullptr;
    const GLuint base = glGenLists(count);
    if (base == 0) return nullptr;

    auto record = std::make_unique<OpenGLVexFont2D>();
    record->firstGlyph = first;
    record->glyphCount = count;
    record->listBase = base;

    // One bit per pixel: the glyphs are rendered without antialiasing.
    QFont bitmapFont(*font);
    bitmapFont.setStyleStrategy(QFont::NoAntialias);
    const QFontMetrics metrics(bitmapFont);
    const int margin = metrics.height() + 2;

    // glBitmap reads its image when the list is compiled: tightly packed rows.
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);

    std::vector<GLubyte> bits;
    for (std::int32_t i = 0; i < count; ++i) {
        const QString text = TextForCode(first + i);
        const int advance = metrics.horizontalAdvance(text);
        // The pen at (penX, penY) on the baseline, room on every side.
        const int penX = margin;
        const int penY = margin + metrics.ascent();
        QImage image(std::max(1, advance) + 2 * margin, metrics.height() + 2 * margin, QImage::Format_RGB32);
        image.fill(Qt::black);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::TextAntialiasing, false);
            painter.setFont(bitmapFont);
            painter.setPen(Qt::white);
            painter.drawText(penX, penY, text);
        }
        // The inked box.
        int left = image.width(), right = -1, top = image.height(), bottom = -1;
        for (int y = 0; y < image.height(); ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if (qGray(row[x]) < 128) continue;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
        glNewList(base + GLuint(i), GL_COMPILE);
        if (right < 0) {
            // No ink: one clear pixel. Some drivers drop the raster move of an
            // empty bitmap compiled into a list.
            static const GLubyte kClear = 0;
            glBitmap(1, 1, 0.0f, 0.0f, GLfloat(advance), 0.0f, &kClear);
        } else {
            const int w = right - left + 1;
            const int h = bottom - top + 1;
            const int rowBytes = (w + 7) / 8;
            bits.assign(std::size_t(rowBytes) * std::size_t(h), 0);
            // Bitmap rows bottom-up, most significant bit first.
            for (int j = 0; j < h; ++j) {
                const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(bottom - j));
                for (int x = 0; x < w; ++x)
                    if (qGray(row[left + x]) >= 128)
                        bits[std::size_t(j) * std::size_t(rowBytes) + std::size_t(x / 8)] |= GLubyte(0x80u >> (x % 8));
            }
            // Image row penY - 1 is the first row above the baseline, the row of
            // the raster position.
            const GLfloat xorig = GLfloat(penX - left);
            const GLfloat yorig = GLfloat(bottom - penY + 1);
            glBitmap(w, h, xorig, yorig, GLfloat(advance), 0.0f, bits.data());
        }
        glEndList();
    }
    glPopClientAttrib();
    return record;
}

// ---------------------------------------------------------------------------
// Drawing and measuring

void Draw3DText(const OpenGLVexFont3D* font, std::string_view text) {
    if (!font || text.empty()) return;
    if (!AllInRange(text, font->firstGlyph, font->glyphCount)) return;
    glPushAttrib(GL_LIST_BIT);
    GLint frontFace = GL_CCW;
    glGetIntegerv(GL_FRONT_FACE, &frontFace);
    glListBase(font->listBase - GLuint(font->firstGlyph));
    glCallLists(GLsizei(text.size()), GL_UNSIGNED_BYTE, text.data());
    glFrontFace(GLenum(frontFace));
    glPopAttrib();
}

void Draw2DText(const OpenGLVexFont2D* font, std::string_view text) {
    if (!font || text.empty()) return;
    if (!AllInRange(text, font->firstGlyph, font->glyphCount)) return;
    glPushAttrib(GL_LIST_BIT);
    glListBase(font->listBase - GLuint(font->firstGlyph));
    glCallLists(GLsizei(text.size()), GL_UNSIGNED_BYTE, text.data());
    glPopAttrib();
}

void Get3DTextSize(const OpenGLVexFont3D* font, std::string_view text, double size[3]) {
    if (!font || !size || text.empty()) return;
    size[0] = 0.0;
    size[1] = 0.0;
    size[2] = double(font->extrusion);
    const std::size_t last = text.size() - 1;
    for (std::size_t i = 0; i <= last; ++i) {
        const std::int64_t code = std::int64_t(static_cast<unsigned char>(text[i])) - font->firstGlyph;
        if (code < 0 || code >= font->glyphCount || std::size_t(code) >= font->GlyphMetrics.size()) {
            size[0] = size[1] = size[2] = 0.0;
            return;
        }
        const GlyphMetricsFloat& m = font->GlyphMetrics[std::size_t(code)];
        if (i < last) {
            size[0] += m.cellIncX;
            size[1] += m.cellIncY;
        } else {
            size[0] += m.blackBoxX;
            size[1] += m.blackBoxY;
        }
    }
}

}  // namespace vistrel
