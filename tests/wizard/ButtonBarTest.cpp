#include "WizardFixture.h"

#include <QTest>

namespace {

using ButtonBar = WizardFixture;

struct Place
{
    int x, y, w, h;
    friend bool operator==(const Place&, const Place&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Place& p)
    {
        return os << "(" << p.x << "," << p.y << " " << p.w << "x" << p.h << ")";
    }
};

Place PlaceOf(const QWidget* w)
{
    return {w->x(), w->y(), w->width(), w->height()};
}

TEST_F(ButtonBar, InitialCaptionsAndStates)
{
    struct Row
    {
        int kind;
        const char* caption;
        bool visible, enabled;
    };
    const Row rows[] = {
        {bkStart, "To &Start Page", false, true}, {bkLast, "To &Last Page", false, true},
        {bkBack, "< &Back", true, false},         {bkFinish, "&Finish", true, true},
        {bkNext, "&Next >", true, true},          {bkCancel, "Cancel", true, true}};
    const TKWizardButton* wrappers[] = {wizard->ButtonStart(), wizard->ButtonLast(),
                                        wizard->ButtonBack(),  wizard->ButtonFinish(),
                                        wizard->ButtonNext(),  wizard->ButtonCancel()};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.caption);
        const TKWizardButtonControl* control = Control(row.kind);
        EXPECT_EQ(wrappers[row.kind]->ButtonControl(), control);
        EXPECT_EQ(control->Wizard(), wizard);
        EXPECT_EQ(control->text(), row.caption);
        EXPECT_EQ(Shown(row.kind), row.visible);
        EXPECT_EQ(wrappers[row.kind]->Visible(), row.visible);
        EXPECT_EQ(control->isEnabled(), row.enabled);
        EXPECT_FALSE(control->isDefault());
        EXPECT_FALSE(control->autoDefault());
        EXPECT_EQ(control->NumGlyphs(), 1);
        EXPECT_EQ(control->Layout(), blGlyphLeft);
    }
}

// Each button is a child of the wizard from its creation: no button ever flashes up as a
// window of its own.
TEST_F(ButtonBar, CreatingAWizardShowsNoButtonAsAWindow)
{
    struct Watch : QObject
    {
        int windows = 0;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (qobject_cast<TKWizardButtonControl*>(o) && static_cast<QWidget*>(o)->isWindow() &&
                (e->type() == QEvent::Show || e->type() == QEvent::WinIdChange))
                ++windows;
            return false;
        }
    } watch;
    qApp->installEventFilter(&watch);
    {
        TKWizard another(form.get());
        TKWizard alone(nullptr);
        EXPECT_EQ(watch.windows, 0);
    }
    qApp->removeEventFilter(&watch);
}

TEST_F(ButtonBar, LayoutOfA486By412Wizard)
{
    wizard->LayoutButtons();
    EXPECT_EQ(PlaceOf(Control(bkBack)), (Place{240, 379, 75, 25}));
    EXPECT_EQ(PlaceOf(Control(bkNext)), (Place{316, 379, 75, 25}));
    EXPECT_EQ(PlaceOf(Control(bkFinish)), (Place{316, 379, 75, 25}));
    EXPECT_EQ(PlaceOf(Control(bkCancel)), (Place{402, 379, 75, 25}));

    wizard->ButtonStart()->SetVisible(true);
    wizard->ButtonLast()->SetVisible(true);
    EXPECT_EQ(PlaceOf(Control(bkStart)), (Place{8, 379, 105, 25}));
    EXPECT_EQ(PlaceOf(Control(bkLast)), (Place{114, 379, 105, 25}));

    wizard->ButtonStart()->SetVisible(false); // Last takes Start's place
    EXPECT_EQ(PlaceOf(Control(bkLast)), (Place{8, 379, 105, 25}));
}

