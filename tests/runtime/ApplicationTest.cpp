#include "runtime/Application.h"
#include "runtime/Exception.h"
#include "runtime/TimeBase.h"
#include "runtime/Timer.h"
#include "runtime/Wait.h"

#include <QTimer>
#include <gtest/gtest.h>

TEST(Application, RepeatedErrorWhileItsBoxIsOpenIsNotStacked)
{
    QStringList shown;
    Application().SetMessageHook([&](const QString& text) {
        shown << text;
        // While the first box is open, the same error comes again and then another one.
        if (shown.size() == 1) {
            Application().ShowException("device gone");
            Application().ShowException("other");
            Application().ShowException("other");
        }
    });
    Application().ShowException("device gone");
    EXPECT_EQ(shown, QStringList({"device gone", "other"}));
    Application().SetMessageHook({});
}

TEST(Application, GuardShowsTheErrorAndLetsTheCallerGoOn)
{
    QStringList shown;
    Application().SetMessageHook([&](const QString& text) { shown << text; });
    Application().Guard([] { throw Exception("Read error (5), Input/output error"); });
    EXPECT_EQ(shown, QStringList({"Read error (5), Input/output error"}));
    Application().SetMessageHook({});
}

TEST(Application, TerminateLetsARunningWaitFinishFirst)
{
    TimeBase::SetScale(100);
    QStringList order;
    QTimer::singleShot(0, [&] {
        order << "handler starts";
        Application().Terminate();
        WaitUntil(Now() + Seconds(2));
        order << "handler ends";
    });
    Application().Run();
    order << "loop ended";
    EXPECT_EQ(order, QStringList({"handler starts", "handler ends", "loop ended"}));
    TimeBase::SetScale(1);
}
