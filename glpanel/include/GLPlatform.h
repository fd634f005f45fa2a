// The platform layer of the OpenGL panel: the steps of context creation
// that can fail (GLPlatform.cpp: Qt's).
#pragma once

#include "PixelFormat.h"

#include <QString>
#include <QSurfaceFormat>

namespace vistrel {

// ---------------------------------------------------------------------------
// Platform layer: the steps of context creation that can fail. The default
// implementation is Qt's; a panel may be given another (SetPlatform), for
// example one that makes a step fail.
// Each step returns false and sets errorText (the platform's own text,
// appended to the step's prefix in ErrorText) on failure.

class TOpenGLVexPanel;

class TGLPlatform {
public:
    virtual ~TGLPlatform() = default;
    // Turns the request into a surface format ("ChoosePixelFormat:").
    // Called when the window parameters are computed, before the context exists.
    virtual bool ChoosePixelFormat(const TPixelFormatDescriptor& request, QSurfaceFormat& format, QString& errorText);
    // Confirms the chosen format is the one the panel's surface was created
    // with ("SetPixelFormat:").
    virtual bool SetPixelFormat(TOpenGLVexPanel& panel, const QSurfaceFormat& format, QString& errorText);
    // Describes the format actually obtained.
    virtual TPixelFormatDescriptor DescribePixelFormat(TOpenGLVexPanel& panel, const TPixelFormatDescriptor& request);
    // Confirms the panel has a usable rendering context ("wglRenderingContext:").
    virtual bool CreateContext(TOpenGLVexPanel& panel, QString& errorText);
    // Makes the panel's context current on this thread ("wglMakeCurrent:").
    virtual bool MakeCurrent(TOpenGLVexPanel& panel, QString& errorText);

    static TGLPlatform& Default();
};

}  // namespace vistrel