TEST_F(ButtonBar, HiddenButtonsLeaveNoHole)
{
    wizard->LayoutButtons();
    wizard->ButtonCancel()->SetVisible(false);
    EXPECT_EQ(Control(bkNext)->x(), 402);
    EXPECT_EQ(Control(bkBack)->x(), 326);
    EXPECT_EQ(Control(bkCancel)->x(), 402); // a hidden button keeps its last place

    wizard->ButtonCancel()->SetVisible(true);
    Control(bkNext)->hide(); // any path that hides a control lays the bar out again
    Control(bkFinish)->hide();
    EXPECT_EQ(Control(bkBack)->x(), 486 - 170);

    wizard->ButtonBack()->SetVisible(false);
    wizard->ButtonBack()->SetVisible(true);
    EXPECT_TRUE(Shown(bkBack));
    EXPECT_EQ(Control(bkBack)->x(), 486 - 170);
    EXPECT_FALSE(Control(bkBack)->isEnabled()); // visibility leaves the enabled state alone
}

TEST_F(ButtonBar, ResizingMovesTheRightGroupAndTheWholeBarWithTheEdges)
{
    wizard->ButtonStart()->SetVisible(true);
    form->show(); // Qt delivers resize events to shown widgets only
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->resize(640, 480);
    EXPECT_EQ(PlaceOf(Control(bkCancel)), (Place{640 - 84, 480 - 33, 75, 25}));
    EXPECT_EQ(PlaceOf(Control(bkBack)), (Place{640 - 84 - 86 - 76, 447, 75, 25}));
    EXPECT_EQ(PlaceOf(Control(bkStart)), (Place{8, 447, 105, 25}));
    // A hidden button keeps its distance to the edges it is anchored to (Last: left, bottom).
    EXPECT_EQ(Control(bkLast)->pos(), QPoint(0, 480 - 412));
    form->close();
}

TEST_F(ButtonBar, StatesFollowThePagePosition)
{
    AddPages(3);
    struct Expect
    {
        bool start, last, back, next, finish;
    };
    wizard->ButtonFinish()->SetVisible(true);
    const Expect atPage[] = {{false, true, false, true, false},
                             {true, true, true, true, false},
                             {true, false, true, false, true}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        wizard->SetActivePage(pages[i]);
        EXPECT_EQ(Enabled(bkStart), atPage[i].start);
        EXPECT_EQ(Enabled(bkLast), atPage[i].last);
        EXPECT_EQ(Enabled(bkBack), atPage[i].back);
        EXPECT_EQ(Shown(bkNext), atPage[i].next);
        EXPECT_EQ(Shown(bkFinish), atPage[i].finish);
        EXPECT_TRUE(wizard->ButtonFinish()->Visible());
        EXPECT_TRUE(wizard->ButtonNext()->Visible());
    }
}

TEST_F(ButtonBar, SinglePageIsFirstAndLast)
{
    AddPages(1);
    wizard->Loaded();
    EXPECT_FALSE(Enabled(bkStart));
    EXPECT_FALSE(Enabled(bkBack));
    EXPECT_FALSE(Enabled(bkLast));
    EXPECT_FALSE(Shown(bkNext));
    EXPECT_TRUE(Shown(bkFinish)); // its wrapper flag starts True
}

TEST_F(ButtonBar, FinishTurnedOnWhileOnTheLastPage)
{
    AddPages(2);
    wizard->ButtonFinish()->SetVisible(false);
    wizard->Loaded();
    EXPECT_FALSE(Shown(bkFinish));
    wizard->SelectNextPage();
    EXPECT_FALSE(Shown(bkFinish));
    EXPECT_FALSE(Shown(bkNext));

    wizard->ButtonFinish()->SetVisible(true);
    EXPECT_TRUE(Shown(bkFinish));
    EXPECT_EQ(Control(bkFinish)->x(), 316);

    wizard->SelectPriorPage();
    EXPECT_FALSE(Shown(bkFinish));
    EXPECT_TRUE(Shown(bkNext));
    wizard->SelectNextPage();
    EXPECT_TRUE(Shown(bkFinish));
    EXPECT_FALSE(Shown(bkNext));
}

