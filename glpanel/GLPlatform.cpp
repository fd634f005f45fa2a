// Qt's implementation of the platform steps of context creation.
#include "GLPlatform.h"
#include "OpenGLVexPanel.h"

#include <QOpenGLContext>

namespace vistrel {

bool TGLPlatform::ChoosePixelFormat(const TPixelFormatDescriptor& request, QSurfaceFormat& format, QString& errorText) {
    if (request.iPixelType != PFD::TYPE_RGBA) {
        errorText = QStringLiteral("Colour-index pixel formats are not offered by this display.\n");
        return false;
    }
    format = SurfaceFormatFromDescriptor(request);
    return true;
}

bool TGLPlatform::SetPixelFormat(TOpenGLVexPanel& panel, const QSurfaceFormat& /*format*/, QString& errorText) {
    // Qt applies the format when it creates the context; that only works if the
    // format reached the widget before.
    if (!panel.SurfaceFormatApplied()) {
        errorText = QStringLiteral("The panel's surface was created before its pixel format could be applied.\n");
        return false;
    }
    return true;
}

TPixelFormatDescriptor TGLPlatform::DescribePixelFormat(TOpenGLVexPanel& panel, const TPixelFormatDescriptor& request) {
    const QSurfaceFormat actual = panel.context() ? panel.context()->format() : panel.format();
    return DescriptorFromSurfaceFormat(actual, request);
}

bool TGLPlatform::CreateContext(TOpenGLVexPanel& panel, QString& errorText) {
    if (!panel.context() || !panel.context()->isValid()) {
        errorText = QStringLiteral("No OpenGL context could be created for the panel.\n");
        return false;
    }
    return true;
}

bool TGLPlatform::MakeCurrent(TOpenGLVexPanel& panel, QString& errorText) {
    if (!panel.context()) {
        errorText = QStringLiteral("The panel has no OpenGL context.\n");
        return false;
    }
    panel.makeCurrent();
    if (QOpenGLContext::currentContext() != panel.context()) {
        errorText = QStringLiteral("The panel's OpenGL context could not be made current.\n");
        return false;
    }
    return true;
}

TGLPlatform& TGLPlatform::Default() {
    static TGLPlatform platform;
    return platform;
}

}  // namespace vistrel
