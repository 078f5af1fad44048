#pragma once

#include "wizard/Graphics.h"

#include <QFont>
#include <QPixmap>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class QPainter;
class TImageList;
class TKWizardCustomPage;

enum TAlignment
{
    taLeftJustify,
    taRightJustify,
    taCenter
};

enum TAnchorKind : int
{
    akLeft = 1,
    akTop = 2,
    akRight = 4,
    akBottom = 8
};
using TAnchors = int;

enum TKWizardAlign
{
    waLeft,
    waRight,
    waTop,
    waBottom
};
// Only waLeft and waRight are meaningful where this type is used.
using TKWizardLeftRightAlign = TKWizardAlign;

// Base of a page's decoration settings: the owning page, a colour and a visibility flag. Every
// change asks the page to repaint.
class TKWizardPersistent
{
public:
    virtual ~TKWizardPersistent() = default;

    TKWizardCustomPage* Page() const { return page_; }
    virtual void SetPage(TKWizardCustomPage* page);

    TColor Color() const { return color_; }
    void SetColor(TColor color);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);

    // Repaints the owning page; nothing before the page is set.
    void Changed();

protected:
    TKWizardPersistent() = default;

    TKWizardCustomPage* page_ = nullptr;
    TColor color_ = clBtnFace;
    bool visible_ = true;
};

// A line of header text with its placement inside the header.
class TKWizardPageTitle
{
public:
    TKWizardPageTitle();

    const QString& Text() const { return text_; }
    void SetText(const QString& text);
    TAnchors Anchors() const { return anchors_; }
    void SetAnchors(TAnchors anchors);
    int AnchorPlacement() const { return anchorPlacement_; }
    void SetAnchorPlacement(int placement);
    int Indent() const { return indent_; }
    void SetIndent(int indent);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);
    const QFont& Font() const { return font_; }
    void SetFont(const QFont& font);
    // The font's colour (a QFont carries none).
    TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor color);

    // One handler for changes of the settings and of the font.
    void SetChangeHandler(std::function<void()> handler) { onChange_ = std::move(handler); }

    // The text box inside Bounds, for the font already set on the canvas.
    TRect CalcTextRect(QPainter* canvas, const TRect& Bounds) const;
    // Draws the text and returns the bottom of its box, or Bounds.Top for a blank text.
    int Draw(QPainter* canvas, const TRect& Bounds) const;

private:
    void Change();

    QString text_;
    TAlignment alignment_ = taLeftJustify;
    int anchorPlacement_ = 4;
    TAnchors anchors_ = akLeft | akTop;
    int indent_ = 0;
    QFont font_;
    TColor fontColor_ = clWindowText;
    std::function<void()> onChange_;
};

// The band across the top of a page: colour, title, subtitle and an optional image from the
// wizard's header image list.
class TKWizardPageHeader : public TKWizardPersistent
{
public:
    TKWizardPageHeader();

    void SetPage(TKWizardCustomPage* page) override;

    int Height() const { return height_; }
    void SetHeight(int height);
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool parentFont);
    TKWizardPageTitle* Title() const { return title_.get(); }
    TKWizardPageTitle* Subtitle() const { return subtitle_.get(); }
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int index);
    int ImageOffset() const { return imageOffset_; }
    void SetImageOffset(int offset);
    TKWizardLeftRightAlign ImageAlign() const { return imageAlign_; }
    void SetImageAlign(TKWizardLeftRightAlign align);

    // The image box for Area; narrows Area to what is left for the text.
    TRect CalcImageRect(const TImageList* Images, TRect& Area) const;
    // Draws the band at the top of Rect and takes its height from Rect.
    void Draw(QPainter* canvas, TRect& Rect, bool BottomLine) const;
    // Takes the page font's family into both titles; size, style and colour stay.
    void ApplyParentFont();

private:
    int height_ = 70;
    bool parentFont_ = true;
    std::unique_ptr<TKWizardPageTitle> title_;
    std::unique_ptr<TKWizardPageTitle> subtitle_;
    int imageIndex_ = -1;
    int imageOffset_ = 0;
    TKWizardLeftRightAlign imageAlign_ = waRight;
};

// The coloured strip down one side of a welcome page.
class TKWizardWaterMark : public TKWizardPersistent
{
public:
    TKWizardWaterMark();

    TKWizardLeftRightAlign Align() const { return align_; }
    void SetAlign(TKWizardLeftRightAlign align);
    int Width() const { return width_; }
    void SetWidth(int width);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int width);
    const QPixmap& Image() const { return image_; }
    void SetImage(const QPixmap& image);

    // Draws the strip at Rect's left or right edge and takes its width from Rect.
    void Draw(QPainter* canvas, TRect& Rect) const;

private:
    void ImageChanged();

    TKWizardLeftRightAlign align_ = waLeft;
    int width_ = 164;
    int borderWidth_ = 1;
    QPixmap image_;
};

// An etched frame, optionally filled, inside the undecorated part of a page.
class TKWizardPagePanel : public TKWizardPersistent
{
public:
    TKWizardPagePanel();

    std::uint16_t BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(std::uint16_t width);

    void Draw(QPainter* canvas, TRect& Rect) const;

private:
    std::uint16_t borderWidth_ = 7;
};
