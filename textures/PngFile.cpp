#include "PngFile.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include <unistd.h>

namespace vistrel {

bool WritePng(const std::string& path, int width, int height, const uint8_t* rgba, bool keepAlpha,
              std::string& error)
{
    if (width <= 0 || height <= 0) {
        error = "cannot write " + path + ": an empty picture";
        return false;
    }
    std::vector<uint8_t> rgb;
    const uint8_t* pixels = rgba;
    if (!keepAlpha) {
        const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        rgb.resize(3 * n);
        for (std::size_t k = 0; k < n; ++k)
            std::memcpy(&rgb[3 * k], rgba + 4 * k, 3);
        pixels = rgb.data();
    }
    // Opening the file here gives the system's reason when it cannot be
    // created; libpng then writes through the open stream.
    const std::string temporary = path + ".tmp-" + std::to_string(::getpid());
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        error = "cannot create file " + path + ": " + std::strerror(errno);
        return false;
    }
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(width);
    png.height = static_cast<png_uint_32>(height);
    png.format = keepAlpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    const bool written = png_image_write_to_stdio(&png, file, 0, pixels, 0, nullptr) != 0;
    const std::string message = png.message;
    png_image_free(&png);
    const bool closed = std::fclose(file) == 0;
    std::error_code ec;
    if (written && closed) {
        std::filesystem::rename(temporary, path, ec);
        if (!ec)
            return true;
        error = "cannot write " + path + ": " + ec.message();
    } else {
        error = "cannot write " + path + (written ? std::string(": ") + std::strerror(errno) : ": " + message);
    }
    std::filesystem::remove(temporary, ec);
    return false;
}

}  // namespace vistrel
