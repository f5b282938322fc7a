#include "CylinderSkin.h"

#include "CylinderMath.h"

namespace tamblor::skin {

namespace {

CylinderSection Section(const SkinRect& body) {
    CylinderSection section;
    section.body = body;
    section.startFace = {body.x, body.y, kCapDepth, body.height};
    section.endFace = {body.x + body.width, body.y, kCapDepth, body.height};
    section.drawn = true;
    return section;
}

}  // namespace

CylinderLayout LayOutCylinder(int width, int height, int position, int span) {
    CylinderLayout layout;
    layout.full = {0, 0, width - 1, height - 1};
    layout.body = {0, 0, width - 1 - kCapDepth, height - 1};
    layout.percent = static_cast<int>(100.0 / span * position);
    layout.fillLength = FillLength(layout.body.width, layout.percent);
    const int fill = layout.fillLength;

    layout.empty = Section({fill, 0, layout.body.width - fill, layout.body.height});
    layout.empty.drawStartFace = layout.percent == 0;
    layout.empty.outlineBody = true;
    layout.empty.outlineStartFace = true;

    if (layout.percent != 0) {
        layout.filled = Section({0, 0, fill, layout.body.height});
        layout.filled.outlineBody = true;
        layout.filled.outlineEndFace = true;
    }
    layout.closingFace = layout.empty.endFace;
    return layout;
}

}  // namespace tamblor::skin
