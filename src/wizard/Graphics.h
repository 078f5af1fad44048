#pragma once

#include <QColor>
#include <QPixmap>
#include <QRect>

class QPainter;

// A rectangle of a client area: left, top, right, bottom, with right and bottom exclusive.
// The decoration arithmetic is written in these terms; QRect (inclusive right/bottom) is only
// used at the painter.
struct TRect
{
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    QRect ToQRect() const { return QRect(Left, Top, Right - Left, Bottom - Top); }
    static TRect FromQRect(const QRect& r)
    {
        return {r.left(), r.top(), r.right() + 1, r.bottom() + 1};
    }
    friend bool operator==(const TRect&, const TRect&) = default;
};

// A fixed colour, one of the window system's colours by its conventional name, or no colour.
class TColor
{
public:
    enum class Kind
    {
        None,
        Fixed,
        Window,
        BtnFace,
        ActiveCaption,
        BtnShadow,
        BtnHighlight,
        WindowText
    };

    constexpr TColor(Kind kind = Kind::None) : kind_(kind) {}
    static TColor Fixed(QColor color)
    {
        TColor c(Kind::Fixed);
        c.fixed_ = color;
        return c;
    }

    Kind ColorKind() const { return kind_; }
    bool IsNone() const { return kind_ == Kind::None; }
    // The colour to paint with, taken from the application palette for system colours; an
    // invalid QColor for clNone.
    QColor ToQColor() const;

    friend bool operator==(const TColor& a, const TColor& b)
    {
        return a.kind_ == b.kind_ && (a.kind_ != Kind::Fixed || a.fixed_ == b.fixed_);
    }

private:
    Kind kind_;
    QColor fixed_;
};

inline constexpr TColor clNone{TColor::Kind::None};
inline constexpr TColor clWindow{TColor::Kind::Window};
inline constexpr TColor clBtnFace{TColor::Kind::BtnFace};
inline constexpr TColor clActiveCaption{TColor::Kind::ActiveCaption};
inline constexpr TColor clBtnShadow{TColor::Kind::BtnShadow};
inline constexpr TColor clBtnHighlight{TColor::Kind::BtnHighlight};
inline constexpr TColor clWindowText{TColor::Kind::WindowText};

// Fills r with a solid colour; clNone fills nothing.
void FillRect(QPainter* canvas, const TRect& r, const TColor& color);

// Prepares a picture for transparent drawing as bitmaps are drawn here: a picture without an
// alpha channel leaves the colour of its bottom-left pixel unpainted.
QPixmap TransparentPicture(const QPixmap& picture);

// Stretches a picture into r; an empty picture draws nothing.
void StretchDraw(QPainter* canvas, const TRect& r, const QPixmap& picture);
