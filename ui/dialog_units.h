// Dialog units of the window templates ("MS Shell Dlg" 8 pt at 96 dpi) in
// pixels: 1 horizontal unit is 1.5 px, 1 vertical unit 13/8 px.
#pragma once

#include <QRect>
#include <cmath>

inline QRect DialogUnits(const QRect& units) {
    auto h = [](int v) { return static_cast<int>(std::lround(v * 1.5)); };
    auto v = [](int u) { return static_cast<int>(std::lround(u * 13.0 / 8.0)); };
    return QRect(h(units.x()), v(units.y()), h(units.width()), v(units.height()));
}
