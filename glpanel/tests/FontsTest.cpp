// Display-list fonts: bitmap text where the raster position is, outline text
// with its metrics, the range check, state restored after drawing, records
// rebuilt and released.
#include "GLFonts.h"
#include "OpenGLVexPanel.h"

#include <gtest/gtest.h>

#include <QOpenGLContext>
#include <QRawFont>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

using namespace vistrel;

namespace {

QFont TestFont(int pixelSize) {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(pixelSize);
    return f;
}

// A window with one panel; the panel draws through a replaceable scene.
struct FontHost {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    TOpenGLVexPanel* panel = new TOpenGLVexPanel(window.get());
    std::function<void()> scene;

    FontHost() {
        window->resize(160, 96);
        panel->setGeometry(0, 0, 160, 96);
        panel->OnPaint = [this](TOpenGLVexPanel* s) {
            glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            // Window coordinates: one unit per pixel, origin lower left.
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glOrtho(0, s->width(), 0, s->height(), -100, 100);
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
            glDisable(GL_LIGHTING);
            glDisable(GL_TEXTURE_2D);
            glColor3f(1.0f, 1.0f, 1.0f);
            if (scene) scene();
        };
    }
    bool Show() {
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }
};

bool Lit(const QImage& img, int x, int y) {
    const QColor c = img.pixelColor(x, y);
    return c.red() > 128 && c.green() > 128 && c.blue() > 128;
}

int CountLit(const QImage& img, QRect area) {
    area = area.intersected(img.rect());
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (Lit(img, x, y)) ++n;
    return n;
}

QRect LitBox(const QImage& img) {
    QRect box;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (Lit(img, x, y)) box |= QRect(x, y, 1, 1);
    return box;
}

}  // namespace

// ---------------------------------------------------------------------------
// Bitmap text

TEST(Font2DTest, TextAppearsAtTheRasterPosition) {
    FontHost host;
    host.panel->SetFont2D_Enabled(true);
    host.panel->SetFont2DType(TestFont(24));
    host.scene = [&] {
        glRasterPos2i(20, 20);
        host.panel->Draw2DText("A");
    };
    ASSERT_TRUE(host.Show());
    ASSERT_NE(host.panel->Font2DRecord(), nullptr);
    EXPECT_EQ(host.panel->Font2DRecord()->firstGlyph, 32);
    EXPECT_EQ(host.panel->Font2DRecord()->glyphCount, 96);
    host.panel->Repaint();
    const QImage img = host.panel->CaptureFrame();
    ASSERT_FALSE(img.isNull());
    const int h = img.height();
    const QRect box = LitBox(img);
    ASSERT_FALSE(box.isEmpty());
    // The glyph stands on the baseline (window row 20 is image row h - 21)
    // and starts at the pen, about as tall as the capitals of a 24-pixel font.
    EXPECT_NEAR(box.bottom(), h - 21, 1);
    EXPECT_NEAR(box.left(), 20, 2);
    EXPECT_GE(box.height(), 14);
    EXPECT_LE(box.height(), 22);
    EXPECT_LE(box.width(), 20);
    EXPECT_GT(CountLit(img, box), 30);
}

TEST(Font2DTest, TextAdvancesByEachGlyph) {
    FontHost host;
    host.panel->SetFont2D_Enabled(true);
    host.panel->SetFont2DType(TestFont(24));
    QRect one, two;
    host.scene = [&] {
        glRasterPos2i(10, 40);
        host.panel->Draw2DText("I");
    };
    ASSERT_TRUE(host.Show());
    one = LitBox(host.panel->CaptureFrame());
    host.scene = [&] {
        glRasterPos2i(10, 40);
        host.panel->Draw2DText("II");
    };
    two = LitBox(host.panel->CaptureFrame());
    // A glyph without ink (the space) still advances.
    host.scene = [&] {
        glRasterPos2i(10, 40);
        host.panel->Draw2DText("I I");
    };
    const QRect spaced = LitBox(host.panel->CaptureFrame());
    ASSERT_FALSE(one.isEmpty());
    const QFontMetrics metrics(TestFont(24));
    const int advance = metrics.horizontalAdvance(QLatin1Char('I'));
    const int space = metrics.horizontalAdvance(QLatin1Char(' '));
    ASSERT_GT(space, 0);
    EXPECT_NEAR(two.right(), one.right() + advance, 1);
    EXPECT_NEAR(spaced.right(), two.right() + space, 1);
}

