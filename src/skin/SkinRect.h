#pragma once

namespace tamblor::skin {

// A rectangle as origin and size. Each toolkit counts its far edge differently (QRect's
// right() is the last column, RECT's right the first column past it), so the skin never names
// a far edge: each painter converts from origin and size.
struct SkinRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const SkinRect&, const SkinRect&) = default;
};

struct SkinOffset {
    int dx = 0;
    int dy = 0;
};

inline SkinRect Offset(SkinRect r, SkinOffset by) {
    r.x += by.dx;
    r.y += by.dy;
    return r;
}

}  // namespace tamblor::skin
