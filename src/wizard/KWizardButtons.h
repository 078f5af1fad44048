#pragma once

#include "runtime/Events.h"

#include <QPixmap>
#include <QPushButton>

class TKWizard;

enum TButtonLayout
{
    blGlyphLeft,
    blGlyphRight,
    blGlyphTop,
    blGlyphBottom
};
enum TBitBtnKind
{
    bkCustom
};

// Button kinds: the index of a button in the wizard's bar. Finish comes before Next.
enum TKWizardButtonKind : int
{
    bkStart = 0,
    bkLast = 1,
    bkBack = 2,
    bkFinish = 3,
    bkNext = 4,
    bkCancel = 5,
};
inline constexpr int KWizardButtonCount = 6;

// A push button of the wizard's bar. A click runs OnClick (sender: this control) and then,
// for the navigating kinds, the wizard's move. Neither Enter nor Escape presses it.
//
// The glyph is the button's icon; of NumGlyphs images laid side by side the first is the
// normal look and the second the disabled one. Layout blGlyphRight puts the icon to the right
// of the caption; Qt push buttons cannot stack icon and text, so blGlyphTop and blGlyphBottom
// are stored and drawn as blGlyphLeft.
class TKWizardButtonControl : public QPushButton
{
    Q_OBJECT
public:
    explicit TKWizardButtonControl(QWidget* owner = nullptr);

    TKWizard* Wizard() const { return wizard_; }
    void SetWizard(TKWizard* wizard) { wizard_ = wizard; }

    QString Caption() const { return text(); }
    void SetCaption(const QString& caption);
    const QPixmap& Glyph() const { return glyph_; }
    void SetGlyph(const QPixmap& glyph);
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int count);
    TButtonLayout Layout() const { return layout_; }
    void SetLayout(TButtonLayout layout);
    TBitBtnKind Kind() const { return kind_; }
    // The button's edges that keep their distance to the wizard's edges on a resize.
    Qt::Edges Anchors() const { return anchors_; }

    // Runs the click: OnClick, then the kind's own action. Exceptions propagate to the caller.
    virtual void Click();

    void setVisible(bool visible) override;

    TNotifyEvent OnClick;

protected:
    // Runs after the control's visibility has really changed, by any path.
    virtual void VisibleChanged();

    TKWizard* wizard_ = nullptr;
    Qt::Edges anchors_ = Qt::RightEdge | Qt::BottomEdge;

private:
    void UpdateIcon();

    QPixmap glyph_;
    int numGlyphs_ = 1;
    TButtonLayout layout_ = blGlyphLeft;
    TBitBtnKind kind_ = bkCustom;
};

class TKWizardStartButton : public TKWizardButtonControl
{
    Q_OBJECT
public:
    explicit TKWizardStartButton(QWidget* owner = nullptr);
    void Click() override;
};

class TKWizardLastButton : public TKWizardButtonControl
{
    Q_OBJECT
public:
    explicit TKWizardLastButton(QWidget* owner = nullptr);
    void Click() override;
};

class TKWizardBackButton : public TKWizardButtonControl
{
    Q_OBJECT
public:
    explicit TKWizardBackButton(QWidget* owner = nullptr);
    void Click() override;
};

class TKWizardFinishButton : public TKWizardButtonControl
{
    Q_OBJECT
public:
    explicit TKWizardFinishButton(QWidget* owner = nullptr);
};

class TKWizardNextButton : public TKWizardButtonControl
{
    Q_OBJECT
public:
    explicit TKWizardNextButton(QWidget* owner = nullptr);
    void Click() override;
};

class TKWizardCancelButton : public TKWizardButtonControl
{
    Q_OBJECT
public:
    explicit TKWizardCancelButton(QWidget* owner = nullptr);
};

// The published face of one button: forwards to its control and keeps a Visible flag of its
// own, which says whether the button may show (the wizard hides Next or Finish by page).
class TKWizardButton
{
public:
    TKWizardButtonControl* ButtonControl() const { return control_; }
    // Binds the control; the flag takes the control's visibility at this moment.
    void SetButtonControl(TKWizardButtonControl* control);

    QPixmap Glyph() const;
    void SetGlyph(const QPixmap& glyph);
    bool Enabled() const;
    void SetEnabled(bool enabled);
    QString Caption() const;
    void SetCaption(const QString& caption);
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    int NumGlyphs() const;
    void SetNumGlyphs(int count);
    TButtonLayout Layout() const;
    void SetLayout(TButtonLayout layout);

private:
    TKWizardButtonControl* control_ = nullptr;
    bool visible_ = false;
};
