// The panel on screen: event order, painting and capture, Auto and Manual
// swapping, failures of context creation, frame rate, caption, mouse.
#include "OpenGLVexPanel.h"

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace vistrel;

namespace {

struct Rgb {
    int r, g, b;
};

::testing::AssertionResult ColourNear(const QImage& img, QPoint at, Rgb want, int tolerance = 3) {
    if (img.isNull()) return ::testing::AssertionFailure() << "no image";
    const QColor c = img.pixelColor(at);
    if (std::abs(c.red() - want.r) <= tolerance && std::abs(c.green() - want.g) <= tolerance &&
        std::abs(c.blue() - want.b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel at (" << at.x() << "," << at.y() << ") is (" << c.red() << ","
                                         << c.green() << "," << c.blue() << "), wanted (" << want.r << "," << want.g
                                         << "," << want.b << ")";
}

QPoint Centre(const QImage& img) { return QPoint(img.width() / 2, img.height() / 2); }

void ClearTo(Rgb c) {
    QOpenGLFunctions* f = QOpenGLContext::currentContext()->functions();
    f->glClearColor(c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, 1.0f);
    f->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

// A window that holds one panel filling it, as the viewer's form does.
struct Host {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    TOpenGLVexPanel* panel = new TOpenGLVexPanel(window.get());

    Host() {
        window->resize(96, 64);
        panel->setGeometry(0, 0, 96, 64);
    }
    bool Show() {
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }
};

struct FailingPlatform : TGLPlatform {
    enum Step { Choose, Set, Create, Current } step;
    explicit FailingPlatform(Step s) : step(s) {}
    bool ChoosePixelFormat(const TPixelFormatDescriptor& r, QSurfaceFormat& f, QString& e) override {
        if (step == Choose) {
            e = QStringLiteral("The pixel format is invalid.\n");
            return false;
        }
        return TGLPlatform::ChoosePixelFormat(r, f, e);
    }
    bool SetPixelFormat(TOpenGLVexPanel& p, const QSurfaceFormat& f, QString& e) override {
        if (step == Set) {
            e = QStringLiteral("Access denied.\n");
            return false;
        }
        return TGLPlatform::SetPixelFormat(p, f, e);
    }
    bool CreateContext(TOpenGLVexPanel& p, QString& e) override {
        if (step == Create) {
            e = QStringLiteral("No context.\n");
            return false;
        }
        return TGLPlatform::CreateContext(p, e);
    }
    bool MakeCurrent(TOpenGLVexPanel& p, QString& e) override {
        if (step == Current) {
            e = QStringLiteral("Not current.\n");
            return false;
        }
        return TGLPlatform::MakeCurrent(p, e);
    }
};

}  // namespace

TEST(PanelEventsTest, PreInitInitResizePaintInOrder) {
    Host host;
    std::vector<std::string> events;
    bool currentInInit = false;
    TOpenGLVexPanel* p = host.panel;
    p->OnPreInit = [&](TOpenGLVexPanel* s) {
        EXPECT_EQ(s, p);
        EXPECT_EQ(s->context(), nullptr);  // no context yet
        events.push_back("PreInit");
    };
    p->OnInit = [&](TOpenGLVexPanel* s) {
        currentInInit = s->context() && s->context()->isValid() && QOpenGLContext::currentContext() == s->context();
        events.push_back("Init");
    };
    p->OnResize = [&](TOpenGLVexPanel*) { events.push_back("Resize"); };
    p->OnPaint = [&](TOpenGLVexPanel* s) {
        EXPECT_EQ(QOpenGLContext::currentContext(), s->context());
        events.push_back("Paint");
    };
    p->OnError = [&](TOpenGLVexPanel* s) { ADD_FAILURE() << s->ErrorText().toStdString(); };
    ASSERT_TRUE(host.Show());
    p->Repaint();
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events[0], "PreInit");
    EXPECT_EQ(events[1], "Init");
    EXPECT_EQ(events[2], "Resize");
    EXPECT_EQ(events[3], "Paint");
    EXPECT_EQ(std::count(events.begin(), events.end(), "PreInit"), 1);
    EXPECT_EQ(std::count(events.begin(), events.end(), "Init"), 1);
    EXPECT_TRUE(currentInInit);
    EXPECT_TRUE(p->ContextCreated());
    EXPECT_TRUE(p->DoubleBuffered());
    EXPECT_TRUE(p->ParamsComputed());
    EXPECT_TRUE(p->ErrorText().isEmpty());
}

TEST(PanelEventsTest, ResizeRaisesOnResize) {
    Host host;
    int resizes = 0;
    QSize seen;
    host.panel->OnResize = [&](TOpenGLVexPanel* s) {
        ++resizes;
        seen = s->size();
    };
    ASSERT_TRUE(host.Show());
    const int before = resizes;
    host.panel->resize(50, 40);
    QCoreApplication::processEvents();
    EXPECT_GT(resizes, before);
    EXPECT_EQ(seen, QSize(50, 40));
}

TEST(PanelEventsTest, OnPreInitMayChangeTheRequest) {
    Host host;
    host.panel->OnPreInit = [](TOpenGLVexPanel* s) { s->SetPFDNumDepthBits(16); };
    ASSERT_TRUE(host.Show());
    EXPECT_EQ(host.panel->RequestedDescriptor().cDepthBits, 16);
    EXPECT_EQ(host.panel->format().depthBufferSize() >= 16, true);
}

TEST(PanelEventsTest, CaptionIsForced) {
    Host host;
    host.panel->SetCaption(QStringLiteral("Something else"));
    EXPECT_EQ(host.panel->Caption(), QStringLiteral("Something else"));
    ASSERT_TRUE(host.Show());
    EXPECT_EQ(host.panel->Caption(), QStringLiteral("My OpenGL Panel"));
    EXPECT_EQ(host.panel->windowTitle(), QStringLiteral("My OpenGL Panel"));
}

TEST(PanelPaintTest, ClearedFrameIsCaptured) {
    Host host;
    host.panel->OnPaint = [](TOpenGLVexPanel*) { ClearTo({200, 40, 10}); };
    ASSERT_TRUE(host.Show());
    const QImage img = host.panel->CaptureFrame();
    ASSERT_FALSE(img.isNull());
    EXPECT_TRUE(ColourNear(img, Centre(img), {200, 40, 10}));
    EXPECT_TRUE(ColourNear(img, QPoint(0, 0), {200, 40, 10}));
}

TEST(PanelPaintTest, TriangleIsDrawn) {
    Host host;
    host.panel->OnResize = [](TOpenGLVexPanel* s) {
        const qreal dpr = s->devicePixelRatioF();
        glViewport(0, 0, int(s->width() * dpr), int(s->height() * dpr));
    };
    host.panel->OnPaint = [](TOpenGLVexPanel*) {
        ClearTo({0, 0, 64});
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_DEPTH_TEST);
        glColor3f(1.0f, 0.0f, 0.0f);
        glBegin(GL_TRIANGLES);
        glVertex2f(-0.8f, -0.8f);
        glVertex2f(0.8f, -0.8f);
        glVertex2f(0.0f, 0.8f);
        glEnd();
    };
    ASSERT_TRUE(host.Show());
    const QImage img = host.panel->CaptureFrame();
    ASSERT_FALSE(img.isNull());
    EXPECT_TRUE(ColourNear(img, Centre(img), {255, 0, 0}));
    EXPECT_TRUE(ColourNear(img, QPoint(1, 1), {0, 0, 64}));
    int red = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixelColor(x, y).red() > 200) ++red;
    // The triangle covers 0.8 * 0.8 of the panel.
    const double share = double(red) / (img.width() * img.height());
    EXPECT_NEAR(share, 0.32, 0.05);
}

TEST(PanelSwapTest, AutoShowsEveryPaint) {
    Host host;
    Rgb colour{0, 0, 255};
    int paints = 0;
    host.panel->OnPaint = [&](TOpenGLVexPanel*) {
        ++paints;
        ClearTo(colour);
    };
    ASSERT_TRUE(host.Show());
    EXPECT_TRUE(ColourNear(host.panel->CaptureFrame(), {5, 5}, {0, 0, 255}));
    colour = {0, 255, 0};
    const int before = paints;
    host.panel->Repaint();
    EXPECT_EQ(paints, before + 1);  // painted before Repaint returned
    EXPECT_TRUE(ColourNear(host.panel->CaptureFrame(), {5, 5}, {0, 255, 0}));
}

TEST(PanelSwapTest, ManualShowsOnlySwappedFrames) {
    Host host;
    host.panel->SetGLSwapBuffers(TOpenGLSwapBuffers::Manual);
    Rgb colour{255, 0, 0};
    int paints = 0;
    host.panel->OnPaint = [&](TOpenGLVexPanel*) {
        ++paints;
        ClearTo(colour);
    };
    ASSERT_TRUE(host.Show());
    host.panel->Repaint();
    ASSERT_GT(paints, 0);
    // Painted, never swapped: nothing of it is shown.
    EXPECT_TRUE(ColourNear(host.panel->CaptureFrame(), {5, 5}, {0, 0, 0}));
    host.panel->SwapBuffers();
    EXPECT_TRUE(ColourNear(host.panel->CaptureFrame(), {5, 5}, {255, 0, 0}));

    colour = {0, 255, 0};
    host.panel->Repaint();
    QCoreApplication::processEvents();
    EXPECT_TRUE(ColourNear(host.panel->CaptureFrame(), {5, 5}, {255, 0, 0}));
    const int before = paints;
    host.panel->SwapBuffers();
    QCoreApplication::processEvents();
    // Presenting does not paint again.
    EXPECT_EQ(paints, before);
    EXPECT_TRUE(ColourNear(host.panel->CaptureFrame(), {5, 5}, {0, 255, 0}));
}

TEST(PanelSwapTest, ManualSwapInsideOnPaint) {
    Host host;
    host.panel->SetGLSwapBuffers(TOpenGLSwapBuffers::Manual);
    Rgb colour{10, 20, 250};
    bool swap = false;
    host.panel->OnPaint = [&](TOpenGLVexPanel* s) {
        ClearTo(colour);
        if (swap) s->SwapBuffers();
    };
    ASSERT_TRUE(host.Show());
    EXPECT_TRUE(ColourNear(host.panel->CaptureFrame(), {5, 5}, {0, 0, 0}));
    swap = true;
    host.panel->Repaint();
    EXPECT_TRUE(ColourNear(host.panel->CaptureFrame(), {5, 5}, {10, 20, 250}));
}

TEST(PanelSwapTest, ManualDrawingOutsideAPaint) {
    Host host;
    host.panel->SetGLSwapBuffers(TOpenGLSwapBuffers::Manual);
    ASSERT_TRUE(host.Show());
    ASSERT_TRUE(host.panel->MakeOpenGLPanelCurrent());
    ClearTo({90, 90, 0});
    host.panel->SwapBuffers();
    host.panel->MakeOpenGLPanelNotCurrent();
    EXPECT_NE(QOpenGLContext::currentContext(), host.panel->context());
    QCoreApplication::processEvents();
    EXPECT_TRUE(ColourNear(host.panel->CaptureFrame(), {5, 5}, {90, 90, 0}));
}

TEST(PanelSwapTest, SingleBufferedFormatDrawsDirectly) {
    Host host;
    host.panel->SetPFDFlags({f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_OPENGL, f_PFD_SUPPORT_GDI});
    host.panel->SetGLSwapBuffers(TOpenGLSwapBuffers::Manual);
    host.panel->OnPaint = [](TOpenGLVexPanel*) { ClearTo({0, 128, 128}); };
    ASSERT_TRUE(host.Show());
    EXPECT_FALSE(host.panel->DoubleBuffered());
    EXPECT_TRUE(host.panel->RequestedDescriptor().dwFlags & PFD::SUPPORT_GDI);
    EXPECT_FALSE(host.panel->RequestedDescriptor().dwFlags & PFD::DOUBLEBUFFER);
    EXPECT_EQ(host.panel->format().swapBehavior() == QSurfaceFormat::DoubleBuffer, false);
    host.panel->SwapBuffers();  // does nothing
    EXPECT_TRUE(ColourNear(host.panel->CaptureFrame(), {5, 5}, {0, 128, 128}));
}

TEST(PanelFailureTest, ChoosePixelFormatFailure) {
    FailingPlatform platform(FailingPlatform::Choose);
    Host host;
    host.panel->SetPlatform(&platform);
    std::vector<QString> errors;
    int inits = 0, paints = 0;
    host.panel->OnError = [&](TOpenGLVexPanel* s) { errors.push_back(s->ErrorText()); };
    host.panel->OnInit = [&](TOpenGLVexPanel*) { ++inits; };
    host.panel->OnPaint = [&](TOpenGLVexPanel*) { ++paints; };
    ASSERT_TRUE(host.Show());
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0], QStringLiteral("ChoosePixelFormat:The pixel format is invalid.\n"));
    EXPECT_EQ(errors[1], QStringLiteral("Open GL Context Create Failed"));
    EXPECT_EQ(host.panel->ErrorText(), QStringLiteral("Open GL Context Create Failed"));
    EXPECT_EQ(inits, 0);
    EXPECT_FALSE(host.panel->ContextCreated());
    // Later paints go on raising OnPaint, safely.
    const int before = paints;
    host.panel->Repaint();
    EXPECT_EQ(paints, before + 1);
    (void)host.panel->CaptureFrame();
    EXPECT_EQ(errors.size(), 2u);
}

