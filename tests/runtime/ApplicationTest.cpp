#include "runtime/Application.h"
#include "runtime/ErrorReport.h"
#include "runtime/Exception.h"
#include "runtime/TimeBase.h"
#include "runtime/Timer.h"
#include "runtime/Wait.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <thread>

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

TEST(Application, ErrorsReportedFromBelowAreShownInABoxOnTheUiThread)
{
    TimeBase::SetScale(100);
    QStringList shown;
    bool onUiThread = true;
    Application().SetMessageHook([&](const QString& text) {
        shown << text;
        onUiThread =
            onUiThread && QThread::currentThread() == QCoreApplication::instance()->thread();
    });
    TTimer timer;
    timer.SetInterval(10);
    timer.OnTimer = [&](QObject*) {
        timer.SetEnabled(false);
        throw Exception("timer handler failed");
    };
    std::thread([] { ReportError("from the write thread"); }).join();
    EXPECT_TRUE(WaitUntil(Now() + Seconds(5), [&] { return shown.size() == 2; }));
    EXPECT_TRUE(shown.contains("timer handler failed"));
    EXPECT_TRUE(shown.contains("from the write thread"));
    EXPECT_TRUE(onUiThread);
    Application().SetMessageHook({});
    TimeBase::SetScale(1);
}
