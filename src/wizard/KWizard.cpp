#include "wizard/KWizard.h"

#include "runtime/Application.h"
#include "wizard/Bevel.h"

#include <QPainter>
#include <QResizeEvent>

namespace {

// Bar geometry: buttons stand 8 pixels above the bottom edge.
constexpr int ButtonTopFromBottom = 33;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 25;
constexpr int LeftMargin = 8;
constexpr int WideButtonWidth = 105; // Start and Last
constexpr int WideButtonStep = 106;  // one pixel between Start and Last
constexpr int CancelFromRight = 84;  // a 9-pixel right margin
constexpr int CancelToNextStep = 86; // an 11-pixel gap before the Next/Finish slot
constexpr int NextToBackStep = 76;   // a 1-pixel gap before Back

bool Shown(const QWidget* w)
{
    return w && !w->isHidden();
}

// Whether the window system could give w the focus now.
bool CanFocus(const QWidget* w)
{
    const QWidget* form = w->window();
    return form->isVisible() && w->isEnabled() && w->isVisibleTo(form);
}

// The first control inside container that Tab would reach.
QWidget* FirstTabControl(QWidget* container)
{
    for (QWidget* w = container->nextInFocusChain(); w && w != container; w = w->nextInFocusChain())
        if (container->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() &&
            w->isVisibleTo(container))
            return w;
    return nullptr;
}

} // namespace

TKWizard::TKWizard(QWidget* parent) : QWidget(parent)
{
    Init(parent);
    CreateButtons();
}

TKWizard::TKWizard(QWidget* parent, DeferButtons) : QWidget(parent)
{
    Init(parent);
}

void TKWizard::Init(QWidget* parent)
{
    // The paint handler fills the whole client area (unless the colour is clNone).
    setAttribute(Qt::WA_OpaquePaintEvent);
    imageChangeLink_ = std::make_unique<TChangeLink>();
    imageChangeLink_->OnChange = [this](TImageList* list) { HeaderImagesChange(list); };
    if (parent) {
        parent->installEventFilter(this);
        FillParent();
    }
}

TKWizard::~TKWizard()
{
    for (auto& wrapper : wrappers_)
        wrapper.reset();
    // Pages are unlinked without RemovePage, so destruction moves to no page and fires nothing.
    for (TKWizardCustomPage* page : pages_)
        page->wizard_ = nullptr;
    for (TKWizardButtonControl* control : controls_)
        if (control)
            control->SetWizard(nullptr);
    if (headerImages_)
        QObject::disconnect(headerImagesGone_);
    imageChangeLink_.reset();
    pages_.clear();
    activePage_ = nullptr;
}

std::unique_ptr<TKWizardButtonControl> TKWizard::ButtonControlClass(int Kind, QWidget* owner) const
{
    switch (Kind) {
    case bkStart:
        return std::make_unique<TKWizardStartButton>(owner);
    case bkLast:
        return std::make_unique<TKWizardLastButton>(owner);
    case bkBack:
        return std::make_unique<TKWizardBackButton>(owner);
    case bkFinish:
        return std::make_unique<TKWizardFinishButton>(owner);
    case bkNext:
        return std::make_unique<TKWizardNextButton>(owner);
    case bkCancel:
        return std::make_unique<TKWizardCancelButton>(owner);
    default:
        return std::make_unique<TKWizardButtonControl>(owner);
    }
}

void TKWizard::CreateButtons()
{
    for (int kind = 0; kind < KWizardButtonCount; ++kind) {
        if (controls_[kind])
            continue;
        // Qt ownership from the start: the wizard deletes its children.
        TKWizardButtonControl* control = ButtonControlClass(kind, this).release();
        if (control->parentWidget() != this) {
            // An override that ignored the owner: adopt the control without showing a window.
            const bool shown = !control->isHidden();
            control->setParent(this);
            control->setVisible(shown);
        }
        control->resize(ButtonWidth, ButtonHeight);
        control->SetWizard(this);
        controls_[kind] = control;
        wrappers_[kind] = std::make_unique<TKWizardButton>();
        wrappers_[kind]->SetButtonControl(control);
    }
}

TKWizardButtonControl* TKWizard::ButtonControl(int kind) const
{
    return kind >= 0 && kind < KWizardButtonCount ? controls_[kind] : nullptr;
}

TNotifyEvent TKWizard::ClickOf(int kind) const
{
    const TKWizardButtonControl* control = ButtonControl(kind);
    return control ? control->OnClick : TNotifyEvent();
}

