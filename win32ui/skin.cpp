#include "win32ui/skin.h"

#include <cstdint>
#include <memory>
#include <vector>

#include "window/controls.h"

namespace skin {

HBITMAP LoadSkinBitmap(int id) {
    return static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                             IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

HRGN RegionFromSkin(HBITMAP skin) {
    BITMAP bitmap{};
    if (skin == nullptr || ::GetObjectW(skin, sizeof bitmap, &bitmap) == 0) return nullptr;
    // The pixels as 32-bit 0x00RRGGBB values, top row first.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = bitmap.bmWidth;
    info.bmiHeader.biHeight = -bitmap.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(bitmap.bmWidth) *
                                      static_cast<std::size_t>(bitmap.bmHeight));
    const HDC screen = ::GetDC(nullptr);
    const int rows = ::GetDIBits(screen, skin, 0, static_cast<UINT>(bitmap.bmHeight), pixels.data(),
                                 &info, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    if (rows != bitmap.bmHeight) return nullptr;

    const std::vector<window::OpaqueRun> runs =
        window::OpaqueRuns(pixels.data(), bitmap.bmWidth, bitmap.bmHeight, bitmap.bmWidth);
    // One region made from all the rows' runs at once: far cheaper than
    // combining thousands of one-row regions.
    const std::size_t size = sizeof(RGNDATAHEADER) + runs.size() * sizeof(RECT);
    const auto data = std::make_unique<char[]>(size);
    auto* region = reinterpret_cast<RGNDATA*>(data.get());
    region->rdh.dwSize = sizeof(RGNDATAHEADER);
    region->rdh.iType = RDH_RECTANGLES;
    region->rdh.nCount = static_cast<DWORD>(runs.size());
    region->rdh.rcBound = {0, 0, window::kSkinWidth, window::kSkinHeight};
    auto* rects = reinterpret_cast<RECT*>(region->Buffer);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        rects[i] = {runs[i].x, runs[i].y, runs[i].x + runs[i].width, runs[i].y + 1};
    }
    return ::ExtCreateRegion(nullptr, static_cast<DWORD>(size), region);
}

}  // namespace skin
