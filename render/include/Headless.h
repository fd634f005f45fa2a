// An OpenGL context that needs no display server, for pictures made without
// a window: EGL on Mesa's surfaceless platform (or a pbuffer of the default
// EGL display where that platform is missing), compatibility profile, made
// current with a frame buffer object of the picture's size (colour with
// alpha, depth) to draw into and read back.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vistrel {

class THeadlessContext {
public:
    THeadlessContext(int width, int height);
    ~THeadlessContext();
    THeadlessContext(const THeadlessContext&) = delete;
    THeadlessContext& operator=(const THeadlessContext&) = delete;

    // False when no context could be made; Error() says why.
    bool Ok() const { return ok_; }
    const std::string& Error() const { return error_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

    // The context is current on the thread that made it. To draw on another
    // thread, Release() it on this one and MakeCurrent() it on that one
    // (which then destroys it, too).
    void Release();
    bool MakeCurrent();

    // What was drawn, RGBA with straight (not premultiplied) alpha, the top
    // row first. The frame buffer's colours are taken as premultiplied by
    // its alpha, as the window's view takes them: blending a face that is
    // not opaque leaves an alpha below 1 there.
    std::vector<uint8_t> ReadRgba() const;

private:
    struct TEgl;
    std::unique_ptr<TEgl> egl_;
    int width_, height_;
    bool ok_ = false;
    std::string error_;
};

}  // namespace vistrel
