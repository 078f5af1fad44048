#include "platform/LineWatch.h"
#include "platform/SerialDevice.h"
#include "platform/ThreadPriority.h"
#include "platform/UiCall.h"
#include "support/PtyPair.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <chrono>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// An eventfd that a helper thread signals after a delay: ends a Wait that should have blocked.
// The delay is the window of a check that nothing is reported (or the moment a wake-up comes
// to a Wait already blocked), not a wait for something to happen: keep it short.
class LateStop
{
public:
    explicit LateStop(std::chrono::milliseconds after)
        : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), thread_([this, after] {
              std::this_thread::sleep_for(after);
              const eventfd_t one = 1;
              [[maybe_unused]] const ssize_t n = write(fd_, &one, sizeof one);
          })
    {
    }
    ~LateStop()
    {
        thread_.join();
        close(fd_);
    }
    int Fd() const { return fd_; }

private:
    int fd_;
    std::thread thread_;
};

// The port makes its device raw; a cooked line would hold the bytes back until a newline.
void MakeRaw(const PtyPair& pty)
{
    termios t{};
    tcgetattr(pty.Slave(), &t);
    cfmakeraw(&t);
    tcsetattr(pty.Slave(), TCSANOW, &t);
}

TEST(LineWatchTest, ArrivalsAreReportedOnceUntilMoreComeAndAHangUpOnce)
{
    PtyPair pty;
    MakeRaw(pty);
    SerialDevice device;
    ASSERT_EQ(device.Open(pty.Path()), 0);
    LineActivity activity;
    LineWatch watch(device, LineEvent::RxChar | LineEvent::Err, activity);
    pty.Send("abc");
    EXPECT_EQ(watch.Wait(-1, -1), LineEvent::RxChar);
    {
        LateStop stop(100ms);
        EXPECT_EQ(watch.Wait(stop.Fd(), -1), 0u) << "the same unread bytes are no news";
    }
    pty.Send("d");
    EXPECT_EQ(watch.Wait(-1, -1), LineEvent::RxChar);

    // The port read everything and as many bytes came again: the total tells them apart.
    char buffer[8];
    ASSERT_EQ(read(pty.Slave(), buffer, sizeof buffer), 4);
    activity.BytesRead += 4;
    pty.Send("efgh");
    EXPECT_EQ(watch.Wait(-1, -1), LineEvent::RxChar);

    pty.CloseMaster();
    EXPECT_EQ(watch.Wait(-1, -1), LineEvent::Gone);
    LateStop stop(100ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(watch.Wait(stop.Fd(), -1), 0u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 90ms) << "after the hang-up: only stop";
}

TEST(LineWatchTest, WakeDescriptorEndsTheWaitAndFinishedWritesGiveTxEmpty)
{
    PtyPair pty;
    SerialDevice device;
    ASSERT_EQ(device.Open(pty.Path()), 0);
    LineActivity activity;
    LineWatch watch(device, LineEvent::TxEmpty, activity);
    LateStop wake(20ms);
    EXPECT_EQ(watch.Wait(-1, wake.Fd()), 0u);
    activity.Writes += 1;
    EXPECT_EQ(watch.Wait(-1, -1), LineEvent::TxEmpty);
    LateStop stop(50ms);
    EXPECT_EQ(watch.Wait(stop.Fd(), -1), 0u) << "reported once per write";
}

TEST(LineWatchTest, CountersGiveErrorsAndBreaksAsTheirOwnEvents)
{
    const LineErrorCounters before{1, 2, 3, 4, 5};
    LineErrorCounters brk = before;
    ++brk.brk;
    EXPECT_EQ(CounterEvents(before, brk), LineEvent::Break);
    LineErrorCounters frame = before;
    ++frame.frame;
    EXPECT_EQ(CounterEvents(before, frame), LineEvent::Err);
    ++frame.brk;
    EXPECT_EQ(CounterEvents(before, frame), LineEvent::Err | LineEvent::Break);
    EXPECT_EQ(CounterEvents(before, before), 0u);
}

TEST(UiCallTest, RunsOnTheTargetsThreadOrNeverWhenTheTargetWentFirst)
{
    QObject owner;
    auto* target = new UiCallTarget(&owner);
    bool ran = false;
    QThread* ranOn = nullptr;
    std::shared_ptr<UiCall> call;
    std::thread worker([&] {
        call = UiCall::Post(target, [&] {
            ran = true;
            ranOn = QThread::currentThread();
        });
    });
    worker.join();
    EXPECT_FALSE(call->Done());
    QCoreApplication::processEvents();
    EXPECT_TRUE(ran);
    EXPECT_EQ(ranOn, owner.thread());
    EXPECT_EQ(WaitForAnyOf({-1, call->DoneEvent()}, 0), 1);

    auto* doomed = new UiCallTarget(nullptr);
    ran = false;
    call = UiCall::Post(doomed, [&] { ran = true; });
    delete doomed;
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
    EXPECT_EQ(WaitForAnyOf({call->DoneEvent()}, 0), -1);
}

TEST(ThreadPriorityTest, LoweringWorksAndAnOrdinaryUserIsCappedInsteadOfRefused)
{
    // In a child that gives up root: raising is not allowed there.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (getuid() == 0 && setuid(65534) != 0)
            _exit(10);
        const pid_t tid = CurrentThreadId();
        const int base = ThreadNice(tid);
        if (ApplyThreadNice(tid, -10) != base || ThreadNice(tid) != base)
            _exit(11);
        if (ApplyThreadNice(tid, 5) != std::min(base + 5, 19))
            _exit(12);
        // Back up needs the privilege too: stays where it is.
        if (ApplyThreadNice(tid, 0) != std::min(base + 5, 19))
            _exit(13);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
