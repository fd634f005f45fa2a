// Printing, image export and display settings of the OpenGL panel.
#include "PanelPrint.h"

#include "AtomicFile.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLFunctions>
#include <QPainter>
#include <QPrinter>
#include <QScreen>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace vistrel {

// ---------------------------------------------------------------------------
// Geometry

int PrintMargin(int pixelsPerInch) {
    // 0.18 inch, truncated; in integers so that no rounding of 0.18 can move
    // a result across a whole pixel.
    return int(std::int64_t(pixelsPerInch) * 18 / 100);
}

TPrintPlacement PrintPlacement(TOpenGLPrintScale scale, std::int32_t& pixelsPerInch, int bmpW, int bmpH,
                               const TPrintDevice& device) {
    TPrintPlacement p;
    p.left = PrintMargin(device.ppiX);
    p.top = PrintMargin(device.ppiY);
    switch (scale) {
    case pglPrintToFit: {
        const int availW = device.horzRes - 2 * p.left;
        const int availH = device.vertRes - 2 * p.top;
        if (availW > availH) {
            p.right = (bmpH != 0 ? availH / bmpH : 0) * bmpW;
            p.bottom = availH;
        } else {
            p.right = availW;
            p.bottom = (bmpW != 0 ? availW / bmpW : 0) * bmpH;
        }
        break;
    }
    case pglProportional: {
        if (pixelsPerInch <= 0) pixelsPerInch = 96;
        // bmp / pixelsPerInch * ppi, truncated: exact in integers.
        p.right = int(std::int64_t(bmpW) * device.ppiX / pixelsPerInch) + p.left;
        p.bottom = int(std::int64_t(bmpH) * device.ppiY / pixelsPerInch) + p.top;
        break;
    }
    case pglNone:
    default:
        p.right = bmpW + p.left;
        p.bottom = bmpH + p.top;
        break;
    }
    return p;
}

// ---------------------------------------------------------------------------
// Extension list

bool ExtensionListContains(const char* list, std::string_view name) {
    if (!list) return false;
    const char* pos = list;
    const char* const end = list + std::strlen(list);
    while (pos < end) {
        const char* space = static_cast<const char*>(std::memchr(pos, ' ', std::size_t(end - pos)));
        const char* entryEnd = space ? space : end;
        const std::string_view entry(pos, std::size_t(entryEnd - pos));
        if (entry == name) return true;
        pos = entryEnd + 1;  // past the entry and one separator
    }
    return false;
}

// ---------------------------------------------------------------------------
// The panel's operations

QImage TOpenGLVexPanel::CaptureImage() {
    const QSize panelSize = size();
    if (panelSize.isEmpty()) return {};
    QImage frame = CaptureFrame();
    if (frame.isNull()) {
        frame = QImage(panelSize, QImage::Format_RGB32);
        if (!frame.isNull()) frame.fill(Qt::black);
        return frame;
    }
    // What the window shows: the frame's colours as drawn, opaque. The GL
    // alpha in them (below 1 where blended faces left it) says nothing about
    // the picture; taken as premultiplied, it would change the colours.
    switch (frame.format()) {
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_ARGB32: frame.reinterpretAsFormat(QImage::Format_RGB32); break;
    case QImage::Format_RGBA8888_Premultiplied:
    case QImage::Format_RGBA8888: frame.reinterpretAsFormat(QImage::Format_RGBX8888); break;
    default: break;
    }
    frame = frame.convertToFormat(QImage::Format_RGB32);
    // On a high-density screen the frame has more pixels than the panel.
    if (frame.size() != panelSize) frame = frame.scaled(panelSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return frame;
}

void TOpenGLVexPanel::PrinTOpenGLVexPanel() {
    QPrinter printer;
    PrinTOpenGLVexPanel(printer);
}

void TOpenGLVexPanel::PrinTOpenGLVexPanel(QPrinter& printer) {
    const QImage captured = CaptureImage();
    const int bmpW = width();
    const int bmpH = height();

    TPrintDevice device;
    device.ppiX = printer.logicalDpiX();
    device.ppiY = printer.logicalDpiY();
    device.horzRes = printer.width();
    device.vertRes = printer.height();
    const TPrintPlacement place = PrintPlacement(m_printScale, m_pixelsPerInch, bmpW, bmpH, device);

    // The device-independent copy of the image that goes to the printer.
    const QImage dib = captured.convertToFormat(QImage::Format_RGB32);
    if (dib.isNull()) {
        m_errorText = QStringLiteral("Print: Malloc Error");
        Error();
        return;
    }

    QPainter painter;
    if (!painter.begin(&printer)) return;
    const QRect target(place.left, place.top, place.right - place.left, place.bottom - place.top);
    // Pixels are repeated, not smoothed, when the picture is enlarged.
    if (target.width() > 0 && target.height() > 0) painter.drawImage(target, dib, dib.rect());
    painter.end();
}

void TOpenGLVexPanel::SaveOpenGLPanelToFile(const QString& fileName) {
    const QImage image = CaptureImage();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, QByteArrayLiteral("bmp"));
    if (!writer.write(image)) throw std::runtime_error(writer.errorString().toLocal8Bit().toStdString());
    const std::string path = QFile::encodeName(fileName).toStdString();
    const std::string cannotCreate = "Cannot create file " + fileName.toLocal8Bit().toStdString();
    // A file is written beside its place and renamed when complete, so that a
    // write that fails leaves nothing that looks whole; a device (not a file)
    // is written as it is. Every byte must reach it, the last flush too.
    std::error_code ec;
    const bool device = std::filesystem::exists(path, ec) && !std::filesystem::is_regular_file(path, ec);
    if (device) {
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) throw std::runtime_error(cannotCreate);
        const bool written = std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), out) ==
                             static_cast<std::size_t>(bytes.size());
        const bool flushed = std::fflush(out) == 0;
        if (std::fclose(out) != 0 || !written || !flushed) throw std::runtime_error("Stream write error");
        return;
    }
    TAtomicFile file(path);
    if (!file.Ok() || !file.Stream()) throw std::runtime_error(cannotCreate);
    if (std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), file.Stream()) !=
            static_cast<std::size_t>(bytes.size()) ||
        !file.Commit())
        throw std::runtime_error("Stream write error");
}

void TOpenGLVexPanel::SaveOpenGLPanelToFile(const std::string& fileName) {
    SaveOpenGLPanelToFile(QString::fromLocal8Bit(fileName.data(), qsizetype(fileName.size())));
}

std::int32_t TOpenGLVexPanel::GetDisplayBPP() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->depth() : 0;
}

bool TOpenGLVexPanel::SetDisplayBPP(std::int32_t /*bits*/) { return false; }

bool TOpenGLVexPanel::QueryOpenGLExtention(const std::string& name) {
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!context) return false;
    QOpenGLFunctions* f = context->functions();
    const GLubyte* list = f->glGetString(GL_EXTENSIONS);
    if (list) return ExtensionListContains(reinterpret_cast<const char*>(list), name);

    // A core profile has no single list (the query above failed with
    // GL_INVALID_ENUM, which is taken back): its entries one by one.
    (void)f->glGetError();
    GLint count = 0;
    f->glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    QOpenGLExtraFunctions* ef = context->extraFunctions();
    for (GLint i = 0; i < count; ++i) {
        const GLubyte* entry = ef->glGetStringi(GL_EXTENSIONS, GLuint(i));
        if (entry && name == reinterpret_cast<const char*>(entry)) return true;
    }
    return false;
}

}  // namespace vistrel