TEST(Font2DTest, OutOfRangeTextDrawsNothing) {
    FontHost host;
    host.panel->SetFont2D_Enabled(true);
    host.panel->SetFont2DType(TestFont(24));
    std::string text = "AB\x80";
    host.scene = [&] {
        glRasterPos2i(20, 20);
        host.panel->Draw2DText(text);
    };
    ASSERT_TRUE(host.Show());
    EXPECT_TRUE(LitBox(host.panel->CaptureFrame()).isEmpty());
    text = std::string("A\nB");  // a control character
    EXPECT_TRUE(LitBox(host.panel->CaptureFrame()).isEmpty());
    text = "";
    EXPECT_TRUE(LitBox(host.panel->CaptureFrame()).isEmpty());
    text = "AB";
    EXPECT_FALSE(LitBox(host.panel->CaptureFrame()).isEmpty());
}

TEST(Font2DTest, ListBaseIsRestored) {
    FontHost host;
    host.panel->SetFont2D_Enabled(true);
    GLint base = -1;
    host.scene = [&] {
        glListBase(5);
        glRasterPos2i(4, 4);
        host.panel->Draw2DText("Hello");
        glGetIntegerv(GL_LIST_BASE, &base);
        glListBase(0);
    };
    ASSERT_TRUE(host.Show());
    host.panel->Repaint();
    EXPECT_EQ(base, 5);
}

TEST(Font2DTest, NoRecordWhenNotEnabled) {
    FontHost host;
    bool drawn = false;
    host.scene = [&] {
        glRasterPos2i(20, 20);
        host.panel->Draw2DText("A");  // no record: nothing
        drawn = true;
    };
    ASSERT_TRUE(host.Show());
    EXPECT_EQ(host.panel->Font2DRecord(), nullptr);
    EXPECT_EQ(host.panel->Font3DRecord(), nullptr);
    EXPECT_TRUE(LitBox(host.panel->CaptureFrame()).isEmpty());
    EXPECT_TRUE(drawn);
}

// ---------------------------------------------------------------------------
// Outline text

TEST(Font3DTest, TextIsDrawnAndStateRestored) {
    FontHost host;
    host.panel->SetFont3D_Enabled(true);
    GLint frontFace = 0, listBase = -1;
    GLenum error = GL_NO_ERROR;
    host.scene = [&] {
        // Back faces culled and the caller's winding clockwise: the glyphs set
        // their own winding, so their front faces still show.
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        glFrontFace(GL_CW);
        glListBase(7);
        glTranslatef(20.0f, 20.0f, 0.0f);
        glScalef(40.0f, 40.0f, 40.0f);
        host.panel->Draw3DText("A");
        glGetIntegerv(GL_FRONT_FACE, &frontFace);
        glGetIntegerv(GL_LIST_BASE, &listBase);
        error = glGetError();
        glFrontFace(GL_CCW);
        glListBase(0);
        glDisable(GL_CULL_FACE);
    };
    ASSERT_TRUE(host.Show());
    const OpenGLVexFont3D* font = host.panel->Font3DRecord();
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->firstGlyph, 32);
    EXPECT_EQ(font->glyphCount, 96);
    EXPECT_FLOAT_EQ(font->extrusion, 0.1f);
    EXPECT_EQ(font->GlyphMetrics.size(), 96u);
    const QImage img = host.panel->CaptureFrame();
    EXPECT_EQ(frontFace, GL_CW);
    EXPECT_EQ(listBase, 7);
    EXPECT_EQ(error, GLenum(GL_NO_ERROR));

    // The A's black box, 40 pixels to the em, from the pen at (20, 20).
    const GlyphMetricsFloat& a = font->GlyphMetrics['A' - 32];
    const QRect box = LitBox(img);
    ASSERT_FALSE(box.isEmpty());
    const int h = img.height();
    EXPECT_NEAR(box.left(), 20 + a.originX * 40, 2);
    EXPECT_NEAR(box.width(), a.blackBoxX * 40, 2);
    EXPECT_NEAR(box.height(), a.blackBoxY * 40, 2);
    EXPECT_NEAR(box.bottom(), h - 21, 2);
    // Filled, not outlined: a good share of the box is lit.
    EXPECT_GT(CountLit(img, box), box.width() * box.height() / 5);
}

