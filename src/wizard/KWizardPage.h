#pragma once

#include "runtime/Events.h"
#include "wizard/KWizardDecoration.h"

#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QPainter;
class TKWizard;

using TKWizardPaintPageEvent =
    std::function<void(QObject* Sender, QPainter* ACanvas, TRect& ARect)>;

// A page of the wizard: a container that fills the wizard above its button bar and paints its
// own decoration. The wizard alone decides which of its pages is visible.
//
// `owner` is who keeps the page while it is detached: attaching makes the wizard the page's
// parent window, detaching hands the page back to its owner (hidden).
class TKWizardCustomPage : public QWidget
{
    Q_OBJECT
public:
    explicit TKWizardCustomPage(QWidget* owner = nullptr);
    ~TKWizardCustomPage() override;

    TKWizard* Wizard() const { return wizard_; }
    // Attaches the page to a wizard (appended to its pages), moves it to another, or detaches
    // it with nullptr.
    void SetWizard(TKWizard* wizard);
    int PageIndex() const;

    TKWizardPageHeader* Header() const { return header_.get(); }
    TKWizardPagePanel* Panel() const { return panel_.get(); }
    const QPixmap& Image() const { return image_; }
    void SetImage(const QPixmap& image);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    // The page's own Enabled flag (a disabled wizard does not clear it).
    bool Enabled() const { return !testAttribute(Qt::WA_ForceDisabled); }
    void SetEnabled(bool enabled);
    // True only while the page's paint handler runs.
    bool Painting() const { return painting_; }

    // Draws the page kind's decoration and takes its share from Rect.
    virtual void DrawDecoration(QPainter* canvas, TRect& Rect);
    virtual void DoEnterPage();
    virtual void DoPage();
    virtual void DoExitPage();

    // A show request from application code (show(), setVisible(true)) makes this attached page
    // the wizard's active page first, with all the events of a page change. So does showing a
    // control that sits on the page, or giving it the focus, while the page is hidden.
    void setVisible(bool visible) override;

    TKWizardPaintPageEvent OnPaintPage;
    TNotifyEvent OnEnterPage;
    TNotifyEvent OnPage;
    TNotifyEvent OnExitPage;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void childEvent(QChildEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TKWizard;
    // Shows or hides without the show request above: the wizard's own page change.
    void SetShown(bool shown) { QWidget::setVisible(shown); }
    void PaintPage(QPainter* canvas);
    void EnabledChanged();
    // Qt tells a container nothing when a control inside it is shown or focused: the page
    // watches every control below it for that itself.
    void WatchControls(QObject* object);
    void ControlShowRequest(QWidget* control);

    TKWizard* wizard_ = nullptr;
    std::unique_ptr<TKWizardPageHeader> header_;
    std::unique_ptr<TKWizardPagePanel> panel_;
    bool painting_ = false;
    QPixmap image_;
    TColor color_ = clBtnFace;
    QString caption_;
    bool enabled_ = true;
    QPointer<QWidget> owner_;
};

// The first page of a procedure: a watermark down one side, the header beside it without a
// line under it, on the window colour.
class TKWizardWelcomePage : public TKWizardCustomPage
{
    Q_OBJECT
public:
    explicit TKWizardWelcomePage(QWidget* owner = nullptr);
    ~TKWizardWelcomePage() override;

    TKWizardWaterMark* WaterMark() const { return waterMark_.get(); }
    void DrawDecoration(QPainter* canvas, TRect& Rect) override;

private:
    std::unique_ptr<TKWizardWaterMark> waterMark_;
};

// A page of the procedure's body: the header with an etched line under it.
class TKWizardInteriorPage : public TKWizardCustomPage
{
    Q_OBJECT
public:
    explicit TKWizardInteriorPage(QWidget* owner = nullptr);
    void DrawDecoration(QPainter* canvas, TRect& Rect) override;
};