TEST_F(ButtonBar, FinishShownFromAnEnterHandlerStandsAloneAfterTheMove)
{
    AddPages(2);
    wizard->ButtonFinish()->SetVisible(false);
    wizard->Loaded();
    pages[1]->OnEnterPage = [this](QObject*) {
        wizard->ButtonFinish()->SetVisible(true);
        EXPECT_TRUE(Shown(bkFinish) && Shown(bkNext)); // both in the slot during the move
    };
    wizard->SelectNextPage();
    EXPECT_TRUE(Shown(bkFinish));
    EXPECT_FALSE(Shown(bkNext));
}

TEST_F(ButtonBar, NextFlagOffKeepsNextHidden)
{
    AddPages(3);
    wizard->ButtonNext()->SetVisible(false);
    wizard->Loaded();
    EXPECT_FALSE(Shown(bkNext));
    EXPECT_EQ(Control(bkBack)->x(), 486 - 170);
    wizard->SelectLastPage();
    EXPECT_TRUE(Shown(bkFinish));
    EXPECT_EQ(Control(bkBack)->x(), 240);
}

TEST_F(ButtonBar, MouseClicksNavigateAfterTheClickEvent)
{
    AddPages(3);
    wizard->Loaded();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    std::vector<std::string> clicks;
    auto record = [&](const char* what) {
        return [&, what](QObject* sender) {
            clicks.push_back(std::string(what) + " on " + Name(wizard->ActivePage()));
            EXPECT_TRUE(dynamic_cast<TKWizardButtonControl*>(sender));
        };
    };
    wizard->SetOnNextButtonClick(record("next"));
    wizard->SetOnBackButtonClick(record("back"));
    wizard->SetOnFinishButtonClick(record("finish"));
    wizard->SetOnCancelButtonClick(record("cancel"));
    EXPECT_TRUE(wizard->OnNextButtonClick());
    EXPECT_FALSE(wizard->OnFirstButtonClick());

    QTest::mouseClick(Control(bkNext), Qt::LeftButton);
    EXPECT_EQ(wizard->ActivePage(), pages[1]);
    QTest::mouseClick(Control(bkNext), Qt::LeftButton);
    EXPECT_EQ(wizard->ActivePage(), pages[2]);
    QTest::mouseClick(Control(bkFinish), Qt::LeftButton);
    QTest::mouseClick(Control(bkCancel), Qt::LeftButton);
    EXPECT_EQ(wizard->ActivePage(), pages[2]); // Finish and Cancel move nowhere
    QTest::mouseClick(Control(bkBack), Qt::LeftButton);
    EXPECT_EQ(wizard->ActivePage(), pages[1]);
    EXPECT_EQ(clicks, (std::vector<std::string>{"next on P1", "next on P2", "finish on P3",
                                                "cancel on P3", "back on P3"}));
    EXPECT_TRUE(form->isVisible()); // Cancel closes nothing by itself
    form->close();
}

TEST_F(ButtonBar, MnemonicsPressTheButtons)
{
    AddPages(3);
    wizard->ButtonNext()->SetCaption("&Siguiente >");
    wizard->ButtonBack()->SetCaption("< &Anterior");
    wizard->Loaded();
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    // A mnemonic animates the click: the button fires a moment after the key.
    const auto pressMovesTo = [&](Qt::Key key, TKWizardCustomPage* expected) {
        QTest::keyClick(form.get(), key, Qt::AltModifier);
        return QTest::qWaitFor([&] { return wizard->ActivePage() == expected; }, 2000);
    };
    EXPECT_TRUE(pressMovesTo(Qt::Key_S, pages[1]));
    EXPECT_TRUE(pressMovesTo(Qt::Key_S, pages[2]));
    EXPECT_TRUE(pressMovesTo(Qt::Key_A, pages[1]));
    // Enter and Escape press nothing: a click of theirs would land before the one of the
    // mnemonic pressed after them.
    std::vector<std::string> clicks;
    wizard->SetOnNextButtonClick([&](QObject*) { clicks.push_back("next"); });
    wizard->SetOnBackButtonClick([&](QObject*) { clicks.push_back("back"); });
    wizard->SetOnFinishButtonClick([&](QObject*) { clicks.push_back("finish"); });
    wizard->SetOnCancelButtonClick([&](QObject*) { clicks.push_back("cancel"); });
    QTest::keyClick(form.get(), Qt::Key_Return);
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_TRUE(pressMovesTo(Qt::Key_A, pages[0]));
    EXPECT_EQ(clicks, std::vector<std::string>{"back"});
    form->close();
}

