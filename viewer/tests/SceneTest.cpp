// The view: camera arithmetic, the mouse, the light, and what a frame shows
// (checked on captured frames with some tolerance for the driver's rounding).
#include "Corpus.h"
#include "ListBox.h"
#include "ScriptedPrompt.h"
#include "TestSupport.h"
#include "ViewerModels.h"

#include "Globals.h"

#include <QCheckBox>
#include <QMouseEvent>
#include <QProcess>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>

using namespace vistrel;
using namespace vistrel::test;

namespace {

// --------------------------------------------------------------- pure parts

TEST(CameraTest, ResetAndFit) {
    const TCamera initial = InitialCamera();
    EXPECT_EQ(initial.Distance, -1.0f);
    EXPECT_EQ(initial.PanX, 0.0f);
    EXPECT_EQ(initial.PanY, 0.0f);
    EXPECT_EQ(initial.RotX, 0.0f);
    EXPECT_EQ(initial.RotY, 0.0f);
    EXPECT_EQ(initial.RotZ, 0.0f);

    const TCamera fit = FitCamera({-1, -2, -3}, {1, 2, 3}, {0, 0, 0});
    EXPECT_EQ(fit.RotX, 10.0f);
    EXPECT_EQ(fit.RotY, 0.0f);
    EXPECT_EQ(fit.RotZ, 0.0f);
    EXPECT_EQ(fit.PanX, 0.0f);
    EXPECT_EQ(fit.PanY, 0.0f);
    EXPECT_NEAR(fit.Distance, -0.6432, 1e-4);
    EXPECT_EQ(fit.Distance, static_cast<float>(-(3.0 / std::tan(std::acos(-1.0) / 8)) * 0.05 * 1.5 - 0.1));
}

TEST(CameraTest, FitTakesTheLargestHalfExtentWithTheOffset) {
    // Half extents 1, 4 and 0.5, Offset2 (2, -1, 5): 3, 3 and 5.5.
    const TCamera fit = FitCamera({0, 0, 0}, {2, 8, 1}, {2, -1, 5});
    EXPECT_FLOAT_EQ(fit.PanX, 2 * 0.05f * 1.2f);
    EXPECT_FLOAT_EQ(fit.PanY, 1 * 0.05f * 1.2f);
    EXPECT_NEAR(fit.Distance, -(5.5 / std::tan(std::acos(-1.0) / 8)) * 0.05 * 1.5 - 0.1, 1e-6);
}

TEST(CameraTest, MouseRules) {
    TCamera camera = InitialCamera();
    camera.Distance = -2;
    TMouseState left;
    left.Left = true;
    // Turn: one degree per pixel.
    EXPECT_TRUE(ApplyMouseDrag(camera, left, 100, 100, 110, 130));
    EXPECT_EQ(camera.RotX, 30.0f);
    EXPECT_EQ(camera.RotY, 10.0f);
    EXPECT_EQ(camera.RotZ, 0.0f);
    // Roll with Shift.
    TMouseState shiftLeft = left;
    shiftLeft.Shift = true;
    EXPECT_TRUE(ApplyMouseDrag(camera, shiftLeft, 110, 130, 95, 0));
    EXPECT_EQ(camera.RotZ, -15.0f);
    EXPECT_EQ(camera.RotX, 30.0f);
    // Pan with the right button, Shift or not: k = 0.002 * Distance.
    TMouseState right;
    right.Right = true;
    right.Shift = true;
    EXPECT_TRUE(ApplyMouseDrag(camera, right, 50, 50, 60, 40));
    EXPECT_FLOAT_EQ(camera.PanX, -10 * (0.002f * -2));
    EXPECT_FLOAT_EQ(camera.PanY, -10 * (0.002f * -2));
    // Zoom with Ctrl and the left button, also with the right one held.
    TMouseState zoom = left;
    zoom.Ctrl = true;
    zoom.Right = true;
    EXPECT_TRUE(ApplyMouseDrag(camera, zoom, 0, 50, 0, 45));  // 5 pixels up
    EXPECT_FLOAT_EQ(camera.Distance, -2 + 1 * 5 * 0.1f);
    EXPECT_TRUE(ApplyMouseDrag(camera, zoom, 0, 45, 0, 55));  // 10 down
    EXPECT_FLOAT_EQ(camera.Distance, -1.5f - 0.75f * 10 * 0.1f);
    // Anything else leaves the camera alone.
    const TCamera before = camera;
    TMouseState middle;
    EXPECT_FALSE(ApplyMouseDrag(camera, middle, 0, 0, 40, 40));
    TMouseState ctrlOnly;
    ctrlOnly.Ctrl = true;
    EXPECT_FALSE(ApplyMouseDrag(camera, ctrlOnly, 0, 0, 40, 40));
    EXPECT_EQ(camera.Distance, before.Distance);
    EXPECT_EQ(camera.RotX, before.RotX);
    EXPECT_EQ(camera.PanX, before.PanX);
}

TEST(CameraTest, ZoomStopsShortOfTheEyeAndCanAlwaysGoBack) {
    TCamera camera = InitialCamera();
    TMouseState zoom;
    zoom.Ctrl = zoom.Left = true;
    // 20 pixels up from -1 would reach 0: it stops just in front.
    ApplyMouseDrag(camera, zoom, 0, 20, 0, 0);
    EXPECT_EQ(camera.Distance, NearestDistance);
    ApplyMouseDrag(camera, zoom, 0, 500, 0, 0);
    EXPECT_EQ(camera.Distance, NearestDistance);
    EXPECT_LT(camera.Distance, 0.0f);
    // Moving down pushes the scene away again, 5 % a pixel.
    for (int i = 0; i < 40; ++i) ApplyMouseDrag(camera, zoom, 0, 0, 0, 10);
    EXPECT_LT(camera.Distance, -0.5f);
}

TEST(CameraTest, LightFromTheTrackBars) {
    EXPECT_EQ(InitialLightPosition, (std::array<float, 4>{-5, -20, -10, 1}));
    const auto start = LightFromTrackBars(0, 10, 0, 1);
    EXPECT_FLOAT_EQ(start[0], 0.0f);
    EXPECT_FLOAT_EQ(start[1], 0.05f);
    EXPECT_FLOAT_EQ(start[2], 0.0f);
    EXPECT_EQ(start[3], 1.0f);
    const auto far = LightFromTrackBars(800, -800, 100, 1);
    EXPECT_FLOAT_EQ(far[0], 4.0f);
    EXPECT_FLOAT_EQ(far[1], -4.0f);
    EXPECT_FLOAT_EQ(far[2], 0.5f);
}

// A LOD made in memory: vertices (i, 0, 0), normals (0, 0, 1).
struct TMemoryLod {
    TP3dLOD lod;
    explicit TMemoryLod(int vertices, int normals) {
        for (int i = 0; i < vertices; ++i) lod.Vertexes.Add(new AVertex{static_cast<float>(i), 1, 2, 0});
        for (int i = 0; i < normals; ++i) lod.Normals.Add(new ANormal{0, 0, 1});
    }
    APolygon& Add(std::initializer_list<int> corners, int16_t texture) {
        auto* polygon = new APolygon;
        polygon->VertexCount = static_cast<int32_t>(corners.size());
        int k = 0;
        for (int index : corners) {
            polygon->Corners[k].VertexIndex = index;
            polygon->Corners[k].NormalIndex = index;
            polygon->Corners[k].U = static_cast<float>(k);
            polygon->Corners[k].V = static_cast<float>(index);
            ++k;
        }
        polygon->TextureIndex = texture;
        lod.Polygons.Add(polygon);
        return *polygon;
    }
};

TEST(DrawCacheTest, RunsFollowTextureAndPrimitiveInPolygonOrder) {
    TMemoryLod m(6, 6);
    m.Add({0, 1, 2}, 0);
    m.Add({1, 2, 3}, 0);
    m.Add({0, 1, 2, 3}, 0);  // quad: a new run
    m.Add({0, 1, 2, 3}, 0);
    m.Add({2, 3, 4}, 1);  // another texture
    m.Add({2, 3, 9}, 1);  // vertex 9 does not exist: skipped
    m.Add({3, 4, 5}, 1);  // joins the run before the skipped one
    TLodDrawCache cache;
    cache.Prepare(m.lod);
    ASSERT_EQ(cache.Runs.size(), 3u);
    EXPECT_EQ(cache.Runs[0].Mode, static_cast<GLenum>(GL_TRIANGLES));
    EXPECT_EQ(cache.Runs[0].First, 0);
    EXPECT_EQ(cache.Runs[0].Count, 6);
    EXPECT_EQ(cache.Runs[1].Mode, static_cast<GLenum>(GL_QUADS));
    EXPECT_EQ(cache.Runs[1].First, 6);
    EXPECT_EQ(cache.Runs[1].Count, 8);
    EXPECT_EQ(cache.Runs[2].TextureIndex, 1);
    EXPECT_EQ(cache.Runs[2].First, 14);
    EXPECT_EQ(cache.Runs[2].Count, 6);
    EXPECT_EQ(cache.Positions.size(), 20u * 3);
    EXPECT_EQ(cache.Normals.size(), 20u * 3);
    EXPECT_EQ(cache.TexCoords.size(), 20u * 2);
    // Mapped: x mirrored, normals' y and z negated, all times 0.05.
    EXPECT_FLOAT_EQ(cache.Positions[3], -1 * 0.05f);
    EXPECT_FLOAT_EQ(cache.Positions[4], 1 * 0.05f);
    EXPECT_FLOAT_EQ(cache.Positions[5], 2 * 0.05f);
    EXPECT_FLOAT_EQ(cache.Normals[2], -0.05f);
    // The last corner sent: vertex 5 of the last triangle, corner 2.
    ASSERT_TRUE(cache.HasLastCorner);
    EXPECT_FLOAT_EQ(cache.LastTexCoord[0], 2.0f);
    EXPECT_FLOAT_EQ(cache.LastTexCoord[1], 5.0f);
    EXPECT_FLOAT_EQ(cache.LastNormal[2], -0.05f);
    EXPECT_EQ(cache.Builds, 1);
    cache.Prepare(m.lod);
    EXPECT_EQ(cache.Builds, 1);
    cache.Clear();
    cache.Prepare(m.lod);
    EXPECT_EQ(cache.Builds, 2);
}

TEST(DrawCacheTest, PolygonsReachingOutsideTheListsAreNotDrawn) {
    TMemoryLod m(4, 2);
    EXPECT_TRUE(PolygonDrawable(m.Add({0, 1, 0}, -1), m.lod));
    EXPECT_FALSE(PolygonDrawable(m.Add({0, 1, 2}, -1), m.lod));          // no normal 2
    EXPECT_TRUE(PolygonPositionsDrawable(m.Add({0, 1, 2}, -1), m.lod));  // but a position
    EXPECT_FALSE(PolygonPositionsDrawable(m.Add({0, -1, 2}, -1), m.lod));
    EXPECT_FALSE(PolygonPositionsDrawable(m.Add({0, 1, 4}, -1), m.lod));
    APolygon& odd = m.Add({0, 1}, -1);
    EXPECT_FALSE(PolygonPositionsDrawable(odd, m.lod));
    odd.VertexCount = 5;
    EXPECT_FALSE(PolygonPositionsDrawable(odd, m.lod));
    TLodDrawCache cache;
    cache.Prepare(m.lod);
    EXPECT_EQ(cache.Positions.size(), 3u * 3);
}

// ------------------------------------------------------------------ frames

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<TMain>(&prompt);
        window->resize(819, 725);
        window->show();
        window->InitTimer->stop();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(WaitFor([&] { return window->OpenGl->isValid(); }));
    }
    void TearDown() override { DataPath = savedDataPath; }
    void Load(const BModel& model, const QString& name = QStringLiteral("model.p3d")) {
        window->LoadModel(files.Write(name, model), false);
        ASSERT_NE(window->Model, nullptr);
    }
    void ChooseSelection(const QString& name) {
        for (int i = 0; i < window->LB_Selections->count(); ++i)
            if (window->LB_Selections->item(i)->text() == name) {
                window->LB_Selections->SetItemIndex(i);
                window->CB_VertexesClick();
                return;
            }
        FAIL() << "no selection " << name.toStdString();
    }
    QImage Frame() { return window->OpenGl->CaptureFrame().convertToFormat(QImage::Format_RGB32); }
    static int Drawn(const QImage& image, const QRect& area) {
        return CountPixels(image, area, [](QRgb p) { return !IsBackground(p); });
    }
    // Pixels of two frames that differ in any channel.
    static int Differences(const QImage& a, const QImage& b) {
        if (a.size() != b.size()) return -1;
        int count = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                if (a.pixel(x, y) != b.pixel(x, y)) ++count;
        return count;
    }

    TModelFiles files;
    TScriptedPrompt prompt;
    std::unique_ptr<TMain> window;
    QString savedDataPath = DataPath;
};

