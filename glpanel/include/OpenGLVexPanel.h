// TOpenGLVexPanel: a widget that owns an OpenGL rendering context for its own
// surface and hands the drawing to its owner through events.
//
// The panel keeps the Windows pixel-format vocabulary of its published
// properties (PFDFlags, cColorBits, f_PFD_DOUBLEBUFFER, ...): the request is
// built as a 40-byte PIXELFORMATDESCRIPTOR and then turned into a
// QSurfaceFormat. The panel is a QOpenGLWidget, so Qt owns the context, the
// framebuffer the widget renders into and its composition into the window.
//
// Events, in the order they are raised for a new surface:
//   OnPreInit  when the window parameters are computed (caption forced, window
//              styles applied to a top-level panel), before the context exists;
//              the owner may still change the pixel-format properties there.
//   OnInit     once per context, with the context current (from initializeGL).
//   OnResize   on every size change (from resizeGL), context current.
//   OnPaint    on every paint (from paintGL), context current; followed by
//              the presentation of the frame when GLSwapBuffers is Auto and
//              the format is double-buffered.
//   OnError    whenever a platform step fails; ErrorText() tells why.
//
// A failed context creation raises OnError twice (the failed step's prefix
// and text, then "Open GL Context Create Failed") and no OnInit. Later paints
// still raise OnPaint: Qt's own context is current then, so the owner's GL
// calls are harmless. Only when Qt itself cannot create a context does
// nothing paint at all.
//
// Repaint() draws the frame before it returns; Qt composes it into the
// window on its next pass of the event loop.
//
// GLSwapBuffers = Manual (double-buffered formats): OnPaint draws into a
// private back framebuffer; what the widget shows changes only when the owner
// calls SwapBuffers(). A single-buffered format (f_PFD_SUPPORT_GDI) draws
// straight into what is shown, whatever GLSwapBuffers says.
#pragma once

#include "GLPlatform.h"
#include "PixelFormat.h"

#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QMetaObject>
#include <QOpenGLWidget>
#include <QString>
#include <QSurfaceFormat>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QOpenGLFramebufferObject;
class QPrinter;

namespace vistrel {

// ---------------------------------------------------------------------------
// The panel's own enumerations (values in declaration order, starting at 0)

enum class TOpenGLSwapBuffers : std::uint8_t { Auto = 0, Manual = 1 };

enum TOpenGLPrintScale : std::uint8_t {
    pglNone = 0,
    pglPrintToFit = 1,
    pglProportional = 2,
};

enum TFont3DFormat : std::uint8_t {
    f_WGL_FONT_LINES = 0,
    f_WGL_FONT_POLYGONS = 1,
};

// Fonts built from the panel's font properties (display lists). The records
// are released with the context.
struct OpenGLVexFont3D;
struct OpenGLVexFont2D;

// ---------------------------------------------------------------------------

class TOpenGLVexPanel : public QOpenGLWidget {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TOpenGLVexPanel* sender)>;
    struct TShiftState {
        bool Shift = false, Ctrl = false, Alt = false, Left = false, Right = false, Middle = false;
    };
    using TMouseEvent =
        std::function<void(TOpenGLVexPanel* sender, Qt::MouseButton button, TShiftState shift, int x, int y)>;
    // notches: wheel notches turned, positive away from the user
    using TWheelEvent = std::function<void(TOpenGLVexPanel* sender, double notches, TShiftState shift)>;
    // key: the Qt key, text: what it types; true when the owner used it
    using TKeyEvent = std::function<bool(TOpenGLVexPanel* sender, int key, const QString& text, TShiftState shift)>;
    // A monotonic clock in nanoseconds for the frame-rate measurement.
    using TClock = std::function<qint64()>;

    explicit TOpenGLVexPanel(QWidget* parent = nullptr);
    ~TOpenGLVexPanel() override;

    // Events (assign directly; an empty function is "not assigned").
    TNotifyEvent OnPreInit, OnInit, OnResize, OnPaint, OnError;
    TMouseEvent OnMouseDown, OnMouseMove, OnMouseUp, OnDoubleClick;
    TWheelEvent OnMouseWheel;
    TKeyEvent OnKeyDown;