TEST_F(ButtonBar, NextClickedOnTheLastPageFiresAndMovesNowhere)
{
    AddPages(2);
    wizard->Loaded();
    wizard->SelectLastPage();
    Control(bkNext)->show(); // application code can make it reachable
    int clicks = 0;
    wizard->SetOnNextButtonClick([&](QObject*) { ++clicks; });
    log.clear();
    Control(bkNext)->click();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(wizard->ActivePage(), pages[1]);
    EXPECT_TRUE(log.empty());
}

TEST_F(ButtonBar, ClickHandlerThatMovesIsFollowedByTheButtonsOwnMove)
{
    AddPages(4);
    wizard->Loaded();
    wizard->SetOnNextButtonClick([this](QObject*) { wizard->SelectNextPage(); });
    Control(bkNext)->click();
    EXPECT_EQ(wizard->ActivePage(), pages[2]);
}

TEST_F(ButtonBar, WrapperWithoutControl)
{
    TKWizardButton wrapper;
    wrapper.SetCaption("x");
    wrapper.SetEnabled(true);
    wrapper.SetNumGlyphs(2);
    wrapper.SetLayout(blGlyphRight);
    wrapper.SetVisible(true);
    EXPECT_EQ(wrapper.Caption(), "");
    EXPECT_FALSE(wrapper.Enabled());
    EXPECT_EQ(wrapper.NumGlyphs(), 0);
    EXPECT_EQ(wrapper.Layout(), blGlyphLeft);
    EXPECT_TRUE(wrapper.Glyph().isNull());
    EXPECT_TRUE(wrapper.Visible());
}

TEST_F(ButtonBar, WrapperForwardsToItsControl)
{
    TKWizardButton* next = wizard->ButtonNext();
    next->SetCaption("&Siguiente >");
    next->SetEnabled(false);
    QPixmap glyph(32, 16);
    glyph.fill(Qt::red);
    next->SetGlyph(glyph);
    next->SetNumGlyphs(2);
    next->SetLayout(blGlyphRight);
    EXPECT_EQ(Control(bkNext)->text(), "&Siguiente >");
    EXPECT_FALSE(Control(bkNext)->isEnabled());
    EXPECT_EQ(next->Glyph().size(), QSize(32, 16));
    EXPECT_EQ(Control(bkNext)->iconSize(), QSize(16, 16)); // one of two images side by side
    EXPECT_EQ(Control(bkNext)->layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(next->Layout(), blGlyphRight);
}

class MyNextButton : public TKWizardNextButton
{
public:
    using TKWizardNextButton::TKWizardNextButton;
};

class MyWizard : public TKWizard
{
public:
    explicit MyWizard(QWidget* parent) : TKWizard(parent, DeferButtons{}) { CreateButtons(); }

protected:
    std::unique_ptr<TKWizardButtonControl> ButtonControlClass(int kind,
                                                              QWidget* owner) const override
    {
        if (kind == bkNext)
            return std::make_unique<MyNextButton>(owner);
        return TKWizard::ButtonControlClass(kind, owner);
    }
};

TEST_F(ButtonBar, DerivedWizardSuppliesItsOwnButtonClass)
{
    MyWizard mine(form.get());
    EXPECT_TRUE(dynamic_cast<MyNextButton*>(mine.ButtonControl(bkNext)));
    EXPECT_TRUE(dynamic_cast<TKWizardBackButton*>(mine.ButtonControl(bkBack)));
    EXPECT_EQ(mine.ButtonNext()->ButtonControl(), mine.ButtonControl(bkNext));
    EXPECT_EQ(mine.ButtonControl(bkNext)->Wizard(), &mine);
}

} // namespace