TEST_F(SceneTest, InitialisationResetsTheCamera) {
    // The panel's OnInit ran when it was first shown.
    EXPECT_EQ(window->Distance, -1.0f);
    EXPECT_EQ(window->RotX, 0.0f);
    EXPECT_EQ(window->PanX, 0.0f);
    EXPECT_EQ(window->LightPosition, InitialLightPosition);
}

TEST_F(SceneTest, NothingIsDrawnWithoutAChosenLod) {
    Load(ModelWith({QuadLod(-1, 1, -1, 1)}));
    const QImage before = Frame();
    EXPECT_GT(Drawn(before, before.rect()), 500);
    window->LB_LODs->SetItemIndex(-1);
    window->RotY = 90;
    // The background alone: the last picture does not stay.
    QImage frame = Frame();
    EXPECT_EQ(Drawn(frame, frame.rect()), 0);
    window->ReleaseModel();
    frame = Frame();
    EXPECT_EQ(Drawn(frame, frame.rect()), 0);
}

TEST_F(SceneTest, LightFollowsTheTrackBars) {
    window->TB_XChange();
    EXPECT_FLOAT_EQ(window->LightPosition[0], 0.0f);
    EXPECT_FLOAT_EQ(window->LightPosition[1], 0.05f);
    EXPECT_FLOAT_EQ(window->LightPosition[2], 0.0f);
    EXPECT_EQ(window->LightPosition[3], 1.0f);
    window->TB_Z->setValue(-800);
    EXPECT_FLOAT_EQ(window->LightPosition[2], -4.0f);
    EXPECT_FLOAT_EQ(window->LightPosition[1], 0.05f);
}

