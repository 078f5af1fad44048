#include "wizard/Graphics.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

QColor TColor::ToQColor() const
{
    // The one place where the window system's colour names meet the palette.
    const QPalette palette = QGuiApplication::palette();
    switch (kind_) {
    case Kind::None:
        return QColor();
    case Kind::Fixed:
        return fixed_;
    case Kind::Window:
        return palette.color(QPalette::Active, QPalette::Base);
    case Kind::BtnFace:
        return palette.color(QPalette::Active, QPalette::Window);
    case Kind::ActiveCaption:
        return palette.color(QPalette::Active, QPalette::Highlight);
    case Kind::BtnShadow:
        // Dark rather than Shadow: Shadow is nearly black in most styles and the etched line
        // would read as a hard rule.
        return palette.color(QPalette::Active, QPalette::Dark);
    case Kind::BtnHighlight:
        return palette.color(QPalette::Active, QPalette::Light);
    case Kind::WindowText:
        return palette.color(QPalette::Active, QPalette::WindowText);
    }
    return QColor();
}

void FillRect(QPainter* canvas, const TRect& r, const TColor& color)
{
    if (color.IsNone() || r.Width() <= 0 || r.Height() <= 0)
        return;
    canvas->fillRect(r.ToQRect(), color.ToQColor());
}

QPixmap TransparentPicture(const QPixmap& picture)
{
    if (picture.isNull() || picture.hasAlphaChannel())
        return picture;
    const QImage image = picture.toImage();
    QPixmap result = picture;
    result.setMask(picture.createMaskFromColor(image.pixelColor(0, image.height() - 1)));
    return result;
}

void StretchDraw(QPainter* canvas, const TRect& r, const QPixmap& picture)
{
    if (picture.isNull())
        return;
    canvas->drawPixmap(r.ToQRect(), picture);
}
