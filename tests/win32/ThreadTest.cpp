// The Win32 hand-over to the UI thread and thread priorities.
#include "platform/SignalEvent.h"
#include "platform/ThreadPriority.h"
#include "platform/UiCall.h"
#include "platform/win32/UniqueHandle.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(Win32Threads, AHandedOverCallRunsOnTheUiThreadAndSignalsItsEnd)
{
    UiCallTarget target(nullptr);
    const DWORD uiThread = GetCurrentThreadId();
    std::atomic<DWORD> ranOn{0};
    std::atomic<int> waited{-3};
    UniqueHandle stop = MakeEvent();
    std::thread worker([&] {
        auto call = UiCall::Post(&target, [&] { ranOn = GetCurrentThreadId(); });
        waited = WaitForAnyOf({stop.Get(), call->DoneEvent()}, 20000);
    });
    const QDeadlineTimer deadline(20000);
    while (waited == -3 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    EXPECT_EQ(waited, 1);
    EXPECT_EQ(ranOn, uiThread);
}

TEST(Win32Threads, TheStopEventEndsAWaitForACallThatNeverRuns)
{
    UiCallTarget target(nullptr);
    auto call = UiCall::Post(&target, [] {});
    UniqueHandle stop = MakeEvent();
    SetEvent(stop.Get());
    // The UI thread is "busy" (no events processed): the worker must not wait for it.
    EXPECT_EQ(WaitForAnyOf({stop.Get(), call->DoneEvent()}, 20000), 0);
    EXPECT_FALSE(call->Done());
    EXPECT_EQ(WaitForAnyOf({nullptr, call->DoneEvent()}, 0), -1);
}

TEST(Win32Threads, NiceOffsetsPickTheNearestWindowsLevel)
{
    int got = 99;
    std::thread([&] { got = ApplyThreadNice(CurrentThreadId(), -7); }).join();
    EXPECT_EQ(got, -5); // above normal
    std::thread([&] {
        got = ApplyThreadNice(CurrentThreadId(), 19);
        EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_IDLE);
    }).join();
    EXPECT_EQ(got, 19);
}

} // namespace