    // --- Published properties: getter named as the property, setter below ---
    TPFDPixelTypes PixelType() const { return m_pixelType; }
    void SetPFDPixelType(TPFDPixelTypes value);
    std::uint8_t PlatformPixelType() const { return m_pixelTypeByte; }

    TPFDFlagSet PFDFlags() const { return m_pfdFlags; }
    void SetPFDFlags(TPFDFlagSet value);

    std::uint8_t cColorBits() const { return m_colorBits; }
    void SetPFDNumColorBits(std::uint8_t value) { m_colorBits = value; }
    std::uint8_t cDepthBits() const { return m_depthBits; }
    void SetPFDNumDepthBits(std::uint8_t value) { m_depthBits = value; }
    std::uint8_t cAccBits() const { return m_accBits; }
    void SetPFDNumAccBits(std::uint8_t value) { m_accBits = value; }

    TOpenGLSwapBuffers GLSwapBuffers() const { return m_swapBuffers; }
    void SetGLSwapBuffers(TOpenGLSwapBuffers value) { m_swapBuffers = value; }

    std::int32_t PixelsPerInch() const { return m_pixelsPerInch; }
    void SetOpenGLPixelsPerInch(std::int32_t value) { m_pixelsPerInch = value; }
    TOpenGLPrintScale PrintScale() const { return m_printScale; }
    void SetOpenGLPrintScale(TOpenGLPrintScale value) { m_printScale = value; }

    bool Font3D_Enabled() const { return m_font3DEnabled; }
    void SetFont3D_Enabled(bool value) { m_font3DEnabled = value; }
    const QFont& Font3D_Type() const { return m_font3DType; }
    void SetFont3DType(const QFont& value) { m_font3DType = value; }
    std::int32_t Font3D_FirstGylph() const { return m_font3DFirstGylph; }
    void SetFont3D_FirstGylph(std::int32_t value) { m_font3DFirstGylph = value; }
    std::int32_t Font3D_NumGylph() const { return m_font3DNumGylph; }
    void SetFont3D_NumGylph(std::int32_t value) { m_font3DNumGylph = value; }
    float Font3D_MaxDeviation() const { return m_font3DMaxDeviation; }
    void SetFont3D_MaxDeviation(float value) { m_font3DMaxDeviation = value; }
    float Font3D_Extrustion() const { return m_font3DExtrustion; }
    void SetFont3D_Extrustion(float value) { m_font3DExtrustion = value; }
    TFont3DFormat Font3D_Format() const { return m_font3DFormat; }
    void SetFont3DFormat(TFont3DFormat value);
    // Platform outline format derived from Font3D_Format: 0 lines, 1 polygons.
    std::int32_t Font3D_PlatformFormat() const { return m_font3DPlatformFormat; }

    bool Font2D_Enabled() const { return m_font2DEnabled; }
    void SetFont2D_Enabled(bool value) { m_font2DEnabled = value; }
    const QFont& Font2D_Type() const { return m_font2DType; }
    void SetFont(const QFont& value) { m_font2DType = value; }
    void SetFont2DType(const QFont& value) { m_font2DType = value; }
    std::int32_t Font2D_FirstGylph() const { return m_font2DFirstGylph; }
    void SetFont2D_FirstGylph(std::int32_t value) { m_font2DFirstGylph = value; }
    std::int32_t Font2D_NumGylph() const { return m_font2DNumGylph; }
    void SetFont2D_NumGylph(std::int32_t value) { m_font2DNumGylph = value; }

    bool Fps_Enabled() const { return m_fpsEnabled; }
    void SetFps_Enabled(bool value) { m_fpsEnabled = value; }
    int Fps_Value() const { return m_fpsValue; }

    // Window-style properties: stored; applied as window flags and size
    // constraints only when the panel is a top-level window and its window
    // parameters have been computed.
    bool Border() const { return m_border; }
    void SetBorder(bool value);
    bool ToolWindow() const { return m_toolWindow; }
    void SetToolWindow(bool value);
    bool AllowResize() const { return m_allowResize; }
    void SetAllowResize(bool value);
    bool AllowMoving() const { return m_allowMoving; }
    void SetAllowMoving(bool value);

