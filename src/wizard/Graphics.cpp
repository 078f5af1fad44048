#include "wizard/Graphics.h"

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
    QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    const QRgb transparent = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (line[x] == transparent)
                line[x] = qRgba(0, 0, 0, 0);
    }
    return QPixmap::fromImage(image);
}

void StretchDraw(QPainter* canvas, const TRect& r, const QPixmap& picture)
{
    if (picture.isNull())
        return;
    canvas->drawPixmap(r.ToQRect(), picture);
}
