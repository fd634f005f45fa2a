// Pages of the file system in headless Chromium (Debian's chromium): the
// DOM as the page's scripts left it, or a screenshot with WebGL drawn on the
// CPU; and PNG pictures read back through libpng.
#pragma once

#include <png.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "ToolRunner.h"

namespace tooltest {

inline constexpr const char* kChromium = "/usr/bin/chromium";

// Standard output of Chromium on page#hash, with no sandbox, nothing
// fetched and a fresh profile; a screenshot (800 x 600, once the scripts are
// done) when png is given.
inline std::string Chromium(const std::filesystem::path& page, const std::string& hash,
                            const std::filesystem::path& scratch, const std::string& png = "") {
    std::vector<std::string> args{"--headless",
                                  "--no-sandbox",
                                  "--disable-quic",
                                  "--no-first-run",
                                  "--disable-background-networking",
                                  "--disable-component-update",
                                  "--disable-sync",
                                  "--user-data-dir=" + (scratch / "chromium-profile").string()};
    if (png.empty())
        args.insert(args.end(), {"--disable-gpu", "--dump-dom"});
    else
        args.insert(args.end(), {"--use-angle=swiftshader", "--enable-unsafe-swiftshader", "--window-size=800,600",
                                 "--virtual-time-budget=20000", "--screenshot=" + png});
    args.push_back("file://" + page.string() + hash);
    return RunTool(kChromium, args, scratch).out;
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
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};  // which frees the image
    width = int(image.width);
    height = int(image.height);
    return pixels;
}

}  // namespace tooltest
