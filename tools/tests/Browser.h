// Pages of the file system in headless Chromium (Debian's chromium): the
// page as its scripts made it (the DOM), or a screenshot with WebGL drawn by
// SwiftShader on the CPU; and PNG pictures read back through libpng.
#pragma once

#include <png.h>

#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "ToolRunner.h"

namespace tooltest {

inline constexpr const char* kChromium = "/usr/bin/chromium";

// With the flags this machine needs (no sandbox, nothing fetched, a fresh
// profile); its standard output.
inline std::string Chromium(std::vector<std::string> args, const std::filesystem::path& page, const std::string& hash,
                            const std::filesystem::path& scratch) {
    args.insert(args.end(),
                {"--headless", "--no-sandbox", "--disable-quic", "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync",
                 "--user-data-dir=" + (scratch / "chromium-profile").string(), "file://" + page.string() + hash});
    return RunTool(kChromium, args, scratch).out;
}

inline std::string RenderedDom(const std::filesystem::path& page, const std::string& hash,
                               const std::filesystem::path& scratch) {
    return Chromium({"--disable-gpu", "--dump-dom"}, page, hash, scratch);
}

// An 800 x 600 screenshot once the page's scripts are done.
inline bool ScreenshotWithWebGl(const std::filesystem::path& page, const std::string& hash, const std::string& png,
                                const std::filesystem::path& scratch) {
    std::filesystem::remove(png);
    Chromium({"--use-angle=swiftshader", "--enable-unsafe-swiftshader", "--window-size=800,600",
              "--virtual-time-budget=20000", "--screenshot=" + png},
             page, hash, scratch);
    return std::filesystem::exists(png);
}

// How many of the catalogue's cards a rendered page shows.
inline int ShownCards(const std::string& dom) {
    const std::regex card("<article class=\"card[^\"]*\" id=\"m\\d+\" data-search=\"[^\"]*\"( hidden=\"\")?>");
    int visible = 0;
    for (auto it = std::sregex_iterator(dom.begin(), dom.end(), card); it != std::sregex_iterator(); ++it)
        visible += !(*it)[1].matched;
    return visible;
}

// The PNG read back as RGBA through libpng; empty when it cannot be read.
inline std::vector<uint8_t> ReadPngRgba(const std::string& path, int& width, int& height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return {};
    }
    width = int(image.width);
    height = int(image.height);
    return pixels;
}

}  // namespace tooltest