TEST_F(SceneTest, MouseTurnsRollsPansAndZooms) {
    Load(ModelWith({QuadLod(-1, 1, -1, 1)}));
    int paints = 0;
    window->OpenGl->OnPaint = [&](TOpenGLVexPanel* sender) {
        ++paints;
        window->OpenGlPaint(sender);
    };
    using TShift = TOpenGLVexPanel::TShiftState;
    TShift none;
    TShift left;
    left.Left = true;

    // Without a button down nothing moves, but every move paints.
    const float distance = window->Distance;
    window->OpenGlMouseMove(window->OpenGl, Qt::NoButton, left, 300, 300);
    EXPECT_EQ(window->RotX, 10.0f);
    EXPECT_GE(paints, 1);

    window->OpenGlMouseDown(window->OpenGl, Qt::LeftButton, left, 100, 100);
    EXPECT_TRUE(window->Dragging);
    window->OpenGlMouseMove(window->OpenGl, Qt::NoButton, left, 110, 130);
    EXPECT_EQ(window->RotX, 40.0f);
    EXPECT_EQ(window->RotY, 10.0f);
    EXPECT_EQ(window->LastMouseX, 110);
    EXPECT_EQ(window->LastMouseY, 130);

    TShift roll = left;
    roll.Shift = true;
    window->OpenGlMouseMove(window->OpenGl, Qt::NoButton, roll, 120, 200);
    EXPECT_EQ(window->RotZ, 10.0f);
    EXPECT_EQ(window->RotX, 40.0f);

    TShift right;
    right.Right = true;
    right.Shift = true;
    window->OpenGlMouseMove(window->OpenGl, Qt::NoButton, right, 130, 190);
    EXPECT_FLOAT_EQ(window->PanX, -10 * 0.002f * distance);
    EXPECT_FLOAT_EQ(window->PanY, -10 * 0.002f * distance);

    TShift zoom = left;
    zoom.Ctrl = true;
    window->OpenGlMouseMove(window->OpenGl, Qt::NoButton, zoom, 130, 170);  // 20 up: to the nearest
    EXPECT_EQ(window->Distance, NearestDistance);
    window->OpenGlMouseMove(window->OpenGl, Qt::NoButton, zoom, 130, 370);  // 200 down: away again
    EXPECT_LT(window->Distance, NearestDistance * 10);

    window->OpenGlMouseMove(window->OpenGl, Qt::NoButton, none, 0, 0);  // middle button alone, say
    EXPECT_EQ(window->LastMouseX, 0);
    window->OpenGlMouseUp(window->OpenGl, Qt::LeftButton, none, 0, 0);
    EXPECT_FALSE(window->Dragging);
    const float rotY = window->RotY;
    window->OpenGlMouseMove(window->OpenGl, Qt::NoButton, left, 50, 50);
    EXPECT_EQ(window->RotY, rotY);
    EXPECT_EQ(window->LastMouseX, 0);
}

