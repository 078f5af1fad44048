#include "serial/VaCommThreads.h"
#include "platform/SerialDevice.h"
#include "platform/UiCall.h"
#include "runtime/ErrorReport.h"
#include "runtime/Wait.h"
#include "serial/CommError.h"
#include "serial/VaComm.h"
#include "support/ComDir.h"
#include "support/PtyPair.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <poll.h>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Lets the event loop run (and so serve hand-overs) until done() or realMs have passed.
bool RunLoopUntil(const std::function<bool()>& done, int realMs = 3000)
{
    // Conditions set by other threads than the UI thread wake no event loop: look regularly.
    QTimer look;
    look.start(2);
    return WaitUntil(Now() + Seconds(realMs / 1000.0), done);
}

// Lets the event loop run for a short while, for checks that something does NOT happen in it.
void RunLoopFor(int realMs)
{
    RunLoopUntil({}, realMs);
}

// Serves what the event loop has waiting now (hand-overs already queued), without waiting.
void ServePending()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

int CountEntries(const char* dir)
{
    return int(
        QDir(QString::fromLatin1(dir)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
}

// Waits, without serving the event loop (the UI thread is busy elsewhere), until done() holds
// or 30 s have passed. Nothing signals such conditions: they are looked at every millisecond.
bool WaitUnserved(const std::function<bool()>& done)
{
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (Clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Waits, without serving the event loop, until a thread has handed a call over: each waiting
// hand-over holds a descriptor of its own.
bool HandOverWaits(int descriptorsBefore)
{
    return WaitUnserved([&] { return CountEntries("/proc/self/fd") > descriptorsBefore; });
}

// Resident memory of the process in KiB.
long ResidentKiB()
{
    long pages = 0, resident = 0;
    if (FILE* f = fopen("/proc/self/statm", "r")) {
        if (fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Takes every free descriptor but `leaveFree` (in a table made small first) until destroyed.
class FullDescriptorTable
{
public:
    explicit FullDescriptorTable(int leaveFree = 0)
    {
        getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit small = saved_;
        small.rlim_cur = std::min<rlim_t>(saved_.rlim_cur, 1024);
        setrlimit(RLIMIT_NOFILE, &small);
        for (int fd; (fd = dup(0)) >= 0;)
            taken_.push_back(fd);
        for (int i = 0; i < leaveFree && !taken_.empty(); ++i) {
            close(taken_.back());
            taken_.pop_back();
        }
    }
    ~FullDescriptorTable()
    {
        for (int fd : taken_)
            close(fd);
        setrlimit(RLIMIT_NOFILE, &saved_);
    }
    FullDescriptorTable(const FullDescriptorTable&) = delete;
    FullDescriptorTable& operator=(const FullDescriptorTable&) = delete;

private:
    rlimit saved_{};
    std::vector<int> taken_;
};

bool OnUiThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// A port on COM3 = a pseudo-terminal, set up as the main window sets it up unless a test
// changes it before Open.
class Threads : public ::testing::Test
{
protected:
    ComDir com;
    PtyPair pty;
    TVaComm port;
    QStringList reports;

    void SetUp() override
    {
        ASSERT_TRUE(pty.IsOpen());
        com.Link(3, pty.Path());
        port.SetDeviceName("\\\\.\\COM%d");
        port.SetPortNum(3);
        port.SetBaudrate(br9600);
        port.SetMonitorEvents({ceError, ceRxChar});
        port.SetDirectWrite(true);
        SetErrorReportHook([this](const QString& text) { reports << text; });
    }
    void TearDown() override
    {
        port.Close();
        // Calls that were queued for the closed port must find nothing to do.
        ServePending();
        SetErrorReportHook({});
    }

    // Reads what the port wrote, in a background thread, so that a writer never stalls on a
    // full line.
    class Drain
    {
    public:
        explicit Drain(const PtyPair& pty)
            : thread_([this, &pty] {
                  while (!stop_) {
                      const QByteArray got = pty.Receive(1 << 16, 20);
                      std::lock_guard lock(lock_);
                      data_ += got;
                  }
              })
        {
        }
        ~Drain()
        {
            stop_ = true;
            thread_.join();
        }
        QByteArray Data()
        {
            // A deep copy: the shared data's count is not something to hand across threads.
            std::lock_guard lock(lock_);
            return QByteArray(data_.constData(), data_.size());
        }
        int Size() { return int(Data().size()); }

    private:
        std::atomic<bool> stop_{false};
        std::mutex lock_;
        QByteArray data_;
        std::thread thread_;
    };
};

TEST_F(Threads, ReceivedBytesRaiseOnRxCharOnTheUiThreadWithTheWaitingCount)
{
    QList<int> counts;
    bool uiThread = true;
    port.OnRxChar = [&](QObject* sender, int count) {
        EXPECT_EQ(sender, &port);
        uiThread = uiThread && OnUiThread();
        counts << count;
        EXPECT_EQ(port.ReadText().size(), count);
    };
    port.Open();
    ASSERT_NE(port.EventThreadObject(), nullptr);
    EXPECT_EQ(port.WriteThreadObject(), nullptr) << "direct writes need no writer";
    pty.Send("hello");
    ASSERT_TRUE(RunLoopUntil([&] { return !counts.isEmpty(); }));
    pty.Send("more");
    ASSERT_TRUE(RunLoopUntil([&] { return counts.size() >= 2 || counts.value(0) == 9; }));
    EXPECT_TRUE(uiThread);
    int total = 0;
    for (int c : counts)
        total += c;
    EXPECT_EQ(total, 9);
}

TEST_F(Threads, UnreadBytesAreAnnouncedOnceUntilMoreArrive)
{
    // The handler leaves the bytes waiting, as the main window's poll timer would: the thread
    // must not announce the same bytes again and again.
    QList<int> counts;
    port.OnRxChar = [&](QObject*, int count) { counts << count; };
    port.Open();
    pty.Send("abc");
    ASSERT_TRUE(RunLoopUntil([&] { return !counts.isEmpty(); }));
    RunLoopFor(300); // no second announcement of the same bytes
    EXPECT_EQ(counts, QList<int>{3});
    pty.Send("de");
    ASSERT_TRUE(RunLoopUntil([&] { return counts.size() == 2; }));
    EXPECT_EQ(counts.last(), 5) << "the count is all that waits";

    // Read and refilled with the same number of bytes between two looks: still news.
    EXPECT_EQ(port.ReadText(), QByteArray("abcde"));
    pty.Send("fghij");
    ASSERT_TRUE(RunLoopUntil([&] { return counts.size() == 3; }));
    EXPECT_EQ(counts.last(), 5);
}

TEST_F(Threads, WithoutListenersOrOnRxCharBytesWaitForReadText)
{
    port.Open();
    pty.Send("reply\x03");
    ASSERT_TRUE(RunLoopUntil([&] { return port.ReadBufUsed() == 6; }));
    EXPECT_EQ(port.ReadText(), QByteArray("reply\x03"));
    EXPECT_TRUE(reports.isEmpty());
}

TEST_F(Threads, EventCharacterRaisesOnRxFlagOnceAndTheBytesStayForReadText)
{
    port.SetMonitorEvents({ceError, ceRxFlag});
    port.EventChars()->SetEventChar(0x03);
    int flags = 0;
    port.OnRxFlag = [&](QObject*) { ++flags; };
    port.Open();
    pty.Send("abc");
    ASSERT_TRUE(RunLoopUntil([&] { return port.ReadBufUsed() == 3; }));
    RunLoopFor(100); // other bytes raise nothing
    EXPECT_EQ(flags, 0);
    pty.Send("de\x03");
    ASSERT_TRUE(RunLoopUntil([&] { return flags == 1; }));
    EXPECT_EQ(port.ReadText(), QByteArray("abcde\x03"));

    // Read before the event thread's report was served: the character is not missed, nor
    // reported twice.
    pty.Send("f\x03");
    ASSERT_TRUE(WaitUnserved([&] { return port.ReadBufUsed() == 2; }));
    EXPECT_EQ(port.ReadText(), QByteArray("f\x03"));
    ASSERT_TRUE(RunLoopUntil([&] { return flags == 2; }));
    RunLoopFor(100);
    EXPECT_EQ(flags, 2);
}

TEST_F(Threads, InputQueuePassingFourFifthsOfReadSizeRaisesOnRx80FullOncePerPass)
{
    port.SetMonitorEvents({ceError, ceRx80Full});
    port.Buffers()->SetReadSize(1000);
    int full = 0;
    port.OnRx80Full = [&](QObject*) { ++full; };
    port.Open();
    pty.Send(QByteArray(700, 'a'));
    ASSERT_TRUE(RunLoopUntil([&] { return port.ReadBufUsed() == 700; }));
    RunLoopFor(100);
    EXPECT_EQ(full, 0);
    pty.Send(QByteArray(200, 'b'));
    ASSERT_TRUE(RunLoopUntil([&] { return full == 1; }));
    pty.Send("c");
    ASSERT_TRUE(RunLoopUntil([&] { return port.ReadBufUsed() == 901; }));
    RunLoopFor(100); // still above the mark: nothing new
    EXPECT_EQ(full, 1);
    EXPECT_EQ(port.ReadText().size(), 901);
    pty.Send(QByteArray(850, 'd'));
    ASSERT_TRUE(RunLoopUntil([&] { return full == 2; })) << "passed again after a read";
}

TEST_F(Threads, Rx80FullComesBeforeTheTerminalIsFullAlsoWithALargerReadSize)
{
    // Four fifths of 5120 is one byte more than a terminal holds unread.
    port.SetMonitorEvents({ceRx80Full});
    port.Buffers()->SetReadSize(5120);
    int full = 0;
    port.OnRx80Full = [&](QObject*) { ++full; };
    port.Open();
    pty.Send(QByteArray(8192, 'a'));
    ASSERT_TRUE(RunLoopUntil([&] { return full == 1; }, 10000))
        << port.ReadBufUsed() << " bytes waiting";
}

TEST_F(Threads, EventCharacterReadBeforeACloseRaisesNothingAfterTheNextOpen)
{
    port.SetMonitorEvents({ceRxFlag});
    port.EventChars()->SetEventChar('\n');
    int flags = 0;
    port.OnRxFlag = [&](QObject*) { ++flags; };
    port.Open();
    pty.Send("a\n");
    ASSERT_TRUE(WaitUnserved([&] { return port.ReadBufUsed() == 2; }));
    EXPECT_EQ(port.ReadText(), QByteArray("a\n"));
    port.Close();
    port.Open();
    RunLoopFor(200);
    EXPECT_EQ(flags, 0);
}

TEST_F(Threads, ListenersReceiveTheBytesInListOrder)
{
    TVaCommLink first, disabled, last;
    QStringList got;
    first.OnRxBuf = [&](PVaData data, int count) {
        got << "first:" + QString::fromLatin1(data, count);
    };
    disabled.OnRxBuf = [&](PVaData, int) { got << "disabled"; };
    disabled.SetEnabled(false);
    last.OnRxBuf = [&](PVaData data, int count) {
        got << "last:" + QString::fromLatin1(data, count);
    };
    port.AddLink(&first);
    port.AddLink(&disabled);
    port.AddLink(&last);
    port.OnRxChar = [&](QObject*, int) { got << "OnRxChar"; };
    port.OnRxBuf = [&](QObject*, PVaData data, int count) {
        got << "OnRxBuf:" + QString::fromLatin1(data, count);
    };
    port.Open();
    pty.Send("xyz");
    ASSERT_TRUE(RunLoopUntil([&] { return got.size() >= 3; }));
    EXPECT_EQ(got, (QStringList{"first:xyz", "last:xyz", "OnRxBuf:xyz"}));
    EXPECT_EQ(port.ReadText(), QByteArray()) << "read for the listeners";

    // Listeners switched off: the bytes are still read and go to OnRxBuf alone.
    got.clear();
    port.SetLinksEnabled(false);
    pty.Send("q");
    ASSERT_TRUE(RunLoopUntil([&] { return !got.isEmpty(); }));
    EXPECT_EQ(got, QStringList{"OnRxBuf:q"});
}

TEST_F(Threads, ListenerListRemovesClearsAndDetachesOnEitherSideGoing)
{
    auto comm = std::make_unique<TVaComm>();
    TVaCommLink a, b;
    comm->AddLink(&a);
    comm->AddLink(&b);
    {
        TVaCommLink c;
        comm->AddLink(&c);
        EXPECT_EQ(comm->Links().size(), 3);
    }
    EXPECT_EQ(comm->Links(), (QList<TVaCommLink*>{&a, &b})) << "a destroyed listener detaches";
    comm->RemoveLink(&a);
    comm->RemoveLink(&a);
    EXPECT_EQ(a.Comm(), nullptr);
    EXPECT_EQ(b.Comm(), comm.get());
    port.AddLink(&b);
    EXPECT_EQ(b.Comm(), &port) << "moved to the other port";
    EXPECT_TRUE(comm->Links().isEmpty());
    comm->AddLink(&a);
    comm.reset();
    EXPECT_EQ(a.Comm(), nullptr) << "the port's end clears the links";
}

// Reaches the dispatch the event thread hands to the main thread.
class DispatchingComm : public TVaComm
{
public:
    using TVaComm::HandleEvents;
};

TEST_F(Threads, ListenersHearEventsBeforeTheHandlersAndCanDetachMeanwhile)
{
    DispatchingComm comm;
    QStringList order;
    TVaCommLink first, second;
    first.OnCommEvent = [&](quint32 mask) {
        order << QString("first %1").arg(mask);
        comm.RemoveLink(&second);
    };
    second.OnCommEvent = [&](quint32) { order << "second"; };
    comm.AddLink(&first);
    comm.AddLink(&second);
    comm.OnCts = [&](QObject*) { order << "Cts"; };
    comm.HandleEvents(CommEv::Cts);
    EXPECT_EQ(order, (QStringList{"first 8", "Cts"}));
}

TEST_F(Threads, QueuedWritesReturnAtOnceAndArriveInOrderWithTxEmptyAfterEachDrain)
{
    port.SetDirectWrite(false);
    port.SetMonitorEvents({ceError, ceRxChar}); // no ceTxEmpty: the writer reports anyway
    int txEmpty = 0;
    bool uiThread = true;
    port.OnTxEmpty = [&](QObject*) {
        uiThread = uiThread && OnUiThread();
        ++txEmpty;
    };
    port.Open();
    ASSERT_NE(port.WriteThreadObject(), nullptr);
    EXPECT_EQ(port.EventMask(), 0x0081u);

    EXPECT_EQ(port.WriteBuf("", 0), 0);
    ASSERT_TRUE(RunLoopUntil([&] { return txEmpty == 1; })) << "a write of nothing drains too";

    Drain drain(pty);
    QByteArray sent;
    for (int i = 0; i < 400; ++i) {
        const QByteArray chunk = QByteArray::number(i) + ',';
        EXPECT_TRUE(port.WriteText(chunk));
        sent += chunk;
        if (i % 50 == 0)
            ServePending();
    }
    ASSERT_TRUE(RunLoopUntil([&] { return drain.Size() >= sent.size(); }));
    EXPECT_EQ(drain.Data(), sent);
    const int before = txEmpty;
    RunLoopFor(50); // no transmit-empty without a write
    EXPECT_GT(txEmpty, 1);
    EXPECT_EQ(txEmpty, before) << "nothing more once drained";
    EXPECT_TRUE(uiThread);

    txEmpty = 0;
    EXPECT_TRUE(port.WriteChar('!'));
    ASSERT_TRUE(RunLoopUntil([&] { return txEmpty == 1 && drain.Data().endsWith('!'); }));
}

TEST_F(Threads, TxEmptyComesAfterTheLastDrainAndNeverWhileBytesWait)
{
    // The report of a first drain is still waiting for the UI thread when more bytes come and
    // stay queued on a stopped line: it must not be raised then, and the later drain needs one.
    port.SetDirectWrite(false);
    port.FlowControl()->SetXonXoffOut(true);
    QList<int> queuedAtEvent;
    port.OnTxEmpty = [&](QObject*) { queuedAtEvent << port.WriteThreadObject()->Queued(); };
    port.Open();
    const int fds = CountEntries("/proc/self/fd");
    ASSERT_TRUE(port.WriteText(QByteArray(10, 't')));
    ASSERT_TRUE(HandOverWaits(fds));

    // An XOFF stops the line: nothing more leaves the queue until the XON.
    pty.Send("\x13");
    ASSERT_TRUE(WaitUnserved([&] {
        pollfd p{port.Handle(), POLLOUT, 0};
        return poll(&p, 1, 0) == 0;
    }));
    const QByteArray block(1024, 'b');
    ASSERT_TRUE(port.WriteText(block));
    ServePending();
    EXPECT_EQ(queuedAtEvent, QList<int>{}) << "bytes are still queued";

    Drain drain(pty);
    pty.Send("\x11");
    ASSERT_TRUE(RunLoopUntil(
        [&] { return drain.Size() == 10 + block.size() && !queuedAtEvent.isEmpty(); }, 30000));
    RunLoopFor(100); // one drain, one event
    EXPECT_EQ(queuedAtEvent, QList<int>{0});
}

TEST_F(Threads, WriterKeepsGoingWhileTheUiThreadWaitsForRoom)
{
    // The UI thread writes far more than the queue holds without serving the writer's
    // transmit-empty hand-over in between: the writer must not wait for it.
    port.SetDirectWrite(false);
    port.Buffers()->SetWriteTimeout(2000);
    int txEmpty = 0;
    port.OnTxEmpty = [&](QObject*) { ++txEmpty; };
    port.Open();
    Drain drain(pty);
    QByteArray sent;
    for (int i = 0; i < 200; ++i) {
        const QByteArray chunk(2048, char('a' + i % 26));
        ASSERT_EQ(port.WriteBuf(chunk.constData(), int(chunk.size())), 2048) << "chunk " << i;
        sent += chunk;
    }
    ASSERT_TRUE(RunLoopUntil([&] { return drain.Size() >= sent.size() && txEmpty > 0; }));
    EXPECT_EQ(drain.Data(), sent);
}

TEST_F(Threads, QueueOnlyCopiesAndTheWriterAloneSendsInOrder)
{
    UiCallTarget calls(nullptr);
    SerialDevice device;
    ASSERT_EQ(device.Open(pty.Path()), 0);
    ASSERT_EQ(device.MakeRaw(), 0);
    TVaCriticalSection lock;
    TVaBuffers buffers;
    buffers.SetWriteTimeout(30000);
    auto writer = std::make_shared<TVaCommWriteThread>(TVaCommThreadPort{nullptr, &calls, {}},
                                                       device, lock, buffers);

    // The writer has not started: the bytes wait in the queue, even on an idle line.
    const QByteArray first = "abc" + QByteArray(2000, 'A');
    ASSERT_TRUE(writer->Queue(first.constData(), int(first.size())));
    EXPECT_EQ(writer->Queued(), first.size());
    EXPECT_EQ(pty.Receive(1, 100), QByteArray());

    // A write that does not fit waits until the writer has sent the queue's front.
    writer->Start();
    const QByteArray second(2000, 'B');
    EXPECT_TRUE(writer->Queue(second.constData(), int(second.size())));
    EXPECT_EQ(pty.Receive(int(first.size() + second.size()), 30000), first + second);
    EXPECT_TRUE(RunLoopUntil([&] { return writer->Queued() == 0; }, 30000));
}

TEST_F(Threads, FullQueueRaisesAfterWriteTimeoutAndRoomEndsTheWaitEarly)
{
    port.SetDirectWrite(false);
    port.Buffers()->SetWriteTimeout(100);
    port.Open();
    const QByteArray big(2049, 'b');
    auto start = Clock::now();
    EXPECT_EQ(ErrorOf([&] { port.WriteText(big); }),
              "Output buffer is full. Please check comm status.");
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(100)) << "never fits, waits anyway";

    // Nobody reads the line: it fills, then the queue fills.
    const QByteArray chunk(2048, 'c');
    int accepted = 0;
    while (ErrorOf([&] { port.WriteText(chunk); }).isEmpty() && accepted < 10000)
        ++accepted;
    ASSERT_LT(accepted, 10000);
    EXPECT_TRUE(port.Active());

    port.Buffers()->SetWriteTimeout(10000);
    Drain drain(pty);
    EXPECT_TRUE(port.WriteText(chunk)) << "the writer's progress wakes it";
}

TEST_F(Threads, DirectWritesGiveTxEmptyOnlyWhenMonitored)
{
    int txEmpty = 0;
    port.OnTxEmpty = [&](QObject*) { ++txEmpty; };
    port.Open();
    Drain drain(pty);
    EXPECT_TRUE(port.WriteText("one"));
    ASSERT_TRUE(RunLoopUntil([&] { return drain.Size() == 3; }));
    RunLoopFor(50); // the write is out; no transmit-empty follows
    EXPECT_EQ(txEmpty, 0);
    port.Close();

    port.SetMonitorEvents({ceError, ceRxChar, ceTxEmpty});
    port.Open();
    EXPECT_TRUE(port.WriteText("two"));
    ASSERT_TRUE(RunLoopUntil([&] { return txEmpty == 1; }));
    EXPECT_TRUE(port.WriteText("three"));
    ASSERT_TRUE(RunLoopUntil([&] { return txEmpty == 2; }));
    RunLoopFor(50); // one per write, none more
    EXPECT_EQ(txEmpty, 2);
}

TEST_F(Threads, CloseReturnsAtOnceWhileAHandOverWaitsAndTheBatchIsDropped)
{
    int announced = 0;
    port.OnRxChar = [&](QObject*, int) { ++announced; };
    port.Open();
    const int fds = CountEntries("/proc/self/fd");
    pty.Send("pending");
    // The thread hands the batch over; the UI thread is busy and does not serve it.
    ASSERT_TRUE(HandOverWaits(fds));
    const auto start = Clock::now();
    port.Close();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)) << "it waits for nothing";
    ServePending();
    EXPECT_EQ(announced, 0) << "a closed port raises no events";
}

TEST_F(Threads, DestroyingThePortWithAHandOverPendingIsHarmless)
{
    auto comm = std::make_unique<TVaComm>();
    comm->SetDeviceName("\\\\.\\COM%d");
    comm->SetPortNum(3);
    comm->SetMonitorEvents({ceError, ceRxChar});
    comm->SetDirectWrite(false);
    int announced = 0;
    comm->OnRxChar = [&](QObject*, int) { ++announced; };
    comm->Open();
    const int fds = CountEntries("/proc/self/fd");
    pty.Send("pending");
    EXPECT_TRUE(comm->WriteText("queued"));
    ASSERT_TRUE(HandOverWaits(fds));
    comm.reset();
    ServePending();
    EXPECT_EQ(announced, 0);
}

TEST_F(Threads, OpeningAndClosingManyTimesLeaksNoThreadOrDescriptor)
{
    port.SetDirectWrite(false);
    int announced = 0;
    port.OnRxChar = [&](QObject*, int) { ++announced; };
    port.Open();
    port.Close();
    ServePending();
    const int fds = CountEntries("/proc/self/fd");
    const int tasks = CountEntries("/proc/self/task");
    const long resident = ResidentKiB();
    for (int i = 0; i < 1000; ++i) {
        port.Open();
        if (i % 100 == 0) {
            // Some rounds with traffic, so that hand-overs are under way when Close comes.
            pty.Send("x");
            EXPECT_TRUE(port.WriteChar('y'));
            ServePending();
        }
        port.Close();
    }
    // Hand-overs dropped with a closed port let go of their descriptors once served.
    RunLoopUntil([&] {
        return CountEntries("/proc/self/fd") == fds && CountEntries("/proc/self/task") == tasks;
    });
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    EXPECT_EQ(CountEntries("/proc/self/task"), tasks);
// ThreadSanitizer keeps what it learnt of every thread, AddressSanitizer holds freed memory in
// its quarantine: neither figure says anything about a leak (LeakSanitizer looks for those).
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
    // Each round allocates two threads with their stacks, a queue and events; a leak of them
    // would show as megabytes.
    EXPECT_LT(ResidentKiB() - resident, 2048);
#else
    (void)resident;
#endif
    EXPECT_TRUE(reports.isEmpty()) << reports.join('\n').toStdString();
}

TEST_F(Threads, DeviceThatGoesAwayIsReportedOnceThroughTheEventThread)
{
    int closes = 0;
    port.OnClose = [&](QObject*) { ++closes; };
    port.Open();
    pty.CloseMaster();
    ASSERT_TRUE(RunLoopUntil([&] { return !port.Active(); }));
    RunLoopFor(100); // no second report
    EXPECT_EQ(reports, QStringList{"Error retrieving statistics (5), Input/output error"});
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(port.EventThreadObject(), nullptr);
}

TEST_F(Threads, QueuedWriteToADeviceThatWentAwayIsReportedOnce)
{
    port.SetDirectWrite(false);
    port.SetMonitorEvents({});
    port.Open();
    EXPECT_EQ(port.EventThreadObject(), nullptr) << "nothing watched: no event thread";
    pty.CloseMaster();
    EXPECT_TRUE(port.WriteText("lost"));
    ASSERT_TRUE(RunLoopUntil([&] { return !port.Active(); }));
    RunLoopFor(100); // no second report
    EXPECT_EQ(reports, QStringList{"Error retrieving statistics (5), Input/output error"});
}

TEST_F(Threads, HandlerErrorsAreShownAndTheThreadsGoOn)
{
    port.SetDirectWrite(false);
    int calls = 0;
    port.OnRxChar = [&](QObject*, int) {
        ++calls;
        port.ReadText();
        throw EVaCommError("handler failed");
    };
    int txEmpty = 0;
    port.OnTxEmpty = [&](QObject*) {
        ++txEmpty;
        throw EVaCommError("tx handler failed");
    };
    port.Open();
    pty.Send("1");
    ASSERT_TRUE(RunLoopUntil([&] { return calls == 1; }));
    pty.Send("2");
    ASSERT_TRUE(RunLoopUntil([&] { return calls == 2; }));
    EXPECT_TRUE(port.WriteChar('a'));
    ASSERT_TRUE(RunLoopUntil([&] { return txEmpty == 1; }));
    EXPECT_TRUE(port.WriteChar('b'));
    ASSERT_TRUE(RunLoopUntil([&] { return txEmpty == 2; }));
    EXPECT_TRUE(reports.contains("handler failed"));
    EXPECT_TRUE(reports.contains("tx handler failed"));
}

TEST_F(Threads, FailuresInsideTheThreadsAreReportedAndNeverEndTheProgram)
{
    port.SetDirectWrite(false);
    int announced = 0;
    port.OnRxChar = [&](QObject*, int) { ++announced; };
    port.Open();
    const QString failure = "Error in the port's background thread (24), Too many open files";
    {
        // Each hand-over needs a descriptor: both threads meet the full table.
        FullDescriptorTable full;
        pty.Send("x");
        EXPECT_TRUE(port.WriteChar('y'));
        ASSERT_TRUE(RunLoopUntil([&] { return reports.size() == 2; }));
    }
    EXPECT_EQ(reports, QStringList({failure, failure}));
    EXPECT_TRUE(port.EventThreadObject()->Terminated());
    EXPECT_TRUE(port.WriteThreadObject()->Terminated());
    EXPECT_EQ(announced, 0);

    port.Close();
    port.Open();
    pty.Send("z");
    EXPECT_TRUE(RunLoopUntil([&] { return announced == 1; }));
}

TEST_F(Threads, ThreadsThatCannotBeCreatedFailOpenWithAPortError)
{
    port.SetDirectWrite(false);
    const int fds = CountEntries("/proc/self/fd");
    QString error;
    {
        // Room for the device and nothing else.
        FullDescriptorTable full(1);
        error = ErrorOf([&] { port.Open(); });
    }
    EXPECT_EQ(error, "Error creating threads (24), Too many open files");
    EXPECT_FALSE(port.Active());
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    EXPECT_EQ(ErrorOf([&] { port.Open(); }), "");
}

TEST_F(Threads, PrioritiesApplyToRunningThreadsAndOpenNeverFailsOnThem)
{
    port.SetDirectWrite(false);
    port.SetEventPriority(tpLowest);
    port.SetWritePriority(tpHighest);
    port.Open();
    ASSERT_TRUE(RunLoopUntil([&] { return port.EventThreadObject()->Nice() != 0; }, 1000));
    const int base = getpriority(PRIO_PROCESS, 0);
    EXPECT_EQ(port.EventThreadObject()->Nice(), std::min(base + 10, 19));
    EXPECT_LE(port.WriteThreadObject()->Nice(), base) << "raised, or left where it was";
    port.SetEventPriority(tpIdle);
    EXPECT_EQ(port.EventThreadObject()->Nice(), 19);
}

TEST_F(Threads, HandlersMayCloseThePortFromInsideAHandOver)
{
    // Close joins the thread whose hand-over is running the handler: it must not wait for it.
    port.SetDirectWrite(false);
    int closes = 0;
    port.OnClose = [&](QObject*) { ++closes; };
    port.OnRxChar = [&](QObject*, int) { port.Close(); };
    port.Open();
    pty.Send("x");
    ASSERT_TRUE(RunLoopUntil([&] { return closes == 1; }));

    port.OnRxChar = {};
    port.OnTxEmpty = [&](QObject*) { port.Close(); };
    port.Open();
    EXPECT_TRUE(port.WriteChar('y'));
    ASSERT_TRUE(RunLoopUntil([&] { return closes == 2; }));
    EXPECT_FALSE(port.Active());
    EXPECT_TRUE(reports.isEmpty());
}

} // namespace
