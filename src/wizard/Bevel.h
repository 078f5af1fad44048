#pragma once

#include "wizard/Graphics.h"

// Edges of a rectangle, as a set of bits.
enum TBevelEdge : int
{
    beLeft = 1,
    beTop = 2,
    beRight = 4,
    beBottom = 8
};
using TBevelEdges = int;
inline constexpr TBevelEdges beAll = beLeft | beTop | beRight | beBottom;

// One-pixel lines along the chosen edges of R, C1 on the left and top, C2 on the right and
// bottom, end points excluded. Returns R moved in by one pixel on each of those edges.
TRect DrawBevelLines(QPainter* canvas, const TRect& R, const TColor& C1, const TColor& C2,
                     TBevelEdges edges);

// The etched line pair: a shadow line with a highlight line one pixel inside it (left, top) or
// outside it (right, bottom). Returns R moved in by two pixels on each of the chosen edges.
TRect DrawBevel(QPainter* canvas, const TRect& R, TBevelEdges edges);