TEST(Font3DTest, FacesAreWoundOutward) {
    // With back faces culled the near cap (z = 0) shows and, lit from the
    // viewer, is bright; with front faces culled the far cap (z = -extrusion)
    // shows, its normal turned away from the light.
    FontHost host;
    host.panel->SetFont3D_Enabled(true);
    host.panel->SetFont3D_Extrustion(0.5f);
    GLenum cull = GL_BACK;
    float rotation = 0.0f;
    float minDepth = 2.0f, maxDepth = -1.0f;
    double meanGreen = 0.0;
    host.scene = [&] {
        glEnable(GL_CULL_FACE);
        glCullFace(cull);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_ALWAYS);  // culling alone decides what is seen
        glEnable(GL_LIGHTING);
        glEnable(GL_LIGHT0);
        glEnable(GL_NORMALIZE);  // the glyphs are scaled up
        const GLfloat towardsViewer[4] = {0.0f, 0.0f, 1.0f, 0.0f};
        const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        const GLfloat black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        glLightfv(GL_LIGHT0, GL_POSITION, towardsViewer);
        glLightfv(GL_LIGHT0, GL_DIFFUSE, white);
        glLightfv(GL_LIGHT0, GL_AMBIENT, black);
        glLightModelfv(GL_LIGHT_MODEL_AMBIENT, black);
        glTranslatef(80.0f, 30.0f, 0.0f);
        glScalef(40.0f, 40.0f, 40.0f);
        glRotatef(rotation, 0.0f, 1.0f, 0.0f);
        host.panel->Draw3DText("O8");
        const int w = host.panel->width(), h = host.panel->height();
        std::vector<float> depth(std::size_t(w * h));
        std::vector<GLubyte> rgba(std::size_t(w * h * 4));
        glReadPixels(0, 0, w, h, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        minDepth = 2.0f;
        maxDepth = -1.0f;
        double green = 0.0;
        int drawn = 0;
        for (std::size_t i = 0; i < depth.size(); ++i) {
            if (depth[i] >= 1.0f) continue;
            minDepth = std::min(minDepth, depth[i]);
            maxDepth = std::max(maxDepth, depth[i]);
            green += rgba[i * 4 + 1];
            ++drawn;
        }
        meanGreen = drawn ? green / drawn : -1.0;
        glDepthFunc(GL_LESS);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_LIGHTING);
        glDisable(GL_NORMALIZE);
        glDisable(GL_CULL_FACE);
    };
    ASSERT_TRUE(host.Show());
    // glOrtho(..., -100, 100): eye depth z maps to 0.5 - z / 200.
    (void)host.panel->CaptureFrame();
    EXPECT_NEAR(minDepth, 0.5f, 0.002f);
    EXPECT_NEAR(maxDepth, 0.5f, 0.002f);
    EXPECT_GT(meanGreen, 150.0);
    cull = GL_FRONT;
    (void)host.panel->CaptureFrame();
    EXPECT_NEAR(minDepth, 0.6f, 0.002f);
    EXPECT_NEAR(maxDepth, 0.6f, 0.002f);
    EXPECT_LT(meanGreen, 10.0);
    // Turned round, the back cap is the near one.
    rotation = 180.0f;
    cull = GL_BACK;
    (void)host.panel->CaptureFrame();
    EXPECT_NEAR(minDepth, 0.4f, 0.002f);
    EXPECT_GT(meanGreen, 150.0);
}

TEST(Font3DTest, LineFormatDrawsOutlines) {
    FontHost host;
    host.panel->SetFont3D_Enabled(true);
    host.panel->SetFont3DFormat(f_WGL_FONT_LINES);
    host.scene = [&] {
        glTranslatef(20.0f, 20.0f, 0.0f);
        glScalef(60.0f, 60.0f, 60.0f);
        host.panel->Draw3DText("O");
    };
    ASSERT_TRUE(host.Show());
    const QImage img = host.panel->CaptureFrame();
    const QRect box = LitBox(img);
    ASSERT_FALSE(box.isEmpty());
    // An outlined O is hollow: its centre is dark.
    EXPECT_FALSE(Lit(img, box.center().x(), box.center().y()));
    EXPECT_LT(CountLit(img, box), box.width() * box.height() / 2);
}

