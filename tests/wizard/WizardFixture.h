#pragma once

#include "wizard/KWizard.h"

#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// A form holding a 486 x 412 wizard, pages named P1.., and a log of the page events in order
// ("P2 enter", "P1 exit", "P2 page").
class WizardFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        form = std::make_unique<QWidget>();
        form->resize(486, 412);
        wizard = new TKWizard(form.get());
    }

    void TearDown() override
    {
        form.reset();
        EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
    }

    // Adds interior pages P<n>.. attached in order, each recording its events.
    void AddPages(int count)
    {
        for (int i = 0; i < count; ++i)
            pages.push_back(AddPage(new TKWizardInteriorPage(form.get())));
    }

    TKWizardCustomPage* AddPage(TKWizardCustomPage* page)
    {
        const std::string name = "P" + std::to_string(pages.size() + 1);
        page->setObjectName(QString::fromStdString(name));
        Record(page);
        page->SetWizard(wizard);
        return page;
    }

    void Record(TKWizardCustomPage* page)
    {
        page->OnEnterPage = [this](QObject* s) { log.push_back(Name(s) + " enter"); };
        page->OnExitPage = [this](QObject* s) { log.push_back(Name(s) + " exit"); };
        page->OnPage = [this](QObject* s) { log.push_back(Name(s) + " page"); };
    }

    static std::string Name(QObject* o) { return o->objectName().toStdString(); }

    // Names of the pages that are not hidden.
    std::vector<std::string> ShownPages() const
    {
        std::vector<std::string> shown;
        for (TKWizardCustomPage* page : wizard->Pages())
            if (!page->isHidden())
                shown.push_back(Name(page));
        return shown;
    }

    TKWizardButtonControl* Control(int kind) const { return wizard->ButtonControl(kind); }
    bool Shown(int kind) const { return !Control(kind)->isHidden(); }
    bool Enabled(int kind) const { return Control(kind)->isEnabled(); }

    std::unique_ptr<QWidget> form;
    TKWizard* wizard = nullptr;
    std::vector<TKWizardCustomPage*> pages;
    std::vector<std::string> log;
};

using Log = std::vector<std::string>;