TEST(PanelFailureTest, EachStepHasItsPrefix) {
    const struct {
        FailingPlatform::Step step;
        const char* first;
    } cases[] = {
        {FailingPlatform::Set, "SetPixelFormat:Access denied.\n"},
        {FailingPlatform::Create, "wglRenderingContext:No context.\n"},
    };
    for (const auto& c : cases) {
        FailingPlatform platform(c.step);
        Host host;
        host.panel->SetPlatform(&platform);
        std::vector<QString> errors;
        int inits = 0;
        host.panel->OnError = [&](TOpenGLVexPanel* s) { errors.push_back(s->ErrorText()); };
        host.panel->OnInit = [&](TOpenGLVexPanel*) { ++inits; };
        ASSERT_TRUE(host.Show());
        ASSERT_EQ(errors.size(), 2u) << c.first;
        EXPECT_EQ(errors[0], QString::fromLatin1(c.first));
        EXPECT_EQ(errors[1], QStringLiteral("Open GL Context Create Failed"));
        EXPECT_EQ(inits, 0);
    }
}

TEST(PanelFailureTest, MakeCurrentFailure) {
    // Qt creates the context current, so making it current again can only
    // fail later: after the owner released it.
    FailingPlatform platform(FailingPlatform::Current);
    Host host;
    host.panel->SetPlatform(&platform);
    std::vector<QString> errors;
    host.panel->OnError = [&](TOpenGLVexPanel* s) { errors.push_back(s->ErrorText()); };
    ASSERT_TRUE(host.Show());
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(host.panel->ContextCreated());
    host.panel->MakeOpenGLPanelNotCurrent();
    EXPECT_FALSE(host.panel->MakeOpenGLPanelCurrent());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], QStringLiteral("wglMakeCurrent:Not current.\n"));
}

