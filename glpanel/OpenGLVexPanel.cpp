// TOpenGLVexPanel: context creation, paint cycle, presentation, window
// parameters and mouse events.
#include "OpenGLVexPanel.h"

#include "GLFonts.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QResizeEvent>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

namespace vistrel {

namespace {

const QString kPanelCaption = QStringLiteral("My OpenGL Panel");

QFont DefaultPanelFont() {
    // Arial with a character height of 9 pixels, no style.
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(9);
    f.setBold(false);
    f.setItalic(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    return f;
}

// Restores a flag on scope exit, also when an event handler throws.
class TFlagScope {
public:
    TFlagScope(bool& flag, bool value) : flag_(flag), old_(flag) { flag_ = value; }
    ~TFlagScope() { flag_ = old_; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

private:
    bool& flag_;
    bool old_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Construction and destruction

TOpenGLVexPanel::TOpenGLVexPanel(QWidget* parent)
    : QOpenGLWidget(parent), m_font3DType(DefaultPanelFont()), m_font2DType(DefaultPanelFont()) {
    m_elapsed.start();
    // Moves are reported without a button held too.
    setMouseTracking(true);
    // The shown frame is kept between paints: a presentation without a new
    // OnPaint (SwapBuffers outside a paint) recomposes the same picture.
    setUpdateBehavior(QOpenGLWidget::PartialUpdate);
    // The background is never erased between frames.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

TOpenGLVexPanel::~TOpenGLVexPanel() {
    // The base class destroys the context after this object's members are
    // gone: release now and stop listening for the context's end.
    if (m_contextConnection) QObject::disconnect(m_contextConnection);
    DestroyGLContext();
    m_errorText.clear();
}

// ---------------------------------------------------------------------------
// Properties with setters

void TOpenGLVexPanel::SetPFDPixelType(TPFDPixelTypes value) {
    m_pixelType = value;
    m_pixelTypeByte = value == f_PFD_TYPE_RGBA ? PFD::TYPE_RGBA : PFD::TYPE_COLORINDEX;
}

void TOpenGLVexPanel::SetPFDFlags(TPFDFlagSet value) {
    // Takes effect the next time a context is created.
    m_pfdFlags = NormalizePFDFlags(m_pfdFlags, value);
}

void TOpenGLVexPanel::SetFont3DFormat(TFont3DFormat value) {
    m_font3DFormat = value;
    m_font3DPlatformFormat = value == f_WGL_FONT_LINES ? 0 : 1;
}

void TOpenGLVexPanel::SetBorder(bool value) {
    m_border = value;
    ApplyWindowStyles();
}

void TOpenGLVexPanel::SetToolWindow(bool value) {
    m_toolWindow = value;
    ApplyWindowStyles();
}

void TOpenGLVexPanel::SetAllowResize(bool value) {
    m_allowResize = value;
    ApplyWindowStyles();
}

void TOpenGLVexPanel::SetCaption(const QString& value) {
    m_caption = value;
    setWindowTitle(value);
}

TPixelFormatDescriptor TOpenGLVexPanel::BuildPixelFormatRequest() const {
    return BuildPixelFormatDescriptor(m_pfdFlags, m_pixelTypeByte, m_colorBits, m_depthBits, m_accBits);
}

// ---------------------------------------------------------------------------
// Platform layer and clock

TGLPlatform& TOpenGLVexPanel::Platform() const { return m_platform ? *m_platform : TGLPlatform::Default(); }

void TOpenGLVexPanel::SetClockForTesting(TClock clock) { m_clock = std::move(clock); }

qint64 TOpenGLVexPanel::Now() { return m_clock ? m_clock() : m_elapsed.nsecsElapsed(); }

// ---------------------------------------------------------------------------
// Errors

void TOpenGLVexPanel::Error() {
    if (OnError) OnError(this);
}

void TOpenGLVexPanel::Report(const char* prefix, const QString& systemText) {
    // The prefix is followed directly by the platform's text.
    m_errorText = QString::fromLatin1(prefix) + systemText;
    Error();
}

// ---------------------------------------------------------------------------
// Window parameters

void TOpenGLVexPanel::EnsureWindowParams() {
    if (m_paramsPending) ComputeWindowParams();
}

void TOpenGLVexPanel::ComputeWindowParams() {
    m_paramsPending = false;
    // The caption is forced whatever it was.
    SetCaption(kPanelCaption);
    m_paramsComputed = true;
    // A top-level panel gets its window styles before its window exists.
    ApplyWindowStyles();
    if (OnPreInit) OnPreInit(this);

    // The pixel format must reach Qt before it creates the context, so it is
    // chosen here, after the owner had its say in OnPreInit. A failure is
    // reported when the context is created.
    m_request = BuildPixelFormatRequest();
    QSurfaceFormat format;
    QString error;
    m_formatChosen = Platform().ChoosePixelFormat(m_request, format, error);
    m_formatApplied = false;
    if (m_formatChosen) {
        m_chosenFormat = format;
        m_chooseError.clear();
        if (!context()) {
            setFormat(format);
            m_formatApplied = true;
        }
    } else {
        m_chooseError = error;
    }
}

void TOpenGLVexPanel::ApplyWindowStyles() {
    // Before the parameters are computed, and for a panel inside another
    // window, the values are only stored.
    if (!m_paramsComputed || !isWindow()) return;

    // ToolWindow: a tool window with a caption bar. Otherwise a window with a
    // frame only when Border or AllowResize asks for one, and no caption.
    Qt::WindowFlags flags;
    if (m_toolWindow) {
        flags = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    } else if (m_border || m_allowResize) {
        flags = Qt::Window | Qt::CustomizeWindowHint;
    } else {
        flags = Qt::Window | Qt::FramelessWindowHint;
    }
    if (m_allowResize) flags |= Qt::WindowMaximizeButtonHint;

    if (windowFlags() != flags) {
        if (m_inCreation) {
            // Changing the flags recreates the native window and with it the
            // context: never from inside the context's own creation.
            QTimer::singleShot(0, this, [this] { ApplyWindowStyles(); });
            return;
        }
        const bool wasVisible = isVisible();
        setWindowFlags(flags);
        if (wasVisible) show();
    }
    // Without AllowResize the user cannot resize the window, the program
    // still can.
    HoldUsersSize();
}

void TOpenGLVexPanel::HoldUsersSize() {
    QWindow* window = isWindow() ? windowHandle() : nullptr;
    if (!window) return;
    if (m_allowResize) {
        window->setMinimumSize(QSize(0, 0));
        window->setMaximumSize(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    } else {
        window->setMinimumSize(size());
        window->setMaximumSize(size());
    }
}

void TOpenGLVexPanel::SetAllowMoving(bool value) {
    m_allowMoving = value;
    m_pinned = false;  // pinned where it is at its next move
}

void TOpenGLVexPanel::moveEvent(QMoveEvent* e) {
    QOpenGLWidget::moveEvent(e);
    if (!isWindow() || m_allowMoving || !isVisible()) return;
    // The program's moves come as its own events; a move the window system
    // reports (the user dragging it) is taken back, as far as the platform
    // lets a window keep its place (see GLPlatform).
    if (!e->spontaneous() || !m_pinned) {
        m_pinnedPos = pos();
        m_pinned = true;
    } else if (pos() != m_pinnedPos) {
        QTimer::singleShot(0, this, [this] {
            if (!m_allowMoving && m_pinned) move(m_pinnedPos);
        });
    }
}

// ---------------------------------------------------------------------------
// Qt hooks that precede context creation

void TOpenGLVexPanel::setVisible(bool visible) {
    // A top-level panel computes its parameters before its window is created.
    if (visible) EnsureWindowParams();
    QOpenGLWidget::setVisible(visible);
}

bool TOpenGLVexPanel::event(QEvent* e) {
    switch (e->type()) {
    case QEvent::Polish:
    case QEvent::Show: EnsureWindowParams(); break;
    default: break;
    }
    const bool result = QOpenGLWidget::event(e);
    if (e->type() == QEvent::Show) CheckQtContextCreation();
    return result;
}

void TOpenGLVexPanel::resizeEvent(QResizeEvent* e) {
    EnsureWindowParams();
    QOpenGLWidget::resizeEvent(e);
    if (!m_allowResize) HoldUsersSize();  // the new size is the one the user may not change
    CheckQtContextCreation();
}

void TOpenGLVexPanel::CheckQtContextCreation() {
    // Qt attempted a context (it has one) but could not create it or make it
    // current: initializeGL never runs, so the failure is reported here.
    if (m_qtFailureReported || !context() || isValid()) return;
    m_qtFailureReported = true;
    if (!context()->isValid())
        Report("wglRenderingContext:", QStringLiteral("No OpenGL context could be created for the panel.\n"));
    else
        Report("wglMakeCurrent:", QStringLiteral("The panel's OpenGL context could not be made current.\n"));
    m_errorText = QStringLiteral("Open GL Context Create Failed");
    Error();
}

// ---------------------------------------------------------------------------
// Context creation

void TOpenGLVexPanel::initializeGL() {
    // Normally done before Qt created the context; this is the last moment.
    EnsureWindowParams();
    if (m_contextConnection) QObject::disconnect(m_contextConnection);
    m_contextConnection = connect(
        context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] { ContextAboutToBeDestroyed(); },
        Qt::DirectConnection);
    WMCreate();
    // Qt goes on drawing with this context after initializeGL.
    if (context() && QOpenGLContext::currentContext() != context()) makeCurrent();
    if (ManualPresentation()) ClearShownFrame();
}

void TOpenGLVexPanel::WMCreate() {
    TFlagScope creating(m_inCreation, true);
    // Nothing raised in here, the owner's handlers included, escapes.
    try {
        if (!CreateGLContext()) {
            m_errorText = QStringLiteral("Open GL Context Create Failed");
            Error();
            return;
        }
        if (m_font3DEnabled) Create3DFont();
        if (m_font2DEnabled) Create2DFont();
        ApplyWindowStyles();
        if (OnInit) OnInit(this);
    } catch (...) {
    }
}

bool TOpenGLVexPanel::CreateGLContext() {
    // The request was built and the format chosen when the window parameters
    // were computed.
    if (!m_formatChosen) {
        Report("ChoosePixelFormat:", m_chooseError);
        return false;
    }
    QString error;
    if (!Platform().SetPixelFormat(*this, m_chosenFormat, error)) {
        Report("SetPixelFormat:", error);
        return false;
    }
    m_doubleBuffered = (m_request.dwFlags & PFD::DOUBLEBUFFER) != 0;
    m_described = Platform().DescribePixelFormat(*this, m_request);
    // Formats that need a logical palette are not offered here: the panel
    // holds no palette (ConstructPalette stays a pure computation).
    if (!Platform().CreateContext(*this, error)) {
        Report("wglRenderingContext:", error);
        return false;
    }
    m_contextCreated = true;
    return MakeOpenGLPanelCurrent();
}

void TOpenGLVexPanel::ContextAboutToBeDestroyed() {
    if (m_contextConnection) QObject::disconnect(m_contextConnection);
    DestroyGLContext();
}

void TOpenGLVexPanel::DestroyGLContext() {
    const bool haveContext = context() && context()->isValid();
    // The font lists and the private framebuffer belong to the context.
    if (haveContext && QOpenGLContext::currentContext() != context()) makeCurrent();
    if (haveContext) {
        m_font3D.reset();
        m_font2D.reset();
        m_backBuffer.reset();
    } else {
        // Nothing to delete them in: forget them.
        if (m_font3D) m_font3D->listBase = 0;
        if (m_font2D) m_font2D->listBase = 0;
        m_font3D.reset();
        m_font2D.reset();
        m_backBuffer.reset();
    }
    MakeOpenGLPanelNotCurrent();
    m_contextCreated = false;
    m_doubleBuffered = false;
    m_formatApplied = false;
    m_qtFailureReported = false;
    // A new context needs its window parameters computed again.
    m_paramsPending = true;
}

// ---------------------------------------------------------------------------
// Fonts

bool TOpenGLVexPanel::MakeFontContextCurrent() {
    if (!context() || !context()->isValid()) return false;
    if (QOpenGLContext::currentContext() != context()) makeCurrent();
    return QOpenGLContext::currentContext() == context();
}

void TOpenGLVexPanel::Create3DFont() {
    const bool current = MakeFontContextCurrent();
    // Without the context the old lists are gone with it: forget them.
    if (!current && m_font3D) m_font3D->listBase = 0;
    m_font3D.reset();
    if (!current) return;
    m_font3D = vistrel::Create3DFont(&m_font3DType, m_font3DFirstGylph, m_font3DNumGylph, m_font3DMaxDeviation,
                                     m_font3DExtrustion, m_font3DPlatformFormat);
}

void TOpenGLVexPanel::Create2DFont() {
    const bool current = MakeFontContextCurrent();
    if (!current && m_font2D) m_font2D->listBase = 0;
    m_font2D.reset();
    if (!current) return;
    m_font2D = vistrel::Create2DFont(&m_font2DType, m_font2DFirstGylph, m_font2DNumGylph);
}

void TOpenGLVexPanel::Draw3DText(std::string_view text) { vistrel::Draw3DText(m_font3D.get(), text); }

void TOpenGLVexPanel::Draw2DText(std::string_view text) { vistrel::Draw2DText(m_font2D.get(), text); }

void TOpenGLVexPanel::Get3DTextSize(std::string_view text, double size[3]) const {
    vistrel::Get3DTextSize(m_font3D.get(), text, size);
}

// ---------------------------------------------------------------------------
// Current context

bool TOpenGLVexPanel::MakeOpenGLPanelCurrent() {
    if (!(context() && QOpenGLContext::currentContext() == context())) {
        QString error;
        if (!Platform().MakeCurrent(*this, error)) {
            Report("wglMakeCurrent:", error);
            return false;
        }
    }
    // Outside a paint, drawing goes where OnPaint would draw.
    if (!m_inPaintGL && context() && QOpenGLContext::currentContext() == context()) {
        if (ManualPresentation()) {
            EnsureBackBuffer();
            m_backBuffer->bind();
        } else {
            context()->functions()->glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
        }
    }
    return true;
}

void TOpenGLVexPanel::MakeOpenGLPanelNotCurrent() {
    if (context() && QOpenGLContext::currentContext() == context()) doneCurrent();
}

bool TOpenGLVexPanel::PanelShareLists(TOpenGLVexPanel* other) {
    if (!other || !context() || !other->context()) return false;
    return QOpenGLContext::areSharing(context(), other->context());
}

// ---------------------------------------------------------------------------
// Presentation

bool TOpenGLVexPanel::ManualPresentation() const {
    return m_swapBuffers == TOpenGLSwapBuffers::Manual && m_doubleBuffered && m_contextCreated;
}

void TOpenGLVexPanel::EnsureBackBuffer() {
    const qreal dpr = devicePixelRatioF();
    const QSize wanted(qMax(1, qRound(width() * dpr)), qMax(1, qRound(height() * dpr)));
    if (m_backBuffer && m_backBuffer->size() == wanted) return;
    m_backBuffer.reset();
    QOpenGLFramebufferObjectFormat fmt;
    fmt.setAttachment(QOpenGLFramebufferObject::CombinedDepthStencil);
    fmt.setInternalTextureFormat(GL_RGBA8);
    m_backBuffer = std::make_unique<QOpenGLFramebufferObject>(wanted, fmt);
}

void TOpenGLVexPanel::PresentBackBuffer() {
    if (!m_backBuffer) return;
    QOpenGLExtraFunctions* f = context()->extraFunctions();
    const QSize src = m_backBuffer->size();
    const GLboolean scissor = f->glIsEnabled(GL_SCISSOR_TEST);
    if (scissor) f->glDisable(GL_SCISSOR_TEST);
    f->glBindFramebuffer(GL_READ_FRAMEBUFFER, m_backBuffer->handle());
    f->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, defaultFramebufferObject());
    f->glBlitFramebuffer(0, 0, src.width(), src.height(), 0, 0, src.width(), src.height(), GL_COLOR_BUFFER_BIT,
                         GL_NEAREST);
    if (scissor) f->glEnable(GL_SCISSOR_TEST);
    // Drawing goes on into the back buffer.
    m_backBuffer->bind();
}

void TOpenGLVexPanel::ClearShownFrame() {
    // The frame shown before the first swap (and after a resize) is black.
    QOpenGLFunctions* f = context()->functions();
    GLfloat clear[4] = {0, 0, 0, 0};
    f->glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    const GLboolean scissor = f->glIsEnabled(GL_SCISSOR_TEST);
    if (scissor) f->glDisable(GL_SCISSOR_TEST);
    f->glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
    f->glClearColor(0, 0, 0, 1);
    f->glClear(GL_COLOR_BUFFER_BIT);
    f->glClearColor(clear[0], clear[1], clear[2], clear[3]);
    if (scissor) f->glEnable(GL_SCISSOR_TEST);
}

void TOpenGLVexPanel::SwapBuffers() {
    if (!m_doubleBuffered || !context()) return;
    if (ManualPresentation()) {
        if (!m_backBuffer) return;
        if (QOpenGLContext::currentContext() != context()) makeCurrent();
        PresentBackBuffer();
    }
    // Inside a paint the composition that follows shows the frame; outside,
    // ask for a composition that shows it without raising OnPaint.
    if (!m_inPaintGL) {
        m_presentOnly = true;
        update();
    }
}

// ---------------------------------------------------------------------------
// Resize and paint

void TOpenGLVexPanel::resizeGL(int /*w*/, int /*h*/) {
    // The widget's framebuffer is new: the paint that follows must draw.
    m_presentOnly = false;
    const bool manual = ManualPresentation();
    if (manual) {
        // Qt made a new framebuffer for the widget; the back buffer follows.
        ClearShownFrame();
        EnsureBackBuffer();
        m_backBuffer->bind();
    }
    if (OnResize) OnResize(this);
    if (context() && QOpenGLContext::currentContext() != context()) makeCurrent();
    if (manual) context()->functions()->glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
}

void TOpenGLVexPanel::paintGL() {
    TFlagScope painting(m_inPaintGL, true);
    ++m_paintCount;
    if (m_presentOnly) {
        // Composition requested by SwapBuffers(): the frame is already there.
        m_presentOnly = false;
        return;
    }
    const qint64 start = m_fpsEnabled ? Now() : 0;
    if (OnPaint) {
        const bool manual = ManualPresentation();
        if (manual) {
            EnsureBackBuffer();
            m_backBuffer->bind();
        }
        OnPaint(this);
        // With Auto swapping and a double-buffered format, the composition that
        // follows paintGL presents the frame (the swap).
        if (context() && QOpenGLContext::currentContext() != context()) makeCurrent();
        if (manual) context()->functions()->glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
    }
    if (m_fpsEnabled) {
        const qint64 elapsed = Now() - start;
        if (elapsed > 0) m_fpsValue = FramesPerSecondFromNanoseconds(elapsed);
    }
}

void TOpenGLVexPanel::Repaint() {
    EnsureWindowParams();
    m_presentOnly = false;
    if (!isVisible()) return;
    const quint64 before = m_paintCount;
    repaint();
    if (m_paintCount == before && isValid()) {
        // Qt defers the paint of a widget that renders into a texture (it
        // waits for the window's next frame): paint into the widget's
        // framebuffer now and have the result composed without a second OnPaint.
        makeCurrent();
        paintGL();
        if (QOpenGLContext::currentContext() == context()) context()->functions()->glFlush();
        m_presentOnly = true;
        update();
    }
}

QImage TOpenGLVexPanel::CaptureFrame() {
    EnsureWindowParams();
    m_presentOnly = false;
    return grabFramebuffer();
}

// ---------------------------------------------------------------------------
// Mouse

TOpenGLVexPanel::TShiftState TOpenGLVexPanel::ShiftStateOf(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons) const {
    TShiftState s;
    s.Shift = mods.testFlag(Qt::ShiftModifier);
    s.Ctrl = mods.testFlag(Qt::ControlModifier);
    s.Alt = mods.testFlag(Qt::AltModifier);
    s.Left = buttons.testFlag(Qt::LeftButton);
    s.Right = buttons.testFlag(Qt::RightButton);
    s.Middle = buttons.testFlag(Qt::MiddleButton);
    return s;
}

void TOpenGLVexPanel::mousePressEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (OnMouseDown) OnMouseDown(this, e->button(), ShiftStateOf(e->modifiers(), e->buttons()), p.x(), p.y());
    e->accept();
}

void TOpenGLVexPanel::mouseMoveEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (OnMouseMove) OnMouseMove(this, Qt::NoButton, ShiftStateOf(e->modifiers(), e->buttons()), p.x(), p.y());
    e->accept();
}

void TOpenGLVexPanel::mouseReleaseEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (OnMouseUp) OnMouseUp(this, e->button(), ShiftStateOf(e->modifiers(), e->buttons()), p.x(), p.y());
    e->accept();
}

void TOpenGLVexPanel::mouseDoubleClickEvent(QMouseEvent* e) {
    const QPoint p = e->position().toPoint();
    if (OnDoubleClick) OnDoubleClick(this, e->button(), ShiftStateOf(e->modifiers(), e->buttons()), p.x(), p.y());
    e->accept();
}

void TOpenGLVexPanel::wheelEvent(QWheelEvent* e) {
    // 120 eighths of a degree to a notch; a touchpad gives parts of one
    const double notches = e->angleDelta().y() / 120.0;
    if (OnMouseWheel && notches != 0) OnMouseWheel(this, notches, ShiftStateOf(e->modifiers(), e->buttons()));
    e->accept();
}

void TOpenGLVexPanel::keyPressEvent(QKeyEvent* e) {
    if (OnKeyDown &&
        OnKeyDown(this, e->key(), e->text(), ShiftStateOf(e->modifiers(), QGuiApplication::mouseButtons()))) {
        e->accept();
        return;
    }
    QOpenGLWidget::keyPressEvent(e);
}

}  // namespace vistrel