TEST(Font3DTest, OutOfRangeTextDrawsNothing) {
    FontHost host;
    host.panel->SetFont3D_Enabled(true);
    std::string text = "A\xC4";
    host.scene = [&] {
        glTranslatef(20.0f, 20.0f, 0.0f);
        glScalef(40.0f, 40.0f, 40.0f);
        host.panel->Draw3DText(text);
    };
    ASSERT_TRUE(host.Show());
    EXPECT_TRUE(LitBox(host.panel->CaptureFrame()).isEmpty());
    text = "A";
    EXPECT_FALSE(LitBox(host.panel->CaptureFrame()).isEmpty());
}

TEST(Font3DTest, SizesFromTheMetrics) {
    FontHost host;
    host.panel->SetFont3D_Enabled(true);
    ASSERT_TRUE(host.Show());
    const OpenGLVexFont3D* font = host.panel->Font3DRecord();
    ASSERT_NE(font, nullptr);
    const GlyphMetricsFloat& a = font->GlyphMetrics['A' - 32];
    const GlyphMetricsFloat& b = font->GlyphMetrics['B' - 32];

    // An em of 1: a capital A is about two thirds of an em wide and high,
    // stands on the baseline and advances the pen horizontally.
    EXPECT_GT(a.cellIncX, 0.5f);
    EXPECT_LT(a.cellIncX, 0.85f);
    EXPECT_EQ(a.cellIncY, 0.0f);
    EXPECT_GT(a.blackBoxY, 0.6f);
    EXPECT_LT(a.blackBoxY, 0.8f);
    EXPECT_NEAR(a.originY, a.blackBoxY, 0.01f);
    EXPECT_GT(a.blackBoxX, 0.5f);
    EXPECT_LE(a.blackBoxX, a.cellIncX + 0.05f);
    // The space has no ink, only an advance.
    const GlyphMetricsFloat& space = font->GlyphMetrics[0];
    EXPECT_EQ(space.blackBoxX, 0.0f);
    EXPECT_GT(space.cellIncX, 0.1f);

    double size[3] = {-1, -1, -1};
    host.panel->Get3DTextSize("A", size);
    EXPECT_DOUBLE_EQ(size[0], double(a.blackBoxX));
    EXPECT_DOUBLE_EQ(size[1], double(a.blackBoxY));
    EXPECT_DOUBLE_EQ(size[2], double(0.1f));

    host.panel->Get3DTextSize("AB", size);
    EXPECT_DOUBLE_EQ(size[0], double(a.cellIncX) + double(b.blackBoxX));
    EXPECT_DOUBLE_EQ(size[1], double(a.cellIncY) + double(b.blackBoxY));
    EXPECT_DOUBLE_EQ(size[2], double(0.1f));

    // Out of range anywhere: nothing measured.
    host.panel->Get3DTextSize("A\x7F\x80", size);
    EXPECT_EQ(size[0], 0.0);
    EXPECT_EQ(size[1], 0.0);
    EXPECT_EQ(size[2], 0.0);
    size[0] = size[1] = size[2] = 5.0;
    host.panel->Get3DTextSize(
        "\x1F"
        "A",
        size);
    EXPECT_EQ(size[0], 0.0);

    // Empty text, no font, no size: untouched.
    size[0] = size[1] = size[2] = 5.0;
    host.panel->Get3DTextSize("", size);
    EXPECT_EQ(size[0], 5.0);
    Get3DTextSize(nullptr, "A", size);
    EXPECT_EQ(size[2], 5.0);
    Get3DTextSize(font, "A", nullptr);  // no crash
}

TEST(Font3DTest, CreatingAgainKeepsOneRecordAndFreesTheOldLists) {
    FontHost host;
    host.panel->SetFont3D_Enabled(true);
    ASSERT_TRUE(host.Show());
    ASSERT_NE(host.panel->Font3DRecord(), nullptr);
    const GLuint oldBase = host.panel->Font3DRecord()->listBase;
    const GLint oldCount = host.panel->Font3DRecord()->glyphCount;
    host.panel->makeCurrent();
    ASSERT_TRUE(glIsList(oldBase));

    // Fewer glyphs the second time: names of the first record outside the new
    // record's range must be free, whether or not the new lists reuse them.
    host.panel->SetFont3D_FirstGylph(48);
    host.panel->SetFont3D_NumGylph(10);
    host.panel->Create3DFont();
    const OpenGLVexFont3D* font = host.panel->Font3DRecord();
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->firstGlyph, 48);
    EXPECT_EQ(font->glyphCount, 10);
    ASSERT_EQ(QOpenGLContext::currentContext(), host.panel->context());
    int stillLists = 0;
    for (GLint i = 0; i < oldCount; ++i) {
        const GLuint name = oldBase + GLuint(i);
        const bool inNew = name >= font->listBase && name < font->listBase + GLuint(font->glyphCount);
        if (!inNew && glIsList(name)) ++stillLists;
    }
    EXPECT_EQ(stillLists, 0);
    for (GLint i = 0; i < font->glyphCount; ++i) EXPECT_TRUE(glIsList(font->listBase + GLuint(i)));

    // The panel's text uses the new range: digits only.
    double size[3] = {0, 0, 0};
    host.panel->Get3DTextSize("A", size);
    EXPECT_EQ(size[0], 0.0);
    host.panel->Get3DTextSize("42", size);
    EXPECT_GT(size[0], 0.0);
}