TEST(PanelFailureTest, ColourIndexIsNotOffered) {
    Host host;
    std::vector<QString> errors;
    host.panel->SetPFDPixelType(f_PFD_TYPE_COLORINDEX);
    host.panel->OnError = [&](TOpenGLVexPanel* s) { errors.push_back(s->ErrorText()); };
    ASSERT_TRUE(host.Show());
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("ChoosePixelFormat:")));
    EXPECT_EQ(errors[1], QStringLiteral("Open GL Context Create Failed"));
}

TEST(PanelFailureTest, ExceptionInOnInitDoesNotEscape) {
    Host host;
    int paints = 0;
    host.panel->OnInit = [](TOpenGLVexPanel*) { throw std::runtime_error("owner failed"); };
    host.panel->OnPaint = [&](TOpenGLVexPanel*) {
        ++paints;
        ClearTo({1, 2, 3});
    };
    ASSERT_TRUE(host.Show());
    host.panel->Repaint();
    EXPECT_GT(paints, 0);
    EXPECT_TRUE(host.panel->ContextCreated());
    EXPECT_TRUE(ColourNear(host.panel->CaptureFrame(), {5, 5}, {1, 2, 3}));
}

TEST(PanelFrameRateTest, MeasuredWithTheInjectedClock) {
    Host host;
    qint64 now = 0, step = 250'000'000;
    host.panel->SetClockForTesting([&] { return now += step; });
    host.panel->OnPaint = [](TOpenGLVexPanel*) {};
    ASSERT_TRUE(host.Show());
    host.panel->Repaint();
    EXPECT_EQ(host.panel->Fps_Value(), 0);  // not enabled
    host.panel->SetFps_Enabled(true);
    host.panel->Repaint();
    EXPECT_EQ(host.panel->Fps_Value(), 4);
    step = 300'000'000;
    host.panel->Repaint();
    EXPECT_EQ(host.panel->Fps_Value(), 3);
    // Measured without an OnPaint handler too.
    host.panel->OnPaint = nullptr;
    step = 100'000'000;
    host.panel->Repaint();
    EXPECT_EQ(host.panel->Fps_Value(), 10);
}

