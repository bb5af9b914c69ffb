// Pictures of the test's X display (ImageMagick) and the launcher window's
// layout as every toolkit must draw it (window/controls.h): what a
// screenshot of the window shows where.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/process.h"
#include "window/controls.h"

namespace testsupport {

struct Picture {
    int width = 0, height = 0;
    std::string rgb;  // 3 bytes a pixel, top row first

    std::uint32_t at(int x, int y) const {
        const auto* p = reinterpret_cast<const unsigned char*>(rgb.data()) +
                        3 * (static_cast<std::size_t>(y) * width + x);
        return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
    }
};

// A picture file in any format ImageMagick reads.
inline std::optional<Picture> load_picture(const std::filesystem::path& file) {
    const Result size = run({"identify", "-format", "%w %h", file.string()}, "/", {}, 10s);
    Picture picture;
    if (size.status != 0 || !(std::istringstream(size.output) >> picture.width >> picture.height))
        return std::nullopt;
    const auto raw = std::filesystem::path(file.string() + ".rgb");
    if (run({"convert", file.string(), "-depth", "8", "rgb:" + raw.string()}, "/", {}, 10s)
            .status != 0)
        return std::nullopt;
    picture.rgb = read_bytes(raw);
    std::filesystem::remove(raw);
    if (picture.rgb.size() != 3u * picture.width * picture.height) return std::nullopt;
    return picture;
}

// Where X window `window` is on the screen, and its size.
struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Geometry&) const = default;
};
inline std::optional<Geometry> geometry(const std::string& window) {
    const Result shell = run({"xdotool", "getwindowgeometry", "--shell", window}, "/", {}, 5s);
    std::map<std::string, int> at;  // X, Y, WIDTH, HEIGHT
    std::istringstream lines(shell.output);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) at[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
    }
    if (shell.status != 0 || at["WIDTH"] == 0) return std::nullopt;
    return Geometry{at["X"], at["Y"], at["WIDTH"], at["HEIGHT"]};
}

// The screen under X window `window` (so its shape shows: the root's pixels
// outside it) saved as a PNG `file`, and read back.
inline std::optional<Picture> screenshot(const std::string& window,
                                         const std::filesystem::path& file) {
    const auto g = geometry(window);
    if (!g) return std::nullopt;
    std::filesystem::create_directories(file.parent_path());
    const std::string crop = std::to_string(g->width) + "x" + std::to_string(g->height) + "+" +
                             std::to_string(g->x) + "+" + std::to_string(g->y);
    if (run({"import", "-window", "root", "-crop", crop, "+repage", file.string()}, "/", {}, 20s)
            .status != 0)
        return std::nullopt;
    return load_picture(file);
}

// Where a screenshot of the launcher window breaks its layout: the skin
// (`skin`, bitmap 139) must show unchanged outside every visible control,
// and nowhere its transparent colour (the window is cut to the skin's
// outline); the status texts are on black. Once the servers are listed
// (`ready`) the bars are full (gold), the list shows a line (#505050) and
// OYNA its picture (`start`, bitmap 142). Empty when all holds.
inline std::vector<std::string> layout_faults(const Picture& shot, const Picture& skin,
                                              const Picture& start, bool ready) {
    using namespace window;
    std::vector<std::string> faults;
    if (shot.width < kSkinWidth || shot.height < kSkinHeight) return {"the window is too small"};
    std::vector<Rect> visible;
    for (const Control& c : kControls) {
        if (c.shown || (ready && (c.id == kServerList || c.id == kStartButton)))
            visible.push_back(PlaceInPixels(c.id));
    }
    const auto in = [](const Rect& r, int x, int y) {
        return x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
    };
    int unshaped = 0, changed = 0;
    for (int y = 0; y < kSkinHeight; ++y) {
        for (int x = 0; x < kSkinWidth; ++x) {
            const std::uint32_t expected = skin.at(x, y);
            if (expected == kTransparentColour) {
                unshaped += shot.at(x, y) == kTransparentColour;
            } else if (std::none_of(visible.begin(), visible.end(),
                                    [&](const Rect& r) { return in(r, x, y); })) {
                changed += shot.at(x, y) != expected;
            }
        }
    }
    if (unshaped > 0) faults.push_back(std::to_string(unshaped) + " pixels of the key colour");
    if (changed > 0) faults.push_back(std::to_string(changed) + " pixels of the skin changed");
    for (const int id : {kStatusLabel, kInfoLabel, kSpeedLabel, kCounterLabel}) {
        const Rect r = PlaceInPixels(id);
        int black = 0;
        for (int y = r.y; y < r.y + r.height; ++y)
            for (int x = r.x; x < r.x + r.width; ++x) black += shot.at(x, y) == 0;
        if (black * 10 < r.width * r.height * 7)
            faults.push_back("status text " + std::to_string(id) + " is not on black");
    }
    if (!ready) return faults;
    for (const int id : {kFileProgress, kTotalProgress}) {
        const Rect r = PlaceInPixels(id);
        const std::uint32_t c = shot.at(r.x + r.width / 2, r.y + r.height / 2);
        const unsigned red = c >> 16, green = c >> 8 & 0xFF, blue = c & 0xFF;
        if (!(red > 150 && red > green && green > blue))
            faults.push_back("bar " + std::to_string(id) + " is not full");
    }
    const Rect list = PlaceInPixels(kServerList);
    bool line = false;
    for (int y = list.y; y < list.y + list.height && !line; ++y)
        for (int x = list.x; x < list.x + list.width && !line; ++x)
            line = shot.at(x, y) == 0x505050;
    if (!line) faults.push_back("the server list shows no line");
    const Rect button = PlaceInPixels(kStartButton);
    int wrong = 0;
    for (int y = 0; y < start.height && y < button.height; ++y)
        for (int x = 0; x < start.width && x < button.width; ++x)
            wrong += shot.at(button.x + x, button.y + y) != start.at(x, y);
    if (wrong > 0) faults.push_back(std::to_string(wrong) + " pixels of OYNA differ");
    return faults;
}

}  // namespace testsupport
