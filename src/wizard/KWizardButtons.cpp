#include "wizard/KWizardButtons.h"

#include "runtime/Application.h"
#include "wizard/KWizard.h"

#include <QCoreApplication>
#include <QIcon>

TKWizardButtonControl::TKWizardButtonControl(QWidget* owner) : QPushButton(owner)
{
    // Enter and Escape belong to the application, not to the wizard's bar.
    setAutoDefault(false);
    setDefault(false);
    connect(this, &QAbstractButton::clicked, this,
            [this] { Application().Guard([this] { Click(); }); });
}

void TKWizardButtonControl::Click()
{
    Fire(OnClick, static_cast<QObject*>(this));
}

void TKWizardButtonControl::setVisible(bool visible)
{
    const bool wasShown = !isHidden();
    QPushButton::setVisible(visible);
    if (wasShown != !isHidden())
        VisibleChanged();
}

void TKWizardButtonControl::VisibleChanged()
{
    if (wizard_)
        wizard_->LayoutButtons();
}

void TKWizardButtonControl::SetCaption(const QString& caption)
{
    if (caption != text())
        setText(caption);
}

void TKWizardButtonControl::SetGlyph(const QPixmap& glyph)
{
    glyph_ = glyph;
    UpdateIcon();
}

void TKWizardButtonControl::SetNumGlyphs(int count)
{
    count = std::clamp(count, 1, 4);
    if (count == numGlyphs_)
        return;
    numGlyphs_ = count;
    UpdateIcon();
}

void TKWizardButtonControl::SetLayout(TButtonLayout layout)
{
    if (layout == layout_)
        return;
    layout_ = layout;
    setLayoutDirection(layout_ == blGlyphRight ? Qt::RightToLeft : Qt::LeftToRight);
}

void TKWizardButtonControl::UpdateIcon()
{
    if (glyph_.isNull()) {
        setIcon(QIcon());
        return;
    }
    // The glyph bitmap holds NumGlyphs images side by side: normal, disabled, pressed, down.
    const int w = glyph_.width() / numGlyphs_;
    const int h = glyph_.height();
    QIcon icon;
    icon.addPixmap(glyph_.copy(0, 0, w, h), QIcon::Normal);
    if (numGlyphs_ >= 2)
        icon.addPixmap(glyph_.copy(w, 0, w, h), QIcon::Disabled);
    setIconSize(QSize(w, h));
    setIcon(icon);
}

// ---------------------------------------------------------------------------------------------

TKWizardStartButton::TKWizardStartButton(QWidget* owner) : TKWizardButtonControl(owner)
{
    setText(QCoreApplication::translate("TKWizard", "To &Start Page"));
    setVisible(false);
    anchors_ = Qt::LeftEdge | Qt::BottomEdge;
}

void TKWizardStartButton::Click()
{
    TKWizardButtonControl::Click();
    if (wizard_)
        wizard_->SelectFirstPage();
}

TKWizardLastButton::TKWizardLastButton(QWidget* owner) : TKWizardButtonControl(owner)
{
    setText(QCoreApplication::translate("TKWizard", "To &Last Page"));
    setVisible(false);
    anchors_ = Qt::LeftEdge | Qt::BottomEdge;
}

void TKWizardLastButton::Click()
{
    TKWizardButtonControl::Click();
    if (wizard_)
        wizard_->SelectLastPage();
}

TKWizardBackButton::TKWizardBackButton(QWidget* owner) : TKWizardButtonControl(owner)
{
    setText(QCoreApplication::translate("TKWizard", "< &Back"));
    setVisible(true);
    setEnabled(false);
}

void TKWizardBackButton::Click()
{
    TKWizardButtonControl::Click();
    if (wizard_)
        wizard_->SelectPriorPage();
}

TKWizardFinishButton::TKWizardFinishButton(QWidget* owner) : TKWizardButtonControl(owner)
{
    setText(QCoreApplication::translate("TKWizard", "&Finish"));
    setVisible(true);
}

TKWizardNextButton::TKWizardNextButton(QWidget* owner) : TKWizardButtonControl(owner)
{
    setText(QCoreApplication::translate("TKWizard", "&Next >"));
    setVisible(true);
}

void TKWizardNextButton::Click()
{
    TKWizardButtonControl::Click();
    if (wizard_)
        wizard_->SelectNextPage();
}

TKWizardCancelButton::TKWizardCancelButton(QWidget* owner) : TKWizardButtonControl(owner)
{
    setText(QCoreApplication::translate("TKWizard", "Cancel"));
    setVisible(true);
}

// ---------------------------------------------------------------------------------------------

void TKWizardButton::SetButtonControl(TKWizardButtonControl* control)
{
    control_ = control;
    if (control_)
        visible_ = !control_->isHidden();
}

QPixmap TKWizardButton::Glyph() const
{
    return control_ ? control_->Glyph() : QPixmap();
}

void TKWizardButton::SetGlyph(const QPixmap& glyph)
{
    if (control_)
        control_->SetGlyph(glyph);
}

bool TKWizardButton::Enabled() const
{
    // The control's own flag, not whether a disabled parent greys it out.
    return control_ && !control_->testAttribute(Qt::WA_ForceDisabled);
}

void TKWizardButton::SetEnabled(bool enabled)
{
    if (control_)
        control_->setEnabled(enabled);
}

QString TKWizardButton::Caption() const
{
    return control_ ? control_->Caption() : QString();
}

void TKWizardButton::SetCaption(const QString& caption)
{
    if (control_)
        control_->SetCaption(caption);
}

void TKWizardButton::SetVisible(bool visible)
{
    visible_ = visible;
    if (control_)
        control_->setVisible(visible);
}

int TKWizardButton::NumGlyphs() const
{
    return control_ ? control_->NumGlyphs() : 0;
}

void TKWizardButton::SetNumGlyphs(int count)
{
    if (control_)
        control_->SetNumGlyphs(count);
}

TButtonLayout TKWizardButton::Layout() const
{
    return control_ ? control_->Layout() : blGlyphLeft;
}

void TKWizardButton::SetLayout(TButtonLayout layout)
{
    if (control_)
        control_->SetLayout(layout);
}