TEST(PanelMouseTest, EventsCarryButtonsKeysAndPosition) {
    Host host;
    struct Call {
        std::string what;
        Qt::MouseButton button;
        TOpenGLVexPanel::TShiftState shift;
        int x, y;
    };
    std::vector<Call> calls;
    auto rec = [&](const char* what) {
        return [&calls, what](TOpenGLVexPanel*, Qt::MouseButton b, TOpenGLVexPanel::TShiftState s, int x, int y) {
            calls.push_back({what, b, s, x, y});
        };
    };
    host.panel->OnMouseDown = rec("down");
    host.panel->OnMouseMove = rec("move");
    host.panel->OnMouseUp = rec("up");
    ASSERT_TRUE(host.Show());

    // A move without a button: delivered straight to the panel (the test
    // display does not always pass on the pointer's first entry into a window).
    EXPECT_TRUE(host.panel->hasMouseTracking());
    QMouseEvent hoverEvent(QEvent::MouseMove, QPointF(7, 8), host.panel->mapToGlobal(QPointF(7, 8)), Qt::NoButton,
                           Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(host.panel, &hoverEvent);
    QTest::mousePress(host.panel, Qt::LeftButton, Qt::ShiftModifier, QPoint(10, 12));
    QTest::mouseMove(host.panel, QPoint(20, 22));
    QTest::mouseRelease(host.panel, Qt::LeftButton, Qt::ShiftModifier, QPoint(21, 23));
    QTest::mousePress(host.panel, Qt::RightButton, Qt::ControlModifier | Qt::AltModifier, QPoint(30, 31));
    QTest::mouseRelease(host.panel, Qt::RightButton, Qt::NoModifier, QPoint(30, 31));

    auto find = [&](const std::string& what, int x, int y) -> const Call* {
        for (const Call& c : calls)
            if (c.what == what && c.x == x && c.y == y) return &c;
        return nullptr;
    };
    const Call* hover = find("move", 7, 8);
    ASSERT_NE(hover, nullptr);  // reported without a button held
    EXPECT_FALSE(hover->shift.Left);

    const Call* down = find("down", 10, 12);
    ASSERT_NE(down, nullptr);
    EXPECT_EQ(down->button, Qt::LeftButton);
    EXPECT_TRUE(down->shift.Shift);
    EXPECT_TRUE(down->shift.Left);
    EXPECT_FALSE(down->shift.Ctrl);
    EXPECT_FALSE(down->shift.Right);

    const Call* drag = find("move", 20, 22);
    ASSERT_NE(drag, nullptr);
    EXPECT_TRUE(drag->shift.Left);

    const Call* up = find("up", 21, 23);
    ASSERT_NE(up, nullptr);
    EXPECT_EQ(up->button, Qt::LeftButton);
    EXPECT_TRUE(up->shift.Shift);
    EXPECT_FALSE(up->shift.Left);

    const Call* right = find("down", 30, 31);
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(right->button, Qt::RightButton);
    EXPECT_TRUE(right->shift.Right);
    EXPECT_TRUE(right->shift.Ctrl);
    EXPECT_TRUE(right->shift.Alt);
    EXPECT_FALSE(right->shift.Shift);
    EXPECT_FALSE(right->shift.Left);
    const Call* rightUp = find("up", 30, 31);
    ASSERT_NE(rightUp, nullptr);
    EXPECT_EQ(rightUp->button, Qt::RightButton);
    EXPECT_FALSE(rightUp->shift.Right);
}

TEST(PanelContextTest, MakeCurrentAndNotCurrent) {
    Host host;
    ASSERT_TRUE(host.Show());
    host.panel->MakeOpenGLPanelNotCurrent();
    EXPECT_NE(QOpenGLContext::currentContext(), host.panel->context());
    EXPECT_TRUE(host.panel->MakeOpenGLPanelCurrent());
    EXPECT_EQ(QOpenGLContext::currentContext(), host.panel->context());
    EXPECT_TRUE(host.panel->MakeOpenGLPanelCurrent());  // already current
    host.panel->MakeOpenGLPanelNotCurrent();
    EXPECT_EQ(QOpenGLContext::currentContext(), nullptr);
}

TEST(PanelContextTest, PanelsOfOneWindowShareLists) {
    Host host;
    auto* second = new TOpenGLVexPanel(host.window.get());
    second->setGeometry(0, 0, 20, 20);
    TOpenGLVexPanel lone;  // never shown: no context
    ASSERT_TRUE(host.Show());
    EXPECT_TRUE(host.panel->PanelShareLists(second));
    EXPECT_FALSE(host.panel->PanelShareLists(&lone));
    EXPECT_FALSE(host.panel->PanelShareLists(nullptr));
}

TEST(PanelContextTest, NewContextAfterMovingToAnotherWindow) {
    Host host;
    std::vector<std::string> events;
    host.panel->OnPreInit = [&](TOpenGLVexPanel*) { events.push_back("PreInit"); };
    host.panel->OnInit = [&](TOpenGLVexPanel*) { events.push_back("Init"); };
    host.panel->OnPaint = [](TOpenGLVexPanel*) { ClearTo({30, 60, 90}); };
    ASSERT_TRUE(host.Show());
    ASSERT_EQ(events, (std::vector<std::string>{"PreInit", "Init"}));

    QWidget other;
    other.resize(80, 60);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    host.panel->setParent(&other);
    host.panel->show();
    QCoreApplication::processEvents();
    (void)host.panel->CaptureFrame();
    EXPECT_EQ(events, (std::vector<std::string>{"PreInit", "Init", "PreInit", "Init"}));
    EXPECT_TRUE(ColourNear(host.panel->CaptureFrame(), {5, 5}, {30, 60, 90}));
    delete host.panel;  // destroyed with its context
}

TEST(PanelWindowTest, ChildPanelOnlyStoresWindowStyles) {
    Host host;
    ASSERT_TRUE(host.Show());
    const Qt::WindowFlags before = host.panel->windowFlags();
    host.panel->SetToolWindow(true);
    host.panel->SetAllowResize(true);
    host.panel->SetBorder(true);
    EXPECT_EQ(host.panel->windowFlags(), before);
    EXPECT_TRUE(host.panel->ToolWindow());
}

TEST(PanelWindowTest, TopLevelPanelGetsItsWindowStyles) {
    TOpenGLVexPanel panel;
    panel.resize(64, 48);
    panel.SetToolWindow(true);
    panel.SetAllowResize(true);
    int inits = 0;
    panel.OnInit = [&](TOpenGLVexPanel*) { ++inits; };
    panel.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    EXPECT_EQ(panel.windowType(), Qt::Tool);
    EXPECT_TRUE(panel.windowFlags().testFlag(Qt::WindowTitleHint));
    EXPECT_EQ(panel.windowTitle(), QStringLiteral("My OpenGL Panel"));
    EXPECT_EQ(inits, 1);
    EXPECT_NE(panel.minimumSize(), panel.maximumSize());

    // Without AllowResize the user's frame keeps the size; the program still
    // resizes the panel (its window then keeps the new size).
    panel.SetAllowResize(false);
    ASSERT_NE(panel.windowHandle(), nullptr);
    EXPECT_EQ(panel.windowHandle()->minimumSize(), panel.windowHandle()->maximumSize());
    panel.resize(200, 150);
    EXPECT_TRUE(QTest::qWaitFor([&] { return panel.size() == QSize(200, 150); }, 2000)) << panel.width();
    EXPECT_EQ(panel.windowHandle()->maximumSize(), QSize(200, 150));
    EXPECT_EQ(panel.windowHandle()->minimumSize(), QSize(200, 150));

    // Without AllowMoving a move that the window system reports (a user's
    // drag, here another program's move of the window) is taken back; the
    // program's own moves stay.
    panel.SetAllowMoving(false);
    panel.move(40, 30);
    ASSERT_TRUE(QTest::qWaitFor([&] { return panel.pos() == QPoint(40, 30); }, 2000));
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowmove"), QString::number(panel.winId()),
                                                  QStringLiteral("300"), QStringLiteral("200")});
    QTest::qWait(600);  // the window system's move, then the panel's own back
    EXPECT_EQ(panel.pos(), QPoint(40, 30));

    // Changing the window type of the live window recreates it, and with it
    // the context: the panel starts over and goes on painting.
    panel.OnPaint = [](TOpenGLVexPanel*) { ClearTo({40, 80, 160}); };
    panel.SetToolWindow(false);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
    QCoreApplication::processEvents();
    EXPECT_EQ(panel.windowType(), Qt::Window);
    EXPECT_TRUE(panel.isVisible());
    EXPECT_TRUE(ColourNear(panel.CaptureFrame(), {5, 5}, {40, 80, 160}));
    EXPECT_GE(inits, 1);
}