    // The panel's text; forced to "My OpenGL Panel" when the window parameters
    // are computed. Also the window title.
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& value);

    // --- Run-time state ---
    QString ErrorText() const { return m_errorText; }
    // True once the window parameters were computed (never cleared).
    bool ParamsComputed() const { return m_paramsComputed; }
    // True while the panel holds a successfully created context.
    bool ContextCreated() const { return m_contextCreated; }
    // True when the request asked for double buffering and the format was set.
    bool DoubleBuffered() const { return m_doubleBuffered; }
    // The last pixel-format request and the description of what was obtained.
    const TPixelFormatDescriptor& RequestedDescriptor() const { return m_request; }
    const TPixelFormatDescriptor& DescribedDescriptor() const { return m_described; }
    // The request for the current property values.
    TPixelFormatDescriptor BuildPixelFormatRequest() const;
    // True when the chosen surface format was handed to Qt before the context
    // was created.
    bool SurfaceFormatApplied() const { return m_formatApplied; }

    // --- Operations ---
    // Invalidate and paint at once: the frame is drawn (OnPaint raised) before
    // this returns. Does nothing while the panel has no surface to paint.
    void Repaint();
    // The panel's current image, as shown (runs a paint first, like a repaint).
    QImage CaptureFrame();

    bool MakeOpenGLPanelCurrent();
    void MakeOpenGLPanelNotCurrent();
    // Presents the frame drawn since the last swap when the format is
    // double-buffered; otherwise does nothing. Independent of GLSwapBuffers.
    void SwapBuffers();
    // Qt decides context sharing when a context is created: panels in the same
    // top-level window share, and all panels do when
    // Qt::AA_ShareOpenGLContexts is set before the QApplication exists. This
    // reports whether this panel's context and the other's share their objects.
    bool PanelShareLists(TOpenGLVexPanel* other);
    // Raises OnError (sender = this) if assigned.
    void Error();

    // Fonts (GLFonts.h). The no-argument builders release the panel's own
    // record and build a new one from the font properties (none when the
    // panel has no context); they make the panel's context current first.
    void Create3DFont();
    void Create2DFont();
    // Text with the panel's own records; the context must be current (as in
    // OnPaint). Nothing is drawn without a record.
    void Draw3DText(std::string_view text);
    void Draw2DText(std::string_view text);
    void Get3DTextSize(std::string_view text, double size[3]) const;
    const OpenGLVexFont3D* Font3DRecord() const { return m_font3D.get(); }
    const OpenGLVexFont2D* Font2DRecord() const { return m_font2D.get(); }

    // Printing and image export (PanelPrint.h). The panel's image is captured
    // by a paint (OnPaint draws the scene) and read back at the panel's size.
    // Prints one page on printer with the placement that PrintScale and
    // PixelsPerInch give; when the image buffers cannot be had, ErrorText is
    // "Print: Malloc Error", OnError is raised and nothing is printed. A
    // printer that cannot begin a document prints nothing.
    void PrinTOpenGLVexPanel(QPrinter& printer);
    // The same on a QPrinter made for the job: the system's default printer.
    void PrinTOpenGLVexPanel();
    // Writes the panel's image as a Windows bitmap. A file that cannot be
    // written throws std::runtime_error with the writer's error ("Cannot
    // create file <name>" when the file cannot be created); ErrorText is not
    // touched. The 8-bit name is in the local encoding.
    void SaveOpenGLPanelToFile(const std::string& fileName);
    void SaveOpenGLPanelToFile(const QString& fileName);

    // Display settings
    // Bits per pixel of the primary screen (0 without a screen).
    static std::int32_t GetDisplayBPP();
    // The colour depth of an X11 or Wayland screen cannot be changed while
    // the display runs: always false, the mode is left as it is.
    static bool SetDisplayBPP(std::int32_t bits);
    // True when name is one whole entry of the current context's extension
    // list (exact, case-sensitive); false without a current context.
    static bool QueryOpenGLExtention(const std::string& name);

    // Releases the context-bound resources (font records, private
    // framebuffer) and makes no context current. Runs when Qt is about to
    // destroy the panel's context and when the panel is destroyed.
    void DestroyGLContext();

    // The platform layer of this panel's context creation (nullptr: Qt's).
    // Not owned; must outlive the panel. Takes effect at the next creation.
    void SetPlatform(TGLPlatform* platform) { m_platform = platform; }
    TGLPlatform& Platform() const;

    // --- Testing seam ---
    // Replaces the frame-rate clock of this panel (empty: QElapsedTimer).
    void SetClockForTesting(TClock clock);

