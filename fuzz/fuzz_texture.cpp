// libFuzzer target: any bytes through the texture decoder. It must give an
// image or an empty result with a reason, never a crash, a read outside the
// bytes, or an allocation the bytes cannot back; an image must be as large as
// it says, and the record interface must agree with the richer one. The
// layout walk of --info must agree with the decoder on the largest level.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "TextureData.h"
#include "TextureLayout.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_texture: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::string error;
    const auto image = vistrel::DecodeTexture(data, size, &error);
    vistrel::TextureData record{};
    const bool decoded = vistrel::DecodeTextureData(&record, data, size);
    if (image) {
        if (image->width <= 0 || image->height <= 0) Fail("an image without pixels");
        if (image->width > vistrel::kMaxTextureSide || image->height > vistrel::kMaxTextureSide)
            Fail("an image beyond the largest side");
        if (image->bgra.size() != std::size_t(image->width) * std::size_t(image->height) * 4)
            Fail("pixel buffer of the wrong size");
        if (!decoded || record.width != image->width || record.height != image->height || !record.pixels)
            Fail("the record disagrees with the image");
    } else {
        if (error.empty()) Fail("a refusal without a reason");
        if (decoded || record.width != 0 || record.height != 0 || record.pixels)
            Fail("the record disagrees with the refusal");
    }
    vistrel::DestroyTextureData(&record);

    const vistrel::TTextureLayout layout = vistrel::WalkTextureLayout(data, size);
    if (layout.Error.empty() && !image) Fail("a sound layout that does not decode");
    if (!layout.Error.empty() && layout.Levels.empty() && image) Fail("a decoded file whose first level is broken");
    if (image && !layout.Levels.empty() &&
        (layout.Levels[0].Width != image->width || layout.Levels[0].Height != image->height ||
         layout.Levels[0].Storage != image->storage))
        Fail("the layout's first level is not the decoded one");

    // A smaller level, when the file has one: never larger than the largest.
    const bool small = vistrel::DecodeTextureData(&record, data, size, nullptr, 4);
    if (decoded && !small) Fail("the largest level decoded but no level that fits");
    if (small && image && (record.width > image->width || record.height > image->height))
        Fail("the smaller level is larger");
    vistrel::DestroyTextureData(&record);
    return 0;
}
