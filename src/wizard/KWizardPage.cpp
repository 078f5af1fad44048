#include "wizard/KWizardPage.h"

#include "runtime/Application.h"
#include "wizard/KWizard.h"

#include <QChildEvent>
#include <QEvent>
#include <QPainter>

TKWizardCustomPage::TKWizardCustomPage(QWidget* owner)
    : QWidget(owner), header_(std::make_unique<TKWizardPageHeader>()),
      panel_(std::make_unique<TKWizardPagePanel>()), owner_(owner)
{
    // The paint handler fills the whole page itself; Qt double-buffers the rest.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    SetShown(false);
    header_->SetPage(this);
    panel_->SetPage(this);
}

TKWizardCustomPage::~TKWizardCustomPage()
{
    if (wizard_)
        wizard_->RemovePage(this);
}

void TKWizardCustomPage::SetWizard(TKWizard* wizard)
{
    if (wizard == wizard_)
        return;
    if (wizard_)
        wizard_->RemovePage(this);
    // Qt deletes children with their parent: while attached the wizard holds the page, while
    // detached its owner does.
    setParent(wizard ? wizard : owner_.data());
    SetShown(false);
    if (wizard)
        wizard->InsertPage(this);
}

int TKWizardCustomPage::PageIndex() const
{
    return wizard_
               ? static_cast<int>(wizard_->Pages().indexOf(const_cast<TKWizardCustomPage*>(this)))
               : -1;
}

void TKWizardCustomPage::SetImage(const QPixmap& image)
{
    image_ = TransparentPicture(image);
    update();
}

void TKWizardCustomPage::SetColor(TColor color)
{
    if (color == color_)
        return;
    color_ = color;
    update();
}

void TKWizardCustomPage::SetCaption(const QString& caption)
{
    if (caption == caption_)
        return;
    caption_ = caption;
    update();
}

void TKWizardCustomPage::SetEnabled(bool enabled)
{
    setEnabled(enabled);
    // With a disabled wizard the page's own flag changes without a Qt notification.
    EnabledChanged();
}

void TKWizardCustomPage::EnabledChanged()
{
    const bool now = Enabled();
    if (now == enabled_)
        return;
    enabled_ = now;
    update();
    if (now || !wizard_ || wizard_->ActivePage() != this)
        return;
    TKWizardCustomPage* next = wizard_->FindPage(PageIndex(), +1);
    if (!next)
        next = wizard_->FindPage(PageIndex(), -1);
    wizard_->SetActivePage(next);
}

void TKWizardCustomPage::DrawDecoration(QPainter*, TRect&) {}

void TKWizardCustomPage::DoEnterPage()
{
    if (Enabled())
        Fire(OnEnterPage, static_cast<QObject*>(this));
}

void TKWizardCustomPage::DoPage()
{
    if (Enabled())
        Fire(OnPage, static_cast<QObject*>(this));
}

void TKWizardCustomPage::DoExitPage()
{
    if (Enabled())
        Fire(OnExitPage, static_cast<QObject*>(this));
}

void TKWizardCustomPage::setVisible(bool visible)
{
    // Our choice for the show request: application code that shows an attached page (show(),
    // setVisible(true)) makes it the active page, with all the events of a page change. The
    // wizard's own page changes bypass this through SetShown.
    if (visible && wizard_) {
        if (wizard_->ActivePage() != this)
            wizard_->SetActivePage(this);
        // A handler may have sent the wizard elsewhere: only the active page shows.
        if (wizard_ && wizard_->ActivePage() != this)
            return;
    }
    QWidget::setVisible(visible);
}

void TKWizardCustomPage::childEvent(QChildEvent* event)
{
    if (event->added())
        WatchControls(event->child());
    QWidget::childEvent(event);
}

void TKWizardCustomPage::WatchControls(QObject* object)
{
    if (!object->isWidgetType() || static_cast<QWidget*>(object)->isWindow())
        return;
    object->installEventFilter(this);
    for (QObject* child : object->children())
        WatchControls(child);
}

bool TKWizardCustomPage::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:
        WatchControls(static_cast<QChildEvent*>(event)->child());
        break;
    // ShowToParent comes only from an explicit show of that control, not from its page showing.
    case QEvent::ShowToParent:
    case QEvent::FocusIn:
        Application().Guard([&] { ControlShowRequest(static_cast<QWidget*>(watched)); });
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TKWizardCustomPage::ControlShowRequest(QWidget* control)
{
    // Once the page is shown (also while its own page change runs) there is nothing to bring
    // forward.
    if (!wizard_ || !isHidden() || !isAncestorOf(control))
        return;
    // The parts Qt's own controls show and hide by themselves (scroll bars and their
    // containers, a spin box's inner edit) are not requests of the application.
    for (const QWidget* w = control; w && w != this; w = w->parentWidget())
        if (w->objectName().startsWith(QLatin1String("qt_")))
            return;
    wizard_->SetActivePage(this);
}

void TKWizardCustomPage::changeEvent(QEvent* event)
{
    Application().Guard([&] {
        if (event->type() == QEvent::EnabledChange)
            EnabledChanged();
        else if (event->type() == QEvent::FontChange && header_->ParentFont())
            header_->ApplyParentFont();
    });
    QWidget::changeEvent(event);
}

void TKWizardCustomPage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    Application().Guard([&] { PaintPage(&painter); });
}

void TKWizardCustomPage::PaintPage(QPainter* canvas)
{
    // A paint that starts while this page is painting (a handler forcing a repaint) returns.
    if (painting_)
        return;
    painting_ = true;
    struct ClearOnExit
    {
        bool& flag;
        ~ClearOnExit() { flag = false; }
    } clear{painting_};

    TRect R = TRect::FromQRect(rect());
    FillRect(canvas, R, color_);
    DrawDecoration(canvas, R);
    if (OnPaintPage) {
        OnPaintPage(this, canvas, R);
        return;
    }
    StretchDraw(canvas, R, image_);
    if (panel_)
        panel_->Draw(canvas, R);
}

// ---------------------------------------------------------------------------------------------

TKWizardWelcomePage::TKWizardWelcomePage(QWidget* owner)
    : TKWizardCustomPage(owner), waterMark_(std::make_unique<TKWizardWaterMark>())
{
    waterMark_->SetPage(this);
    Header()->Title()->SetText(QStringLiteral("Welcome"));
    SetColor(clWindow);
}

TKWizardWelcomePage::~TKWizardWelcomePage()
{
    // The watermark goes before the page leaves its wizard.
    waterMark_.reset();
}

void TKWizardWelcomePage::DrawDecoration(QPainter* canvas, TRect& Rect)
{
    if (waterMark_)
        waterMark_->Draw(canvas, Rect);
    if (TKWizardPageHeader* header = Header())
        header->Draw(canvas, Rect, false);
}

// ---------------------------------------------------------------------------------------------

TKWizardInteriorPage::TKWizardInteriorPage(QWidget* owner) : TKWizardCustomPage(owner) {}

void TKWizardInteriorPage::DrawDecoration(QPainter* canvas, TRect& Rect)
{
    if (TKWizardPageHeader* header = Header())
        header->Draw(canvas, Rect, true);
}