protected:
    // QWidget / QOpenGLWidget
    bool event(QEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

public:
    void setVisible(bool visible) override;

private:
    // Window parameters: caption, top-level window styles, OnPreInit, then the
    // pixel format chosen and handed to Qt before the context is created.
    void EnsureWindowParams();
    void ComputeWindowParams();
    // Runs once per context from initializeGL, under a catch-all.
    void WMCreate();
    bool CreateGLContext();
    void Report(const char* prefix, const QString& systemText);
    void ApplyWindowStyles();
    bool ManualPresentation() const;
    void EnsureBackBuffer();
    void PresentBackBuffer();
    void ClearShownFrame();
    qint64 Now();
    void ContextAboutToBeDestroyed();
    void CheckQtContextCreation();
    TShiftState ShiftStateOf(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons) const;
    // Makes the panel's context current for building or releasing fonts;
    // false when it has none.
    bool MakeFontContextCurrent();
    // The image to print or save: a fresh frame at the panel's size (black
    // when no frame can be read); null for a panel of no size.
    QImage CaptureImage();

    // Pixel-format properties and the state derived from them
    TPFDFlagSet m_pfdFlags{f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_OPENGL, f_PFD_DOUBLEBUFFER};
    bool m_doubleBuffered = false;
    TPFDPixelTypes m_pixelType = f_PFD_TYPE_RGBA;
    std::uint8_t m_pixelTypeByte = PFD::TYPE_RGBA;
    std::uint8_t m_colorBits = 32;
    std::uint8_t m_depthBits = 32;
    std::uint8_t m_accBits = 0;
    TOpenGLSwapBuffers m_swapBuffers = TOpenGLSwapBuffers::Auto;
    TOpenGLPrintScale m_printScale = pglProportional;
    std::int32_t m_pixelsPerInch = 96;

    // Fonts
    bool m_font3DEnabled = false;
    QFont m_font3DType;
    std::int32_t m_font3DFirstGylph = 32;
    std::int32_t m_font3DNumGylph = 96;
    float m_font3DMaxDeviation = 1.0f;
    float m_font3DExtrustion = 0.1f;
    TFont3DFormat m_font3DFormat = f_WGL_FONT_POLYGONS;
    std::int32_t m_font3DPlatformFormat = 1;
    std::unique_ptr<OpenGLVexFont3D> m_font3D;
    bool m_font2DEnabled = false;
    QFont m_font2DType;
    std::int32_t m_font2DFirstGylph = 32;
    std::int32_t m_font2DNumGylph = 96;
    std::unique_ptr<OpenGLVexFont2D> m_font2D;

    // Frame rate
    QElapsedTimer m_elapsed;
    TClock m_clock;
    TGLPlatform* m_platform = nullptr;  // nullptr: Qt's
    int m_fpsValue = 0;
    bool m_fpsEnabled = false;

    // Window styles and parameters
    bool m_toolWindow = false;
    bool m_border = false;
    bool m_allowResize = false;
    bool m_allowMoving = false;
    QPoint m_pinnedPos;  // where a top-level panel that may not be moved stays
    bool m_pinned = false;
    // The user's frame may not size a top-level panel without AllowResize:
    // its window keeps the panel's own size as least and largest, the widget
    // none (so that the program can still resize it).
    void HoldUsersSize();
    bool m_paramsComputed = false;
    bool m_paramsPending = true;  // to be computed before the next context
    QString m_caption;

    // Context state
    TPixelFormatDescriptor m_request{};
    TPixelFormatDescriptor m_described{};
    bool m_formatChosen = false;
    bool m_formatApplied = false;
    QSurfaceFormat m_chosenFormat;
    QString m_chooseError;
    bool m_contextCreated = false;
    bool m_inPaintGL = false;
    bool m_inCreation = false;
    bool m_qtFailureReported = false;
    quint64 m_paintCount = 0;
    bool m_presentOnly = false;  // next paintGL only presents (SwapBuffers outside a paint)
    std::unique_ptr<QOpenGLFramebufferObject> m_backBuffer;
    QMetaObject::Connection m_contextConnection;

    QString m_errorText;
};

}  // namespace vistrel
