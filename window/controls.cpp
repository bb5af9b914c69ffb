#include "window/controls.h"

#include <algorithm>
#include <cmath>

namespace window {

namespace {

constexpr Rect kDialogUnits = {0, 0, 425, 440};

// The kinds of control, as the template describes them.
constexpr Control Pane(int id, Rect units) {
    return {.id = id, .kind = ControlKind::WebPane, .units = units, .shown = true};
}
constexpr Control Bar(int id, Rect units, bool bordered = false) {
    return {.id = id,
            .kind = ControlKind::ProgressBar,
            .units = units,
            .shown = true,
            .bordered = bordered};
}
enum class Style { Left, Right, Ellipsis };
constexpr Control Text(int id, Rect units, Style style = Style::Left) {
    return {.id = id,
            .kind = ControlKind::StatusText,
            .units = units,
            .shown = true,
            .rightAligned = style == Style::Right,
            .ellipsis = style == Style::Ellipsis};
}
constexpr Control Button(int id, Rect units, int bitmap, bool shown = true, bool centred = false) {
    return {.id = id,
            .kind = ControlKind::BitmapButton,
            .units = units,
            .shown = shown,
            .bitmap = bitmap,
            .centred = centred};
}

}  // namespace

const Control kControls[15] = {
    Pane(kPromoPane1, {185, 61, 201, 153}),
    Bar(kFileProgress, {148, 260, 238, 13}),
    Bar(kTotalProgress, {148, 275, 238, 13}, true),
    Text(kStatusLabel, {148, 230, 216, 8}, Style::Ellipsis),
    Text(kInfoLabel, {148, 240, 168, 8}),
    Text(kSpeedLabel, {148, 248, 149, 8}),
    Text(kCounterLabel, {301, 248, 85, 8}, Style::Right),
    {.id = kServerList,
     .kind = ControlKind::ServerList,
     .units = {27, 215, 89, 79},
     .shown = false},
    Button(kStartButton, {26, 296, 91, 30}, 142, false),
    Button(kSettingsButton, {284, 25, 47, 15}, 144),
    Button(kMinimiseButton, {346, 25, 17, 16}, 143),
    Button(kCloseButton, {370, 25, 17, 16}, 140),
    Pane(kPromoPane2, {0, 379, 168, 54}),
    Button(kGuideButton, {192, 25, 77, 17}, 146, true, true),
    Pane(kPromoPane3, {219, 379, 168, 54}),
};

const Control& ControlById(int id) {
    return *std::find_if(std::begin(kControls), std::end(kControls),
                         [id](const Control& c) { return c.id == id; });
}

Rect ToPixels(Rect units) {
    auto h = [](int v) { return static_cast<int>(std::lround(v * 1.5)); };
    auto v = [](int u) { return static_cast<int>(std::lround(u * 13.0 / 8.0)); };
    return {h(units.x), v(units.y), h(units.width), v(units.height)};
}

Rect PlaceInPixels(int id) {
    if (id == kPromoPane2) return kLowerPane2;
    if (id == kPromoPane3) return kLowerPane3;
    return ToPixels(ControlById(id).units);
}

int WindowWidth() {
    return std::max(ToPixels(kDialogUnits).width, kSkinWidth);
}

int WindowHeight() {
    return std::max(ToPixels(kDialogUnits).height, kSkinHeight);
}

std::vector<OpaqueRun> OpaqueRuns(const std::uint32_t* pixels, int width, int height,
                                  std::ptrdiff_t stride) {
    width = std::min(width, kSkinWidth);
    height = std::min(height, kSkinHeight);
    std::vector<OpaqueRun> runs;
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* line = pixels + y * stride;
        const auto transparent = [&](int x) { return (line[x] & 0xFFFFFF) == kTransparentColour; };
        for (int x = 0; x < width;) {
            while (x < width && transparent(x)) ++x;
            const int start = x;
            while (x < width && !transparent(x)) ++x;
            if (x > start) runs.push_back({start, y, x - start});
        }
    }
    return runs;
}

}  // namespace window
