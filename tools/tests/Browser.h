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

// The flags this machine needs: no sandbox, nothing fetched, a fresh profile.
inline std::vector<std::string> ChromiumArgs(const std::filesystem::path& scratch) {
    return {"--headless",
            "--no-sandbox",
            "--disable-quic",
            "--no-first-run",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            "--user-data-dir=" + (scratch / "chromium-profile").string()};
}

inline std::string RenderedDom(const std::filesystem::path& page, const std::string& hash,
                               const std::filesystem::path& scratch) {
    std::vector<std::string> args = ChromiumArgs(scratch);
    args.insert(args.end(), {"--disable-gpu", "--dump-dom", "file://" + page.string() + hash});
    return RunTool(kChromium, args, scratch).out;
}

// A screenshot of width x height once the page's scripts are done.
inline bool ScreenshotWithWebGl(const std::filesystem::path& page, const std::string& hash, const std::string& png,
                                int width, int height, const std::filesystem::path& scratch) {
    std::vector<std::string> args = ChromiumArgs(scratch);
    args.insert(args.end(), {"--use-angle=swiftshader", "--enable-unsafe-swiftshader",
                             "--window-size=" + std::to_string(width) + "," + std::to_string(height),
                             "--virtual-time-budget=20000", "--screenshot=" + png, "file://" + page.string() + hash});
    return RunTool(kChromium, args, scratch).status == 0;
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
