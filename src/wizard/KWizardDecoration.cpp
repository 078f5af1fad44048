#include "wizard/KWizardDecoration.h"

#include "wizard/Bevel.h"
#include "wizard/ImageList.h"
#include "wizard/KWizard.h"

#include <QFontMetrics>
#include <QPainter>

namespace {

// Blanks and control characters (everything up to the space) count as empty at either end.
bool IsBlank(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() > 0x20)
            return false;
    return true;
}

template <typename T> bool Assign(T& field, const T& value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------

void TKWizardPersistent::SetPage(TKWizardCustomPage* page)
{
    page_ = page;
}

void TKWizardPersistent::SetColor(TColor color)
{
    if (Assign(color_, color))
        Changed();
}

void TKWizardPersistent::SetVisible(bool visible)
{
    if (Assign(visible_, visible))
        Changed();
}

void TKWizardPersistent::Changed()
{
    if (page_)
        page_->update();
}

// ---------------------------------------------------------------------------------------------

TKWizardPageTitle::TKWizardPageTitle() = default;

void TKWizardPageTitle::Change()
{
    if (onChange_)
        onChange_();
}

void TKWizardPageTitle::SetText(const QString& text)
{
    if (Assign(text_, text))
        Change();
}

void TKWizardPageTitle::SetAnchors(TAnchors anchors)
{
    if (Assign(anchors_, anchors))
        Change();
}

void TKWizardPageTitle::SetAnchorPlacement(int placement)
{
    if (Assign(anchorPlacement_, placement))
        Change();
}

void TKWizardPageTitle::SetIndent(int indent)
{
    if (Assign(indent_, indent))
        Change();
}

void TKWizardPageTitle::SetAlignment(TAlignment alignment)
{
    if (Assign(alignment_, alignment))
        Change();
}

void TKWizardPageTitle::SetFont(const QFont& font)
{
    if (&font == &font_)
        return;
    // QFont::operator== ignores which attributes were set explicitly; that is what matters
    // for a repaint.
    if (Assign(font_, font))
        Change();
}

void TKWizardPageTitle::SetFontColor(TColor color)
{
    if (Assign(fontColor_, color))
        Change();
}

TRect TKWizardPageTitle::CalcTextRect(QPainter* canvas, const TRect& Bounds) const
{
    const QFontMetrics metrics(canvas->font());
    // Measured as shown: a mnemonic ampersand takes no room.
    const QSize line = metrics.size(Qt::TextSingleLine | Qt::TextShowMnemonic, text_);
    TRect B{Bounds.Left, Bounds.Top, Bounds.Left + line.width(), Bounds.Top + metrics.height()};
    if (anchors_ & akLeft) {
        B.Left += anchorPlacement_;
        B.Right += anchorPlacement_;
    }
    if (anchors_ & akTop) {
        B.Top += anchorPlacement_;
        B.Bottom += anchorPlacement_;
    }
    if (anchors_ & akRight)
        B.Right = Bounds.Right - anchorPlacement_;
    if (anchors_ & akBottom)
        B.Bottom = Bounds.Bottom - anchorPlacement_;
    B.Left += indent_;
    B.Bottom = std::min(B.Bottom, Bounds.Bottom);
    B.Right = std::min(B.Right, Bounds.Right);
    return B;
}

int TKWizardPageTitle::Draw(QPainter* canvas, const TRect& Bounds) const
{
    if (IsBlank(text_))
        return Bounds.Top;
    canvas->setFont(font_);
    const TRect B = CalcTextRect(canvas, Bounds);
    int align = Qt::AlignLeft;
    if (alignment_ == taRightJustify)
        align = Qt::AlignRight;
    else if (alignment_ == taCenter)
        align = Qt::AlignHCenter;
    if (B.Width() > 0 && B.Height() > 0) {
        canvas->save();
        // A single word longer than the box would overflow a wrapped box: clip to it.
        canvas->setClipRect(B.ToQRect(), Qt::IntersectClip);
        canvas->setPen(fontColor_.ToQColor());
        canvas->setBackgroundMode(Qt::TransparentMode);
        canvas->drawText(B.ToQRect(),
                         Qt::TextWordWrap | Qt::TextShowMnemonic | Qt::AlignTop | align, text_);
        canvas->restore();
    }
    return B.Bottom;
}

// ---------------------------------------------------------------------------------------------

TKWizardPageHeader::TKWizardPageHeader()
    : title_(std::make_unique<TKWizardPageTitle>()),
      subtitle_(std::make_unique<TKWizardPageTitle>())
{
    color_ = clWindow;
    title_->SetText(QStringLiteral("Title"));
    title_->SetAnchors(akLeft | akTop | akRight);
    QFont titleFont = title_->Font();
    titleFont.setPointSize(12);
    titleFont.setBold(true);
    title_->SetFont(titleFont);
    subtitle_->SetText(QStringLiteral("Subtitle"));
    subtitle_->SetAnchors(akLeft | akTop | akRight | akBottom);
    title_->SetChangeHandler([this] { Changed(); });
    subtitle_->SetChangeHandler([this] { Changed(); });
}

void TKWizardPageHeader::SetPage(TKWizardCustomPage* page)
{
    TKWizardPersistent::SetPage(page);
    if (parentFont_)
        ApplyParentFont();
}

void TKWizardPageHeader::SetHeight(int height)
{
    if (Assign(height_, height))
        Changed();
}

void TKWizardPageHeader::SetParentFont(bool parentFont)
{
    if (!Assign(parentFont_, parentFont))
        return;
    if (parentFont_)
        ApplyParentFont();
    Changed();
}

void TKWizardPageHeader::SetImageIndex(int index)
{
    if (Assign(imageIndex_, index))
        Changed();
}

void TKWizardPageHeader::SetImageOffset(int offset)
{
    if (Assign(imageOffset_, offset))
        Changed();
}

void TKWizardPageHeader::SetImageAlign(TKWizardLeftRightAlign align)
{
    if (Assign(imageAlign_, align))
        Changed();
}

void TKWizardPageHeader::ApplyParentFont()
{
    if (!page_)
        return;
    // Qt fonts carry no character set: the family is what the page passes on.
    const QString family = page_->font().family();
    for (TKWizardPageTitle* title : {title_.get(), subtitle_.get()}) {
        QFont font = title->Font();
        font.setFamily(family);
        title->SetFont(font);
    }
}

TRect TKWizardPageHeader::CalcImageRect(const TImageList* Images, TRect& Area) const
{
    const int w = Images->Width();
    const int h = Images->Height();
    TRect I{Area.Left, Area.Top, Area.Left + w, Area.Top + h};
    const int down = (Area.Height() - h) / 2; // C++ division rounds toward zero, as wanted
    I.Top += down;
    I.Bottom += down;
    int right = imageOffset_;
    if (imageAlign_ == waRight)
        right += Area.Width() - w - 4;
    I.Left += right;
    I.Right += right;
    if (imageAlign_ == waLeft)
        Area.Left = std::max(Area.Left, I.Right);
    else if (imageAlign_ == waRight)
        Area.Right = std::min(Area.Right, I.Left);
    return I;
}

void TKWizardPageHeader::Draw(QPainter* canvas, TRect& Rect, bool BottomLine) const
{
    if (!visible_)
        return;
    TRect H = Rect;
    H.Bottom = Rect.Top + height_;
    FillRect(canvas, H, color_);
    if (BottomLine)
        DrawBevel(canvas, H, beBottom);
    const TKWizard* wizard = page_ ? page_->Wizard() : nullptr;
    const TImageList* images = wizard ? wizard->HeaderImages() : nullptr;
    if (images && imageIndex_ >= 0 && imageIndex_ < images->Count()) {
        const TRect I = CalcImageRect(images, H);
        images->Draw(canvas, I.Left, I.Top, imageIndex_);
    }
    H.Top = title_->Draw(canvas, H);
    subtitle_->Draw(canvas, H);
    Rect.Top += height_;
}

// ---------------------------------------------------------------------------------------------

TKWizardWaterMark::TKWizardWaterMark()
{
    color_ = clActiveCaption;
}

void TKWizardWaterMark::SetAlign(TKWizardLeftRightAlign align)
{
    if (Assign(align_, align))
        Changed();
}

void TKWizardWaterMark::SetWidth(int width)
{
    if (Assign(width_, width))
        Changed();
}

void TKWizardWaterMark::SetBorderWidth(int width)
{
    if (Assign(borderWidth_, width))
        Changed();
}

void TKWizardWaterMark::SetImage(const QPixmap& image)
{
    // A copy of the picture; comparing pixmaps by key tells a real change.
    if (image.cacheKey() == image_.cacheKey())
        return;
    image_ = image;
    ImageChanged();
}

void TKWizardWaterMark::ImageChanged()
{
    image_ = TransparentPicture(image_);
    Changed();
}

void TKWizardWaterMark::Draw(QPainter* canvas, TRect& Rect) const
{
    if (!visible_)
        return;
    TRect W;
    if (align_ == waRight) {
        W = TRect{Rect.Right - width_, Rect.Top, Rect.Right, Rect.Bottom};
        Rect.Right -= width_;
    } else {
        W = TRect{Rect.Left, Rect.Top, Rect.Left + width_, Rect.Bottom};
        Rect.Left += width_;
    }
    // The border keeps the page colour already painted.
    W = TRect{W.Left + borderWidth_, W.Top + borderWidth_, W.Right - borderWidth_,
              W.Bottom - borderWidth_};
    FillRect(canvas, W, color_);
    StretchDraw(canvas, W, image_);
}

// ---------------------------------------------------------------------------------------------

TKWizardPagePanel::TKWizardPagePanel()
{
    color_ = clBtnFace;
    visible_ = false;
}

void TKWizardPagePanel::SetBorderWidth(std::uint16_t width)
{
    if (Assign(borderWidth_, width))
        Changed();
}

void TKWizardPagePanel::Draw(QPainter* canvas, TRect& Rect) const
{
    if (!visible_ || borderWidth_ == 0)
        return;
    Rect = TRect{Rect.Left + borderWidth_, Rect.Top + borderWidth_, Rect.Right - borderWidth_,
                 Rect.Bottom - borderWidth_};
    DrawBevel(canvas, Rect, beAll);
    if (color_.IsNone())
        return;
    Rect = TRect{Rect.Left + 2, Rect.Top + 2, Rect.Right - 2, Rect.Bottom - 2};
    FillRect(canvas, Rect, color_);
}
