#pragma once
// The melody picture's layout and colours, shared by its interaction and the
// background drawing.
#include <QColor>

namespace canvas_style {
inline constexpr int kLeftMargin = 56, kBottomMargin = 22, kTopMargin = 6, kRightMargin = 8;
inline const QColor kNoteColour(40, 90, 200), kCurrentColour(255, 140, 0), kHeadColour(220, 0, 0),
    kRangeColour(120, 170, 255, 70), kBlackKeyRow(238, 238, 242), kGrid(210, 210, 215);
}  // namespace canvas_style
