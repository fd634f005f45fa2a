// libFuzzer target: any bytes through the picture reader. It must give a
// picture or a refusal with a reason, never a crash, a read outside the
// bytes, or an allocation beyond the largest texture's pixels; a picture must
// be as large as it says and within the sides a texture may have, and the
// sides it has must be made to fit a texture by --resize's scaling.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "PictureFile.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_picture: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

bool IsPowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    vistrel::TRgbaPicture picture;
    std::string error, kind;
    if (!vistrel::DecodePicture(data, size, picture, error, &kind)) {
        if (error.empty()) Fail("a refusal without a reason");
        if (picture.Width != 0 || picture.Height != 0 || !picture.Rgba.empty()) Fail("a refusal with pixels");
        return 0;
    }
    if (kind.empty()) Fail("a picture of no kind");
    if (picture.Width <= 0 || picture.Height <= 0) Fail("a picture without pixels");
    if (picture.Width > vistrel::kMaxWrittenTextureSide || picture.Height > vistrel::kMaxWrittenTextureSide)
        Fail("a picture beyond the largest side");
    if (picture.Rgba.size() != std::size_t(picture.Width) * std::size_t(picture.Height) * 4)
        Fail("pixel buffer of the wrong size");
    // scaling small pictures only: the large ones take long and say nothing new
    if (std::size_t(picture.Width) * std::size_t(picture.Height) <= 256 * 256) {
        if (!vistrel::FitTextureSides(picture, true, error)) Fail("a picture that --resize does not fit");
        if (!IsPowerOfTwo(picture.Width) || !IsPowerOfTwo(picture.Height) ||
            picture.Rgba.size() != std::size_t(picture.Width) * std::size_t(picture.Height) * 4)
            Fail("scaled to sides that are not powers of two");
    }
    return 0;
}