void TKWizard::SetClickOf(int kind, TNotifyEvent handler)
{
    if (TKWizardButtonControl* control = ButtonControl(kind))
        control->OnClick = std::move(handler);
}

// ---------------------------------------------------------------------------------------------
// Pages and navigation

void TKWizard::SetActivePage(TKWizardCustomPage* page)
{
    if (!page || page->wizard_ == this)
        ChangeActivePage(page);
}

int TKWizard::ActivePageIndex() const
{
    return activePage_ ? static_cast<int>(pages_.indexOf(activePage_)) : -1;
}

TKWizardCustomPage* TKWizard::FindPage(int StartIndex, int Step) const
{
    const int count = static_cast<int>(pages_.size());
    int index = StartIndex + Step;
    while (index >= 0 && index < count && !pages_[index]->Enabled())
        index += Step;
    return index >= 0 && index < count ? pages_[index] : nullptr;
}

bool TKWizard::IsFirstPage(const TKWizardCustomPage* page) const
{
    const TKWizardCustomPage* first = FindPage(-1, +1);
    return !first || first == page;
}

bool TKWizard::IsLastPage(const TKWizardCustomPage* page) const
{
    const TKWizardCustomPage* last = FindPage(static_cast<int>(pages_.size()), -1);
    return !last || last == page;
}

void TKWizard::Navigate(int start, int step, const TKWizardChangePageEvent& event)
{
    TKWizardCustomPage* target = FindPage(start, step);
    if (target && event)
        event(this, activePage_, target);
    if (target)
        SetActivePage(target);
}

void TKWizard::SelectFirstPage()
{
    Navigate(-1, +1, OnFirstPage);
}

void TKWizard::SelectLastPage()
{
    Navigate(static_cast<int>(pages_.size()), -1, OnLastPage);
}

void TKWizard::SelectNextPage()
{
    Navigate(ActivePageIndex(), +1, OnNextPage);
}

void TKWizard::SelectPriorPage()
{
    // With no active page the start index is -1 and nothing lies before it.
    Navigate(ActivePageIndex(), -1, OnPriorPage);
}

void TKWizard::InsertPage(TKWizardCustomPage* page)
{
    pages_.append(page);
    page->wizard_ = this;
    page->setGeometry(PageRect());
}

void TKWizard::RemovePage(TKWizardCustomPage* page)
{
    TKWizardCustomPage* next = FindPage(page->PageIndex(), +1);
    if (next == page)
        next = nullptr;
    page->wizard_ = nullptr;
    pages_.removeOne(page);
    // Any removal moves to the nearest enabled page after the removed one, active or not.
    SetActivePage(next);
}

void TKWizard::ChangeActivePage(TKWizardCustomPage* page)
{
    if (page == activePage_)
        return;
    QWidget* form = window();

    // No control on a page about to be hidden keeps the focus.
    if (activePage_) {
        QWidget* focused = form->focusWidget();
        if (focused && (focused == activePage_ || activePage_->isAncestorOf(focused)))
            activePage_->setFocus();
    }

    if (page) {
        // The old page is still active and shown while the new one's handler runs; a move
        // started by that handler runs to its end in here.
        page->DoEnterPage();
        page->raise();
        page->SetShown(true);
        if (CanFocus(page))
            page->setFocus();
        else
            setFocus();
    }

    // Read again: a handler above may have made another page active. If it made the entered
    // page itself active, that page stays shown and is not exited: hiding it would leave the
    // wizard showing no page at all.
    if (TKWizardCustomPage* old = activePage_; old && old != page) {
        old->SetShown(false);
        old->DoExitPage();
    }

    activePage_ = page;

    if (page && form->focusWidget() == page)
        if (QWidget* first = FirstTabControl(page))
            first->setFocus(Qt::TabFocusReason);

    UpdateButtons();

    if (activePage_)
        activePage_->DoPage();
}

void TKWizard::UpdateButtons()
{
    const bool first = IsFirstPage(activePage_);
    const bool last = IsLastPage(activePage_);
    if (controls_[bkStart])
        controls_[bkStart]->setEnabled(!first);
    if (controls_[bkLast])
        controls_[bkLast]->setEnabled(!last);
    if (controls_[bkBack])
        controls_[bkBack]->setEnabled(!first);
    if (controls_[bkNext])
        controls_[bkNext]->setVisible(wrappers_[bkNext]->Visible() && !last);
    if (controls_[bkFinish])
        controls_[bkFinish]->setVisible(wrappers_[bkFinish]->Visible() && last);
}

