#define GL_GLEXT_PROTOTYPES  // frame buffer objects; before the GL headers
#include "Headless.h"

#include "GL.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vistrel {

struct THeadlessContext::TEgl {
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLSurface surface = EGL_NO_SURFACE;
    EGLContext context = EGL_NO_CONTEXT;
    GLuint framebuffer = 0;
    GLuint renderbuffers[2] = {0, 0};
};

namespace {

std::string EglError(const char* what) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%04X", static_cast<unsigned>(eglGetError()));
    return std::string(what) + " failed (EGL error " + code + ")";
}

// Mesa's surfaceless platform: no display server, no surface at all.
EGLDisplay SurfacelessDisplay() {
    const char* extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (!extensions || !std::strstr(extensions, "EGL_MESA_platform_surfaceless")) return EGL_NO_DISPLAY;
    const auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    return getPlatformDisplay ? getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr)
                              : EGL_NO_DISPLAY;
}

}  // namespace

THeadlessContext::THeadlessContext(int width, int height)
    : egl_(std::make_unique<TEgl>()), width_(width), height_(height) {
    TEgl& e = *egl_;
    bool surfaceless = true;
    e.display = SurfacelessDisplay();
    if (e.display == EGL_NO_DISPLAY) {
        surfaceless = false;
        e.display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    }
    EGLint major = 0, minor = 0;
    if (e.display == EGL_NO_DISPLAY || !eglInitialize(e.display, &major, &minor)) {
        error_ = EglError("eglInitialize");
        return;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        error_ = EglError("eglBindAPI(OpenGL)");
        return;
    }
    EGLConfig config = nullptr;
    if (!surfaceless) {
        // a small pbuffer to be current with; the picture goes to the FBO
        const EGLint wanted[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
        EGLint count = 0;
        if (!eglChooseConfig(e.display, wanted, &config, 1, &count) || count < 1) {
            error_ = EglError("eglChooseConfig");
            return;
        }
        const EGLint size[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
        e.surface = eglCreatePbufferSurface(e.display, config, size);
        if (e.surface == EGL_NO_SURFACE) {
            error_ = EglError("eglCreatePbufferSurface");
            return;
        }
    }
    const EGLint attributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                                 EGL_NONE};
    e.context = eglCreateContext(e.display, config, EGL_NO_CONTEXT, attributes);
    if (e.context == EGL_NO_CONTEXT) {
        error_ = EglError("eglCreateContext");
        return;
    }
    if (!eglMakeCurrent(e.display, e.surface, e.surface, e.context)) {
        error_ = EglError("eglMakeCurrent");
        return;
    }

    glGenFramebuffers(1, &e.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, e.framebuffer);
    glGenRenderbuffers(2, e.renderbuffers);
    glBindRenderbuffer(GL_RENDERBUFFER, e.renderbuffers[0]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, e.renderbuffers[0]);
    glBindRenderbuffer(GL_RENDERBUFFER, e.renderbuffers[1]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, e.renderbuffers[1]);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        error_ =
            "the frame buffer of " + std::to_string(width) + " x " + std::to_string(height) + " pixels is not complete";
        return;
    }
    glViewport(0, 0, width, height);
    ok_ = true;
}

THeadlessContext::~THeadlessContext() {
    TEgl& e = *egl_;
    if (e.context != EGL_NO_CONTEXT && eglGetCurrentContext() == e.context) {
        glDeleteRenderbuffers(2, e.renderbuffers);
        glDeleteFramebuffers(1, &e.framebuffer);
        eglMakeCurrent(e.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    if (e.context != EGL_NO_CONTEXT) eglDestroyContext(e.display, e.context);
    if (e.surface != EGL_NO_SURFACE) eglDestroySurface(e.display, e.surface);
    if (e.display != EGL_NO_DISPLAY) eglTerminate(e.display);
}

void THeadlessContext::Release() {
    if (egl_->context != EGL_NO_CONTEXT && eglGetCurrentContext() == egl_->context)
        eglMakeCurrent(egl_->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

bool THeadlessContext::MakeCurrent() {
    if (!ok_) return false;
    if (!eglMakeCurrent(egl_->display, egl_->surface, egl_->surface, egl_->context)) {
        ok_ = false;
        error_ = EglError("eglMakeCurrent");
        return false;
    }
    return true;
}

std::vector<uint8_t> THeadlessContext::ReadRgba() const {
    const auto row = static_cast<std::size_t>(width_) * 4;
    std::vector<uint8_t> bottomUp(row * static_cast<std::size_t>(height_));
    std::vector<uint8_t> rgba(bottomUp.size());
    if (!ok_) return {};
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    for (int y = 0; y < height_; ++y)
        std::memcpy(&rgba[static_cast<std::size_t>(y) * row],
                    &bottomUp[static_cast<std::size_t>(height_ - 1 - y) * row], row);
    for (std::size_t k = 0; k < rgba.size(); k += 4) {
        const unsigned alpha = rgba[k + 3];
        if (alpha == 255 || alpha == 0) continue;
        for (std::size_t c = 0; c < 3; ++c)
            rgba[k + c] = static_cast<uint8_t>(std::min(255u, (rgba[k + c] * 255u + alpha / 2) / alpha));
    }
    return rgba;
}

}  // namespace vistrel
