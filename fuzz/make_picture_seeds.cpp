// Writes the seed corpus of the picture reader's fuzz target: small pictures
// of every kind it reads, with and without alpha, grey and in colour, TGA raw
// and run-length coded, sides that are powers of two and sides that are not.
//
// Usage: make_picture_seeds OUTPUT_DIR
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

std::vector<uint8_t> Pattern(int w, int h, int channels) {
    std::vector<uint8_t> px(std::size_t(w) * h * channels);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c)
                px[(std::size_t(y) * w + x) * channels + c] = uint8_t((x * 37 + y * 11 + c * 70) ^ (x / 2 * 8));
    return px;
}

void Append(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

bool Save(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_picture_seeds OUTPUT_DIR\n");
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    int written = 0;
    for (const auto [w, h] : {std::pair{4, 4}, std::pair{8, 2}, std::pair{5, 3}})
        for (int channels : {1, 2, 3, 4}) {
            const std::vector<uint8_t> px = Pattern(w, h, channels);
            const std::string stem = std::to_string(w) + "x" + std::to_string(h) + "-" + std::to_string(channels);
            std::vector<uint8_t> bytes;
            const auto save = [&](const std::string& name) {
                if (!bytes.empty() && Save(dir / (stem + name), bytes)) ++written;
                bytes.clear();
            };
            stbi_write_png_to_func(Append, &bytes, w, h, channels, px.data(), 0);
            save(".png");
            stbi_write_bmp_to_func(Append, &bytes, w, h, channels, px.data());
            save(".bmp");
            stbi_write_tga_with_rle = 1;
            stbi_write_tga_to_func(Append, &bytes, w, h, channels, px.data());
            save("-rle.tga");
            stbi_write_tga_with_rle = 0;
            stbi_write_tga_to_func(Append, &bytes, w, h, channels, px.data());
            save(".tga");
            stbi_write_jpg_to_func(Append, &bytes, w, h, channels, px.data(), 90);
            save(".jpg");
        }
    std::printf("%d seeds in %s\n", written, dir.string().c_str());
    return written > 0 ? 0 : 1;
}