void TKWizard::Loaded()
{
    LayoutButtons();
    if (!pages_.isEmpty())
        SelectFirstPage();
}

// ---------------------------------------------------------------------------------------------
// Button bar

void TKWizard::LayoutButtons()
{
    const int T = height() - ButtonTopFromBottom;
    const int W = width();
    const auto place = [T](QWidget* button, int x, int w) {
        button->setGeometry(x, T, w, ButtonHeight);
    };

    int X = LeftMargin;
    if (Shown(controls_[bkStart])) {
        place(controls_[bkStart], X, WideButtonWidth);
        X += WideButtonStep;
    }
    if (Shown(controls_[bkLast]))
        place(controls_[bkLast], X, WideButtonWidth);

    X = W - CancelFromRight;
    if (Shown(controls_[bkCancel])) {
        place(controls_[bkCancel], X, ButtonWidth);
        X -= CancelToNextStep;
    }
    if (Shown(controls_[bkNext]) || Shown(controls_[bkFinish])) {
        // Next and Finish share one slot; a hidden one keeps its last place.
        if (Shown(controls_[bkNext]))
            place(controls_[bkNext], X, ButtonWidth);
        if (Shown(controls_[bkFinish]))
            place(controls_[bkFinish], X, ButtonWidth);
        X -= NextToBackStep;
    }
    if (Shown(controls_[bkBack]))
        place(controls_[bkBack], X, ButtonWidth);
}

// ---------------------------------------------------------------------------------------------
// Decoration and window handling

QRect TKWizard::PageRect() const
{
    return QRect(0, 0, width(), std::max(0, height() - ButtonStripHeight));
}

void TKWizard::SetShowDivider(bool show)
{
    if (show == showDivider_)
        return;
    showDivider_ = show;
    update();
}

TColor TKWizard::Color() const
{
    if (colorSet_)
        return color_;
    if (const QWidget* parent = parentWidget())
        return TColor::Fixed(parent->palette().color(parent->backgroundRole()));
    return clBtnFace;
}

void TKWizard::SetColor(TColor color)
{
    if (colorSet_ && color == color_)
        return;
    color_ = color;
    colorSet_ = true;
    update();
}

void TKWizard::SetHeaderImages(TImageList* images)
{
    if (headerImages_) {
        headerImages_->UnRegisterChanges(imageChangeLink_.get());
        QObject::disconnect(headerImagesGone_);
    }
    headerImages_ = images;
    if (images) {
        images->RegisterChanges(imageChangeLink_.get());
        // By the time destroyed() arrives the list has already dropped its subscribers.
        headerImagesGone_ = connect(images, &QObject::destroyed, this, [this] {
            headerImages_ = nullptr;
            if (activePage_)
                activePage_->update();
        });
    }
    if (activePage_)
        activePage_->update();
}

void TKWizard::HeaderImagesChange(TImageList* list)
{
    if (list == headerImages_ && activePage_)
        activePage_->update();
}

void TKWizard::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    Application().Guard([&] {
        TRect R = TRect::FromQRect(rect());
        FillRect(&painter, R, Color());
        if (showDivider_) {
            R.Top = R.Bottom - ButtonStripHeight;
            DrawBevel(&painter, R, beTop);
        }
    });
}

void TKWizard::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Application().Guard([&] {
        // Hidden buttons keep their distance to the edges they are anchored to; the visible
        // ones are placed by LayoutButtons below.
        const QSize old = event->oldSize().isValid() ? event->oldSize() : event->size();
        const int dx = event->size().width() - old.width();
        const int dy = event->size().height() - old.height();
        for (TKWizardButtonControl* control : controls_) {
            if (!control || Shown(control))
                continue;
            const Qt::Edges anchors = control->Anchors();
            control->move(
                control->x() + ((anchors & Qt::RightEdge) && !(anchors & Qt::LeftEdge) ? dx : 0),
                control->y() + ((anchors & Qt::BottomEdge) && !(anchors & Qt::TopEdge) ? dy : 0));
        }
        for (TKWizardCustomPage* page : pages_)
            page->setGeometry(PageRect());
        LayoutButtons();
    });
}

bool TKWizard::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        FillParent();
    return QWidget::eventFilter(watched, event);
}

void TKWizard::FillParent()
{
    if (const QWidget* parent = parentWidget())
        setGeometry(parent->rect());
}
