#include "wizard/Bevel.h"

namespace {

// Every bevel line is axis-parallel and one pixel wide, so a filled strip gives exact pixels
// without depending on how the painter treats line end points.
void HLine(QPainter* canvas, int x1, int x2, int y, const TColor& color)
{
    FillRect(canvas, TRect{x1, y, x2, y + 1}, color);
}

void VLine(QPainter* canvas, int x, int y1, int y2, const TColor& color)
{
    FillRect(canvas, TRect{x, y1, x + 1, y2}, color);
}

} // namespace

TRect DrawBevelLines(QPainter* canvas, const TRect& R, const TColor& C1, const TColor& C2,
                     TBevelEdges edges)
{
    if (edges & beLeft)
        VLine(canvas, R.Left, R.Top, R.Bottom, C1);
    if (edges & beTop)
        HLine(canvas, R.Left, R.Right, R.Top, C1);
    if (edges & beRight)
        VLine(canvas, R.Right - 1, R.Top, R.Bottom, C2);
    if (edges & beBottom)
        HLine(canvas, R.Left, R.Right, R.Bottom - 1, C2);

    TRect result = R;
    if (edges & beLeft)
        ++result.Left;
    if (edges & beTop)
        ++result.Top;
    if (edges & beRight)
        --result.Right;
    if (edges & beBottom)
        --result.Bottom;
    return result;
}

TRect DrawBevel(QPainter* canvas, const TRect& R, TBevelEdges edges)
{
    DrawBevelLines(canvas, TRect{R.Left + 1, R.Top + 1, R.Right, R.Bottom}, clBtnHighlight,
                   clBtnHighlight, edges);
    DrawBevelLines(canvas, TRect{R.Left, R.Top, R.Right - 1, R.Bottom - 1}, clBtnShadow,
                   clBtnShadow, edges);

    TRect result = R;
    if (edges & beLeft)
        result.Left += 2;
    if (edges & beTop)
        result.Top += 2;
    if (edges & beRight)
        result.Right -= 2;
    if (edges & beBottom)
        result.Bottom -= 2;
    return result;
}
