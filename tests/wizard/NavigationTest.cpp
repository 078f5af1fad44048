#include "WizardFixture.h"

#include "runtime/Application.h"
#include "runtime/Exception.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <utility>

namespace {

using Navigation = WizardFixture;

TEST_F(Navigation, PlainMoveEntersThenExitsThenFiresPage)
{
    AddPages(2);
    wizard->SelectFirstPage();
    EXPECT_EQ(log, (Log{"P1 enter", "P1 page"}));
    log.clear();

    // The new page's enter handler still sees the old page shown and active.
    pages[1]->OnEnterPage = [this](QObject*) {
        log.push_back("P2 enter");
        EXPECT_EQ(wizard->ActivePage(), pages[0]);
        EXPECT_FALSE(pages[0]->isHidden());
        EXPECT_TRUE(pages[1]->isHidden());
    };
    wizard->SelectNextPage();
    EXPECT_EQ(log, (Log{"P2 enter", "P1 exit", "P2 page"}));
    EXPECT_EQ(wizard->ActivePage(), pages[1]);
    EXPECT_EQ(ShownPages(), (std::vector<std::string>{"P2"}));
    EXPECT_EQ(wizard->ActivePageIndex(), 1);
}

TEST_F(Navigation, ChangePageEventsSeeFromAndProposedTarget)
{
    AddPages(4);
    std::vector<std::string> calls;
    auto recorder = [&](const char* what) {
        return [&, what](QObject* sender, TKWizardCustomPage* from, TKWizardCustomPage*& to) {
            EXPECT_EQ(sender, wizard);
            calls.push_back(std::string(what) + " " + (from ? Name(from) : "-") + ">" + Name(to));
        };
    };
    wizard->OnFirstPage = recorder("first");
    wizard->OnLastPage = recorder("last");
    wizard->OnNextPage = recorder("next");
    wizard->OnPriorPage = recorder("prior");

    wizard->SelectPriorPage(); // no active page: nothing before index -1
    wizard->SelectNextPage();  // no active page: the first enabled page
    wizard->SelectLastPage();
    wizard->SelectPriorPage();
    wizard->SelectFirstPage();
    wizard->SelectFirstPage(); // already there: its event fires, the page change does not
    EXPECT_EQ(calls, (std::vector<std::string>{"next ->P1", "last P1>P4", "prior P4>P3",
                                               "first P3>P1", "first P1>P1"}));
    EXPECT_EQ(wizard->ActivePage(), pages[0]);
    EXPECT_EQ(log.back(), "P1 page");
}

TEST_F(Navigation, HandlerSettingToPageNullCancelsTheMove)
{
    AddPages(2);
    wizard->SelectFirstPage();
    log.clear();
    wizard->OnNextPage = [](QObject*, TKWizardCustomPage*, TKWizardCustomPage*& to) {
        to = nullptr;
    };
    wizard->SelectNextPage();
    EXPECT_EQ(wizard->ActivePage(), pages[0]);
    EXPECT_TRUE(log.empty());
}

TEST_F(Navigation, HandlerMayChooseADisabledPageWhichStaysSilent)
{
    AddPages(3);
    wizard->SelectFirstPage();
    pages[2]->SetEnabled(false);
    log.clear();
    wizard->OnNextPage = [this](QObject*, TKWizardCustomPage*, TKWizardCustomPage*& to) {
        to = pages[2];
    };
    wizard->SelectNextPage();
    EXPECT_EQ(wizard->ActivePage(), pages[2]);
    EXPECT_EQ(log, (Log{"P1 exit"}));
    EXPECT_EQ(ShownPages(), (std::vector<std::string>{"P3"}));
}

TEST_F(Navigation, ForeignOrDetachedPageAssignedIsIgnored)
{
    AddPages(2);
    wizard->SelectFirstPage();
    log.clear();
    TKWizard other(form.get());
    auto* foreign = new TKWizardInteriorPage(form.get());
    foreign->SetWizard(&other);
    auto* detached = new TKWizardInteriorPage(form.get());
    Record(foreign);
    Record(detached);
    wizard->SetActivePage(foreign);
    wizard->SetActivePage(detached);
    wizard->SetActivePage(pages[0]); // the active page again
    EXPECT_EQ(wizard->ActivePage(), pages[0]);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(foreign->Wizard(), &other);
    EXPECT_EQ(detached->PageIndex(), -1);
}

// B's enter handler goes back to the first page while the wizard moves from A to B.
TEST_F(Navigation, NestedSelectFirstPageFromEnterHandlerEndsOnTheEnteredPage)
{
    AddPages(3); // P1 first, P2 = A, P3 = B
    wizard->SelectFirstPage();
    wizard->SelectNextPage();
    log.clear();
    pages[2]->OnEnterPage = [this](QObject*) {
        log.push_back("P3 enter");
        wizard->SelectFirstPage();
        EXPECT_EQ(wizard->ActivePage(), pages[0]);
        EXPECT_EQ(ShownPages(), (std::vector<std::string>{"P1"}));
    };
    wizard->SelectNextPage();
    EXPECT_EQ(log, (Log{"P3 enter", "P1 enter", "P2 exit", "P1 page", "P1 exit", "P3 page"}));
    EXPECT_EQ(wizard->ActivePage(), pages[2]);
    EXPECT_EQ(ShownPages(), (std::vector<std::string>{"P3"}));
    // The buttons follow the final page.
    EXPECT_TRUE(Enabled(bkBack));
    EXPECT_FALSE(Shown(bkNext));
}

TEST_F(Navigation, NestedSelectFirstPageHasNoEffectWhenLeavingTheFirstPage)
{
    AddPages(2);
    wizard->SelectFirstPage();
    log.clear();
    pages[1]->OnEnterPage = [this](QObject*) {
        log.push_back("P2 enter");
        wizard->SelectFirstPage();
    };
    wizard->SelectNextPage();
    EXPECT_EQ(log, (Log{"P2 enter", "P1 exit", "P2 page"}));
    EXPECT_EQ(wizard->ActivePage(), pages[1]);
}

// Regression: a nested move to the page being entered used to hide it and fire its exit event,
// leaving the wizard on a hidden active page.
TEST_F(Navigation, NestedMoveToThePageBeingEnteredKeepsItShown)
{
    AddPages(2);
    wizard->SelectFirstPage();
    log.clear();
    bool once = false;
    pages[1]->OnEnterPage = [&](QObject*) {
        log.push_back("P2 enter");
        if (!std::exchange(once, true))
            wizard->SetActivePage(pages[1]);
    };
    wizard->SelectNextPage();
    EXPECT_EQ(log, (Log{"P2 enter", "P2 enter", "P1 exit", "P2 page", "P2 page"}));
    EXPECT_EQ(wizard->ActivePage(), pages[1]);
    EXPECT_EQ(ShownPages(), (std::vector<std::string>{"P2"}));
}

TEST_F(Navigation, DisabledFirstPageMakesTheSecondOneFirst)
{
    AddPages(3);
    pages[0]->SetEnabled(false);
    wizard->Loaded();
    EXPECT_EQ(wizard->ActivePage(), pages[1]);
    EXPECT_TRUE(wizard->IsFirstPage(pages[1]));
    EXPECT_FALSE(Enabled(bkStart));
    EXPECT_FALSE(Enabled(bkBack));
    EXPECT_TRUE(Enabled(bkLast));
    wizard->SelectPriorPage();
    EXPECT_EQ(wizard->ActivePage(), pages[1]);
}

TEST_F(Navigation, DisabledMiddlePageIsSkippedBothWays)
{
    AddPages(4);
    pages[2]->SetEnabled(false);
    wizard->ButtonFinish()->SetVisible(true);
    wizard->SelectFirstPage();
    wizard->SelectNextPage();
    EXPECT_EQ(wizard->ActivePage(), pages[1]);
    EXPECT_TRUE(Shown(bkNext));
    EXPECT_FALSE(Shown(bkFinish));

    wizard->SelectNextPage();
    EXPECT_EQ(wizard->ActivePage(), pages[3]);
    EXPECT_TRUE(wizard->IsLastPage(pages[3]));
    EXPECT_FALSE(Shown(bkNext));
    EXPECT_TRUE(Shown(bkFinish));
    EXPECT_FALSE(Enabled(bkLast));

    wizard->SelectPriorPage();
    EXPECT_EQ(wizard->ActivePage(), pages[1]);
}

TEST_F(Navigation, EveryPageDisabledMakesNavigationDoNothing)
{
    AddPages(3);
    for (TKWizardCustomPage* page : pages)
        page->SetEnabled(false);
    int changeEvents = 0;
    auto count = [&](QObject*, TKWizardCustomPage*, TKWizardCustomPage*&) { ++changeEvents; };
    wizard->OnFirstPage = wizard->OnLastPage = wizard->OnNextPage = wizard->OnPriorPage = count;
    wizard->SelectFirstPage();
    wizard->SelectLastPage();
    wizard->SelectNextPage();
    EXPECT_EQ(wizard->ActivePage(), nullptr);
    EXPECT_EQ(changeEvents, 0);

    // Any page counts as first and last when no page is enabled.
    wizard->SetActivePage(pages[1]);
    EXPECT_EQ(wizard->ActivePage(), pages[1]);
    EXPECT_TRUE(wizard->IsFirstPage(pages[1]) && wizard->IsLastPage(pages[1]));
    EXPECT_TRUE(wizard->IsFirstPage(nullptr) && wizard->IsLastPage(nullptr));
    EXPECT_FALSE(Enabled(bkStart));
    EXPECT_FALSE(Enabled(bkBack));
    EXPECT_FALSE(Enabled(bkLast));
    EXPECT_FALSE(Shown(bkNext));
    EXPECT_TRUE(log.empty());
}

TEST_F(Navigation, DisablingTheActivePageMovesOn)
{
    AddPages(3);
    wizard->SelectFirstPage();
    wizard->SelectNextPage();
    log.clear();

    pages[1]->SetEnabled(false); // next enabled after it
    EXPECT_EQ(wizard->ActivePage(), pages[2]);
    EXPECT_EQ(log, (Log{"P3 enter", "P3 page"}));

    log.clear();
    pages[2]->SetEnabled(false); // the last enabled page: to the one before it
    EXPECT_EQ(wizard->ActivePage(), pages[0]);
    EXPECT_EQ(log, (Log{"P1 enter", "P1 page"}));

    log.clear();
    pages[0]->SetEnabled(false); // the only enabled page: no active page, no exit event
    EXPECT_EQ(wizard->ActivePage(), nullptr);
    EXPECT_TRUE(ShownPages().empty());
    EXPECT_TRUE(log.empty());

    pages[0]->SetEnabled(true); // enabling changes nothing else
    EXPECT_EQ(wizard->ActivePage(), nullptr);
}

TEST_F(Navigation, DisablingThroughQtSetEnabledIsHeardToo)
{
    AddPages(2);
    wizard->SelectFirstPage();
    pages[0]->setEnabled(false);
    EXPECT_EQ(wizard->ActivePage(), pages[1]);
}

TEST_F(Navigation, DestroyingAnAttachedInactivePageMovesToTheNextEnabledAfterIt)
{
    AddPages(4);
    wizard->SelectLastPage();
    log.clear();
    delete pages[1];
    EXPECT_EQ(wizard->Pages().size(), 2 + 1);
    EXPECT_EQ(wizard->ActivePage(), pages[2]);
    EXPECT_EQ(log, (Log{"P3 enter", "P4 exit", "P3 page"}));

    log.clear();
    pages[3]->SetWizard(nullptr); // the last page: nothing follows, no active page
    EXPECT_EQ(wizard->ActivePage(), nullptr);
    EXPECT_EQ(log, (Log{"P3 exit"}));
    EXPECT_EQ(pages[3]->Wizard(), nullptr);
    EXPECT_EQ(pages[3]->parentWidget(), form.get());
    EXPECT_TRUE(pages[3]->isHidden());
}

TEST_F(Navigation, MovingAPageToAnotherWizardLeavesTheFirst)
{
    AddPages(2);
    TKWizard other(form.get());
    pages[0]->SetWizard(&other);
    EXPECT_EQ(wizard->Pages(), (QList<TKWizardCustomPage*>{pages[1]}));
    EXPECT_EQ(other.Pages(), (QList<TKWizardCustomPage*>{pages[0]}));
    EXPECT_EQ(pages[0]->parentWidget(), &other);
    EXPECT_EQ(pages[0]->PageIndex(), 0);
}

TEST_F(Navigation, DestroyingTheWizardFiresNoPageEvents)
{
    AddPages(3);
    wizard->SelectFirstPage();
    wizard->SelectNextPage();
    log.clear();
    delete wizard;
    wizard = nullptr;
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(form->findChildren<TKWizardCustomPage*>().isEmpty());
}

TEST_F(Navigation, WizardWithoutPagesDoesNothing)
{
    bool fired = false;
    wizard->OnFirstPage = [&](QObject*, TKWizardCustomPage*, TKWizardCustomPage*&) {
        fired = true;
    };
    wizard->Loaded();
    wizard->SelectNextPage();
    wizard->SelectLastPage();
    EXPECT_FALSE(fired);
    EXPECT_EQ(wizard->ActivePage(), nullptr);
    // The initial states stay until the first page change.
    EXPECT_FALSE(Enabled(bkBack));
    EXPECT_TRUE(Shown(bkNext));
    EXPECT_TRUE(Shown(bkFinish));
}

TEST_F(Navigation, ShowingAnInactivePageMakesItActive)
{
    AddPages(2);
    wizard->SelectFirstPage();
    log.clear();
    pages[1]->show();
    EXPECT_EQ(wizard->ActivePage(), pages[1]);
    EXPECT_EQ(log, (Log{"P2 enter", "P1 exit", "P2 page"}));
    EXPECT_EQ(ShownPages(), (std::vector<std::string>{"P2"}));
}

// Showing or focusing a control on a hidden page brings that page forward through the ordinary
// page change; parts that Qt's own controls show by themselves do not.
TEST_F(Navigation, ShowingOrFocusingAControlOnAHiddenPageMakesItActive)
{
    AddPages(3);
    auto* inner = new QWidget(pages[1]);
    auto* label = new QLabel(QStringLiteral("x"), inner);
    label->hide();
    auto* edit = new QLineEdit(pages[2]);
    auto* scroll = new QScrollArea(pages[0]);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    wizard->SelectFirstPage();

    log.clear();
    label->show();
    EXPECT_EQ(wizard->ActivePage(), pages[1]);
    EXPECT_EQ(log, (Log{"P2 enter", "P1 exit", "P2 page"}));

    log.clear();
    edit->setFocus();
    EXPECT_EQ(wizard->ActivePage(), pages[2]);
    EXPECT_EQ(log, (Log{"P3 enter", "P2 exit", "P3 page"}));
    EXPECT_EQ(ShownPages(), (std::vector<std::string>{"P3"}));

    log.clear();
    scroll->verticalScrollBar()->parentWidget()->show();
    scroll->verticalScrollBar()->show();
    EXPECT_EQ(wizard->ActivePage(), pages[2]);
    EXPECT_TRUE(log.empty());
    form->close();
}

TEST_F(Navigation, PagesFillTheWizardAboveTheButtonStrip)
{
    AddPages(1);
    EXPECT_EQ(wizard->geometry(), QRect(0, 0, 486, 412));
    EXPECT_EQ(pages[0]->geometry(), QRect(0, 0, 486, 370));
    form->show(); // Qt delivers resize events to shown widgets only
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->resize(600, 500);
    EXPECT_EQ(wizard->geometry(), QRect(0, 0, 600, 500));
    EXPECT_EQ(pages[0]->geometry(), QRect(0, 0, 600, 458));
    form->close();
}

TEST_F(Navigation, FocusMovesToTheFirstTabControlOfTheNewPage)
{
    AddPages(2);
    auto* edit1 = new QLineEdit(pages[0]);
    auto* label2 = new QWidget(pages[1]); // takes no focus
    (void)label2;
    auto* edit2 = new QLineEdit(pages[1]);
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    wizard->SelectFirstPage();
    EXPECT_EQ(form->focusWidget(), edit1);
    wizard->SelectNextPage();
    EXPECT_EQ(form->focusWidget(), edit2);
    form->close();
}

TEST_F(Navigation, ErrorInEnterHandlerStopsTheMoveAndIsShownByTheClick)
{
    AddPages(2);
    wizard->Loaded();
    log.clear();
    QStringList boxes;
    Application().SetMessageHook([&](const QString& text) { boxes << text; });
    pages[1]->OnEnterPage = [](QObject*) { throw Exception("printer gone"); };
    Control(bkNext)->click();
    Application().SetMessageHook({});
    EXPECT_EQ(boxes, QStringList{"printer gone"});
    // The change stopped inside its enter step: the old page is still the active one.
    EXPECT_EQ(wizard->ActivePage(), pages[0]);
    EXPECT_TRUE(log.empty());
}

} // namespace
