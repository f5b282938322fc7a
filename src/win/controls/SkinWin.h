#pragma once

#include <windows.h>

#include "skin/SkinRect.h"

namespace tamblor::win {

// The skin's rectangles are origin and size; a RECT's right and bottom are the first column and
// row past it.
inline RECT ToRect(const skin::SkinRect& r) { return {r.x, r.y, r.x + r.width, r.y + r.height}; }

inline skin::SkinRect ToSkinRect(const RECT& r) {
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

}  // namespace tamblor::win