TEST(Font3DTest, RecordsAreRebuiltForANewContext) {
    FontHost host;
    host.panel->SetFont3D_Enabled(true);
    host.panel->SetFont2D_Enabled(true);
    ASSERT_TRUE(host.Show());
    ASSERT_NE(host.panel->Font3DRecord(), nullptr);
    ASSERT_NE(host.panel->Font2DRecord(), nullptr);

    // Moved to another window, the panel gets a new context; the records of
    // the old one were released with it and new ones built.
    QWidget other;
    other.resize(160, 96);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    host.scene = [&] {
        glTranslatef(20.0f, 20.0f, 0.0f);
        glScalef(40.0f, 40.0f, 40.0f);
        host.panel->Draw3DText("A");
    };
    host.panel->setParent(&other);
    host.panel->show();
    QCoreApplication::processEvents();
    const QImage img = host.panel->CaptureFrame();
    EXPECT_NE(host.panel->Font3DRecord(), nullptr);
    EXPECT_NE(host.panel->Font2DRecord(), nullptr);
    EXPECT_FALSE(LitBox(img).isEmpty());

    host.panel->DestroyGLContext();
    EXPECT_EQ(host.panel->Font3DRecord(), nullptr);
    EXPECT_EQ(host.panel->Font2DRecord(), nullptr);
    delete host.panel;
}

TEST(FontBuildTest, NoneWithoutFontListsOrContext) {
    FontHost host;
    ASSERT_TRUE(host.Show());
    host.panel->makeCurrent();
    const QFont font = TestFont(12);
    EXPECT_EQ(Create3DFont(nullptr, 32, 96, 0.1f, 0.1f, 1), nullptr);
    EXPECT_EQ(Create3DFont(&font, 32, 0, 0.1f, 0.1f, 1), nullptr);
    EXPECT_EQ(Create2DFont(nullptr, 32, 96), nullptr);
    EXPECT_EQ(Create2DFont(&font, 32, -1), nullptr);

    // A record the owner builds and releases itself.
    std::unique_ptr<OpenGLVexFont3D> own = Create3DFont(&font, 65, 2, 0.0f, 0.5f, 1);
    ASSERT_NE(own, nullptr);
    const GLuint base = own->listBase;
    EXPECT_TRUE(glIsList(base));
    EXPECT_TRUE(glIsList(base + 1));
    Release3DFont(own);
    EXPECT_EQ(own, nullptr);
    EXPECT_FALSE(glIsList(base));
    EXPECT_FALSE(glIsList(base + 1));

    std::unique_ptr<OpenGLVexFont2D> own2 = Create2DFont(&font, 65, 2);
    ASSERT_NE(own2, nullptr);
    const GLuint base2 = own2->listBase;
    EXPECT_TRUE(glIsList(base2));
    Release2DFont(own2);
    EXPECT_FALSE(glIsList(base2));

    host.panel->doneCurrent();
    ASSERT_EQ(QOpenGLContext::currentContext(), nullptr);
    EXPECT_EQ(Create3DFont(&font, 32, 96, 0.1f, 0.1f, 1), nullptr);
    EXPECT_EQ(Create2DFont(&font, 32, 96), nullptr);
}

TEST(FontBuildTest, CodesAreWindows1252) {
    EXPECT_EQ(CharacterForCode('A'), U'A');
    EXPECT_EQ(CharacterForCode(0x80), U'\u20AC');
    EXPECT_EQ(CharacterForCode(0x9F), U'\u0178');
    EXPECT_EQ(CharacterForCode(0x81), U'\u0081');
    EXPECT_EQ(CharacterForCode(0xC4), U'\u00C4');
}
