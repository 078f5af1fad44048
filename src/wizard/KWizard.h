#pragma once

#include "runtime/Events.h"
#include "wizard/Graphics.h"
#include "wizard/ImageList.h"
#include "wizard/KWizardButtons.h"
#include "wizard/KWizardDecoration.h"
#include "wizard/KWizardPage.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class TKWizard;

// Asked before a navigation operation moves: ToPage holds the proposed target and may be
// replaced by another page or by nullptr (no move).
using TKWizardChangePageEvent =
    std::function<void(QObject* Sender, TKWizardCustomPage* FromPage, TKWizardCustomPage*& ToPage)>;

// A container of ordered pages above a 42-pixel bar of six navigation buttons. It fills its
// parent window and shows one page at a time.
//
// Keys: the containing window's keyboard handling must not take arrow keys or Tab from the
// wizard. A plain Qt child widget already receives every key while it has the focus (only
// dialogs bind Enter and Escape, and none of the bar's buttons is a default button), so nothing
// further is done for it.
class TKWizard : public QWidget
{
    Q_OBJECT
public:
    // Height of the button strip at the bottom, which pages never cover.
    static constexpr int ButtonStripHeight = 42;

    explicit TKWizard(QWidget* parent = nullptr);
    ~TKWizard() override;

    const QList<TKWizardCustomPage*>& Pages() const { return pages_; }
    TKWizardCustomPage* ActivePage() const { return activePage_; }
    // Only nullptr or a page of this wizard is taken; anything else is ignored.
    void SetActivePage(TKWizardCustomPage* page);
    int ActivePageIndex() const;

    void SelectFirstPage();
    void SelectLastPage();
    void SelectNextPage();
    void SelectPriorPage();
    // The nearest enabled page from StartIndex + Step on, stepping by Step; nullptr if none.
    TKWizardCustomPage* FindPage(int StartIndex, int Step) const;
    bool IsFirstPage(const TKWizardCustomPage* page) const;
    bool IsLastPage(const TKWizardCustomPage* page) const;

    // Places the visible buttons in the bottom strip.
    void LayoutButtons();
    // End of loading: lays out the buttons and moves to the first enabled page.
    void Loaded();

    TKWizardButton* ButtonStart() const { return wrappers_[bkStart].get(); }
    TKWizardButton* ButtonLast() const { return wrappers_[bkLast].get(); }
    TKWizardButton* ButtonBack() const { return wrappers_[bkBack].get(); }
    TKWizardButton* ButtonFinish() const { return wrappers_[bkFinish].get(); }
    TKWizardButton* ButtonNext() const { return wrappers_[bkNext].get(); }
    TKWizardButton* ButtonCancel() const { return wrappers_[bkCancel].get(); }
    TKWizardButtonControl* ButtonControl(int kind) const;

    // The click events are the button controls' own OnClick handlers.
    TNotifyEvent OnFirstButtonClick() const { return ClickOf(bkStart); }
    void SetOnFirstButtonClick(TNotifyEvent handler) { SetClickOf(bkStart, std::move(handler)); }
    TNotifyEvent OnLastButtonClick() const { return ClickOf(bkLast); }
    void SetOnLastButtonClick(TNotifyEvent handler) { SetClickOf(bkLast, std::move(handler)); }
    TNotifyEvent OnBackButtonClick() const { return ClickOf(bkBack); }
    void SetOnBackButtonClick(TNotifyEvent handler) { SetClickOf(bkBack, std::move(handler)); }
    TNotifyEvent OnFinishButtonClick() const { return ClickOf(bkFinish); }
    void SetOnFinishButtonClick(TNotifyEvent handler) { SetClickOf(bkFinish, std::move(handler)); }
    TNotifyEvent OnNextButtonClick() const { return ClickOf(bkNext); }
    void SetOnNextButtonClick(TNotifyEvent handler) { SetClickOf(bkNext, std::move(handler)); }
    TNotifyEvent OnCancelButtonClick() const { return ClickOf(bkCancel); }
    void SetOnCancelButtonClick(TNotifyEvent handler) { SetClickOf(bkCancel, std::move(handler)); }

    bool ShowDivider() const { return showDivider_; }
    void SetShowDivider(bool show);
    // No route-map control exists: the switch reads False and a write has no effect.
    bool ShowRouteMap() const { return false; }
    void SetShowRouteMap(bool) {}
    TImageList* HeaderImages() const { return headerImages_; }
    void SetHeaderImages(TImageList* images);
    // The wizard's colour: its parent's background unless set; clNone paints no background.
    TColor Color() const;
    void SetColor(TColor color);
    QString About() const { return QStringLiteral("TKWizard"); }
    void SetAbout(const QString&) {}

    // The part of the client area that pages fill.
    QRect PageRect() const;

    TKWizardChangePageEvent OnNextPage;
    TKWizardChangePageEvent OnPriorPage;
    TKWizardChangePageEvent OnFirstPage;
    TKWizardChangePageEvent OnLastPage;

protected:
    // For a derived wizard whose ButtonControlClass override must be in force: the derived
    // constructor calls CreateButtons() itself.
    struct DeferButtons
    {
    };
    TKWizard(QWidget* parent, DeferButtons);

    // A new button control for a kind, created as a child of owner (never a window of its own,
    // not even for a moment); the base class of the bar for unknown kinds.
    virtual std::unique_ptr<TKWizardButtonControl> ButtonControlClass(int Kind,
                                                                      QWidget* owner) const;
    void CreateButtons();

    void InsertPage(TKWizardCustomPage* page);
    void RemovePage(TKWizardCustomPage* page);
    void ChangeActivePage(TKWizardCustomPage* page);
    void UpdateButtons();
    void HeaderImagesChange(TImageList* list);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TKWizardCustomPage;

    void Init(QWidget* parent);
    TNotifyEvent ClickOf(int kind) const;
    void SetClickOf(int kind, TNotifyEvent handler);
    void Navigate(int start, int step, const TKWizardChangePageEvent& event);
    void FillParent();

    QList<TKWizardCustomPage*> pages_;
    TKWizardCustomPage* activePage_ = nullptr;
    std::array<TKWizardButtonControl*, KWizardButtonCount> controls_{};
    std::array<std::unique_ptr<TKWizardButton>, KWizardButtonCount> wrappers_;
    bool showDivider_ = true;
    TImageList* headerImages_ = nullptr;
    QMetaObject::Connection headerImagesGone_;
    std::unique_ptr<TChangeLink> imageChangeLink_;
    TColor color_;
    bool colorSet_ = false;
};