// What the X server shows in the host window, polled until it has the wanted
// colour or a second has passed. The window sits in a corner of the screen
// where the windows of tests running beside this one do not cover it.
::testing::AssertionResult ScreenShows(Host& host, QPoint at, Rgb want) {
    ::testing::AssertionResult result = ::testing::AssertionFailure() << "not checked";
    for (int attempt = 0; attempt < 20; ++attempt) {
        QCoreApplication::processEvents();
        QTest::qWait(50);
        const QImage img = host.window->screen()->grabWindow(host.window->winId()).toImage();
        result = ColourNear(img, at, want);
        if (result) break;
    }
    return result;
}

void PlaceInCorner(Host& host) {
    const QRect screen = host.window->screen()->geometry();
    host.window->move(screen.right() - 110, screen.bottom() - 80);
}

TEST(PanelScreenTest, FrameReachesTheScreen) {
    Host host;
    PlaceInCorner(host);
    host.panel->SetGLSwapBuffers(TOpenGLSwapBuffers::Manual);
    Rgb colour{250, 120, 0};
    host.panel->OnPaint = [&](TOpenGLVexPanel*) { ClearTo(colour); };
    ASSERT_TRUE(host.Show());
    host.panel->Repaint();
    EXPECT_TRUE(ScreenShows(host, {10, 10}, {0, 0, 0}));
    host.panel->SwapBuffers();
    EXPECT_TRUE(ScreenShows(host, {10, 10}, {250, 120, 0}));
    host.panel->SetGLSwapBuffers(TOpenGLSwapBuffers::Auto);
    colour = {0, 200, 100};
    host.panel->Repaint();
    EXPECT_TRUE(ScreenShows(host, {10, 10}, {0, 200, 100}));
}

TEST(PanelScreenTest, TransparentClearIsShownOpaque) {
    Host host;
    PlaceInCorner(host);
    host.panel->OnPaint = [&](TOpenGLVexPanel*) {
        glClearColor(0.0f, 0.0f, 1.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    };
    ASSERT_TRUE(host.Show());
    host.panel->Repaint();
    EXPECT_TRUE(ScreenShows(host, {10, 10}, {0, 0, 255}));
}
