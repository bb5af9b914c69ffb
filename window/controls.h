// The launcher window's controls as its template places them, and the shape
// of its skin: one table for every toolkit that draws the window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace window {

// Control ids of the window's template.
inline constexpr int kFileProgress = 1002;
inline constexpr int kTotalProgress = 1003;
inline constexpr int kServerList = 1018;
inline constexpr int kPromoPane1 = 1019;
inline constexpr int kPromoPane2 = 1020;
inline constexpr int kStatusLabel = 1022;
inline constexpr int kCounterLabel = 1023;
inline constexpr int kSpeedLabel = 1024;
inline constexpr int kInfoLabel = 1025;
inline constexpr int kCloseButton = 1027;
inline constexpr int kMinimiseButton = 1028;
inline constexpr int kSettingsButton = 1029;
inline constexpr int kStartButton = 1030;
inline constexpr int kGuideButton = 1033;
inline constexpr int kPromoPane3 = 1034;

enum class ControlKind {
    WebPane,       // a promotional page
    ProgressBar,   // smooth, range 0..10000
    StatusText,    // one line on black, clicks fall through to the window
    ServerList,    // list box: unsorted, vertical scroll bar, notifying
    BitmapButton,  // a picture that reports clicks
};

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

struct Control {
    int id;
    ControlKind kind;
    Rect units;                 // in dialog units, as the template has it
    bool shown;                 // visible from the start
    int bitmap = 0;             // a bitmap button's picture (resource number)
    bool bordered = false;      // the run's progress bar
    bool rightAligned = false;  // the file counter
    bool ellipsis = false;      // the status line ends in "..." when too long
    bool centred = false;       // the guide's picture, centred in its control
};

// Every control in template order, which is also the tab order.
extern const Control kControls[15];
const Control& ControlById(int id);

// Dialog units of the template ("MS Shell Dlg" 8 pt at 96 dpi) in pixels:
// 1 horizontal unit is 1.5 px, 1 vertical unit 13/8 px.
Rect ToPixels(Rect units);

// Where a control finally sits, in pixels of the window: the template's
// place, but the two lower web panes are moved into the skin's frames when
// the window is shaped.
Rect PlaceInPixels(int id);
inline constexpr Rect kLowerPane2 = {61, 554, 250, 118};
inline constexpr Rect kLowerPane3 = {341, 554, 250, 118};

// The skin (bitmap 139) and the window: 640 x 705 pixels at least.
inline constexpr int kSkinWidth = 640;
inline constexpr int kSkinHeight = 705;
int WindowWidth();
int WindowHeight();

// Bitmap resources: 139 skin, 140 close, 142 start, 143 minimise,
// 144 settings, 146 guide.
inline constexpr int kSkinBitmap = 139;

// Pixels of exactly this colour (0xRRGGBB) lie outside the window.
inline constexpr std::uint32_t kTransparentColour = 0xFF007F;  // RGB(255, 0, 127)

// One opaque run of a row of the skin: [x, x + width) of row y.
struct OpaqueRun {
    int x, y, width;
    bool operator==(const OpaqueRun&) const = default;
};

// The window's outline: the opaque runs of every row, top to bottom, of at
// most 640 x 705 pixels of an image whose rows are 0xRRGGBB values (the
// high byte is ignored), `stride` pixels apart.
std::vector<OpaqueRun> OpaqueRuns(const std::uint32_t* pixels, int width, int height,
                                  std::ptrdiff_t stride);

// The colours of the window (0xRRGGBB): the status texts while the run
// goes on and once it has finished, and the server list's.
inline constexpr std::uint32_t kTextWhite = 0xFFFFFF;
inline constexpr std::uint32_t kTextGreen = 0x00FF00;
inline constexpr std::uint32_t kTextBackground = 0x000000;
inline constexpr std::uint32_t kListBackground = 0x373737;
inline constexpr std::uint32_t kListTextBackground = 0x505050;

}  // namespace window