TEST_F(SceneTest, DraggingOnThePanelTurnsTheCamera) {
    Load(ModelWith({QuadLod(-1, 1, -1, 1)}));
    QWidget* panel = window->OpenGl;
    const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held,
                          Qt::KeyboardModifiers keys = Qt::NoModifier) {
        QMouseEvent event(type, QPointF(at), QPointF(panel->mapToGlobal(at)), button, held, keys);
        QCoreApplication::sendEvent(panel, &event);
    };
    send(QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {105, 120}, Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(window->RotX, 30.0f);
    EXPECT_EQ(window->RotY, 5.0f);
    send(QEvent::MouseMove, {115, 120}, Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(window->RotZ, 10.0f);
    send(QEvent::MouseButtonRelease, {115, 120}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(window->Dragging);
    // The picture follows: the face turned away from the eye is culled.
    window->RotX = 180;
    const QImage frame = Frame();
    EXPECT_EQ(Drawn(frame, frame.rect()), 0);
}

TEST_F(SceneTest, BatchedAndImmediateDrawingGiveTheSamePixels) {
    BModel model = ModelWith({GridLod(40)});
    Load(model);
    ChooseSelection(QStringLiteral("part"));
    window->RotY = 25;
    window->RotX = 30;
    const auto compare = [&](const char* what) {
        window->BatchedDrawing = true;
        const QImage batched = Frame();
        window->BatchedDrawing = false;
        const QImage immediate = Frame();
        window->BatchedDrawing = true;
        EXPECT_GT(Drawn(batched, batched.rect()), 5000) << what;
        EXPECT_EQ(Differences(batched, immediate), 0) << what;
    };
    compare("plain");
    window->CB_Vertexes->click();
    window->CB_Axis->click();
    window->CB_Ground->click();
    compare("markers, axes, ground");
    window->CB_Transparent->click();
    window->TB_Transparency->setValue(35);
    compare("transparent");
    EXPECT_EQ(window->DrawCache.Builds, 1);
}

TEST_F(SceneTest, BatchedAndImmediateDrawingGiveTheSamePixelsWithTextures) {
    DataPath = QStringLiteral(VISTREL_SAMPLES_DIR);
    window->LoadModel(QStringLiteral(VISTREL_SAMPLES_DIR "/tank.p3d"), false);
    ASSERT_NE(window->Model, nullptr);
    EXPECT_TRUE(prompt.Messages.isEmpty()) << prompt.Messages.join(QLatin1Char('|')).toStdString();
    window->RotY = -140;
    window->RotX = 25;
    window->BatchedDrawing = true;
    const QImage batched = Frame();
    window->BatchedDrawing = false;
    const QImage immediate = Frame();
    EXPECT_GT(Drawn(batched, batched.rect()), 5000);
    EXPECT_EQ(Differences(batched, immediate), 0);
}

TEST_F(SceneTest, CachedArraysFollowTheChosenLodAndAreDroppedWithTheModel) {
    Load(ModelWith({QuadLod(-1, 1, -1, 1), QuadLod(0, 1, 0, 1)}));
    (void)Frame();
    EXPECT_EQ(window->DrawCache.Builds, 1);
    (void)Frame();
    EXPECT_EQ(window->DrawCache.Builds, 1);
    window->LB_LODs->SetItemIndex(1);
    window->LB_LODsClick();
    (void)Frame();
    EXPECT_EQ(window->DrawCache.Builds, 2);
    EXPECT_TRUE(window->DrawCache.Holds(*window->Model->LODs[1]));
    window->ReleaseModel();
    EXPECT_TRUE(window->DrawCache.Runs.empty());
    EXPECT_TRUE(window->DrawCache.Positions.empty());
}

TEST_F(SceneTest, PolygonOutsideTheListsIsSkippedInBothWays) {
    Load(ModelWith({QuadLod(-1, 1, -1, 1)}));
    const QImage whole = Frame();
    EXPECT_GT(Drawn(whole, whole.rect()), 500);
    // As a partly read LOD may hold: a corner beyond the vertices.
    window->Model->LODs[0]->Polygons[0]->Corners[2].VertexIndex = 4000;
    window->DrawCache.Clear();
    for (bool batched : {true, false}) {
        window->BatchedDrawing = batched;
        const QImage frame = Frame();
        EXPECT_EQ(Drawn(frame, frame.rect()), 0) << batched;
    }
}

// B on the corpus' sight overlay (flat, facing +z). From the front nothing
// changes, the light marker's own yellow (ambient alone: the light is inside
// it) included; from behind the faces show their fronts' colours, as in a
// mirror (two-sided lighting lit them by the side seen).
TEST_F(SceneTest, BackFacesShowTheColourOfTheirFrontsAndNothingElseChanges) {
    for (const TCorpusModel& corpus : CorpusModels())
        if (corpus.name == "flat") Load(corpus.model);
    window->TB_XChange();  // the light where start-up puts it, above the sight
    const QImage plain = Frame();
    EXPECT_GT(CountPixels(plain, plain.rect(), [](QRgb p) { return Near(p, 178, 178, 0, 4); }), 1000);
    window->BackFaces = true;
    EXPECT_EQ(Differences(plain, Frame()), 0);
    window->TB_X->setValue(800);  // far to the side and in front: the faces lit, the marker out of view
    window->TB_Z->setValue(300);
    window->BackFaces = false;
    const QImage front = Frame();
    window->BackFaces = true;
    window->RotY += 180;
    EXPECT_LT(Differences(front.mirrored(true, false), Frame()), 200);
}

// The window's frame and the picture made without a window (vistrel
// --screenshot, a headless context) are drawn by one scene library: for the
// textured sample with a selection in red they agree on the pixels.
TEST_F(SceneTest, HeadlessPictureEqualsTheWindowsFrame) {
    DataPath = QStringLiteral(VISTREL_SAMPLES_DIR);
    window->LoadModel(QStringLiteral(VISTREL_SAMPLES_DIR "/tank.p3d"), false);
    window->TB_XChange();  // the light where the start-up step puts it
    ChooseSelection(QStringLiteral("turret"));
    const QImage frame = Frame();
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("headless.png"));
    QProcess vistrel;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    vistrel.setProcessEnvironment(environment);
    vistrel.start(QStringLiteral(VISTREL_EXECUTABLE),
                  {QStringLiteral("--screenshot"), out, QStringLiteral("--size"),
                   QStringLiteral("%1x%2").arg(frame.width()).arg(frame.height()), QStringLiteral("--data"),
                   QStringLiteral(VISTREL_SAMPLES_DIR), QStringLiteral("--selection"), QStringLiteral("turret"),
                   QStringLiteral(VISTREL_SAMPLES_DIR "/tank.p3d")});
    ASSERT_TRUE(vistrel.waitForFinished(60000));
    ASSERT_EQ(vistrel.exitCode(), 0) << vistrel.readAllStandardError().toStdString();
    const QImage headless = QImage(out).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(headless.size(), frame.size());
    EXPECT_GT(CountPixels(frame, frame.rect(), [](QRgb p) { return qRed(p) > 200 && qGreen(p) < 60; }), 500);
    EXPECT_LE(Differences(headless, frame), frame.width() * frame.height() / 10000);
}

}  // namespace
