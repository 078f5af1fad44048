#include "serial/VaPrst.h"
#include "runtime/Exception.h"
#include "serial/VaClasses.h"

#include <gtest/gtest.h>

namespace {

// Counts the change reports of a group.
template <typename Group> struct Watched
{
    Group group;
    int changes = 0;
    Watched()
    {
        group.OnChange = [this](TVaPersistent* sender) {
            EXPECT_EQ(sender, &group);
            ++changes;
        };
    }
};

TEST(VaPrst, FlowControlReportsOnlyRealChanges)
{
    Watched<TVaFlowControl> w;
    w.group.SetOutCtsFlow(false);
    w.group.SetControlDtr(dtrDisabled);
    EXPECT_EQ(w.changes, 0);
    w.group.SetOutCtsFlow(true);
    w.group.SetControlRts(rtsToggle);
    w.group.SetXonXoffIn(true);
    EXPECT_EQ(w.changes, 3);
}

TEST(VaPrst, EventCharsReportEveryAssignment)
{
    Watched<TVaEventChars> w;
    EXPECT_EQ(w.group.XonChar(), 0x11);
    EXPECT_EQ(w.group.XoffChar(), 0x13);
    w.group.SetXonChar(0x11);
    w.group.SetChar(5, 0x1A);
    EXPECT_EQ(w.changes, 2);
    EXPECT_EQ(w.group.EofChar(), 0x1A);
}

TEST(VaPrst, BuffersReportSizesButNotTimeouts)
{
    Watched<TVaBuffers> w;
    w.group.SetReadSize(4096);
    w.group.SetReadTimeout(50);
    w.group.SetWriteTimeout(70);
    EXPECT_EQ(w.changes, 0);
    w.group.SetReadSize(2048);
    w.group.SetWriteSize(100);
    EXPECT_EQ(w.changes, 2);
}

TEST(VaPrst, ChangesBetweenBeginAndEndUpdateAreReportedOnce)
{
    Watched<TVaFlowControl> w;
    w.group.BeginUpdate();
    w.group.BeginUpdate();
    w.group.SetOutCtsFlow(true);
    w.group.SetXonXoffOut(true);
    w.group.EndUpdate();
    EXPECT_EQ(w.changes, 0) << "still held by the outer update";
    w.group.EndUpdate();
    EXPECT_EQ(w.changes, 1);
    w.group.EndUpdate(); // unbalanced: the count stays at 0 and reports again
    EXPECT_EQ(w.group.UpdateCount(), 0);
    EXPECT_EQ(w.changes, 2);
}

TEST(VaPrst, AssignCopiesEverythingAndReportsOnce)
{
    TVaBuffers source;
    source.SetReadSize(10);
    source.SetWriteSize(20);
    source.SetReadTimeout(30);
    source.SetWriteTimeout(40);
    Watched<TVaBuffers> w;
    w.group.Assign(source);
    EXPECT_EQ(w.changes, 1);
    EXPECT_EQ(w.group.ReadSize(), 10);
    EXPECT_EQ(w.group.WriteSize(), 20);
    EXPECT_EQ(w.group.ReadTimeout(), 30);
    EXPECT_EQ(w.group.WriteTimeout(), 40);

    TVaFlowControl flow;
    flow.SetControlDtr(dtrHandshake);
    flow.SetTxContinueOnXoff(true);
    Watched<TVaFlowControl> wf;
    wf.group.Assign(flow);
    EXPECT_EQ(wf.changes, 1);
    EXPECT_EQ(wf.group.ControlDtr(), dtrHandshake);
    EXPECT_TRUE(wf.group.TxContinueOnXoff());
}

TEST(VaPrst, AssignFromAnotherClassRaisesAndLeavesNoUpdatePending)
{
    Watched<TVaFlowControl> w;
    TVaBuffers other;
    EXPECT_THROW(w.group.Assign(other), Exception);
    EXPECT_EQ(w.group.UpdateCount(), 0);
}

TEST(VaPrst, AssignEndsTheUpdateWhenTheReportRaises)
{
    TVaBuffers group;
    group.OnChange = [](TVaPersistent*) { throw Exception("refused"); };
    TVaBuffers source;
    source.SetReadSize(1);
    EXPECT_THROW(group.Assign(source), Exception);
    EXPECT_EQ(group.UpdateCount(), 0);
    EXPECT_EQ(group.ReadSize(), 1) << "the group keeps the new value";
}

TEST(VaClasses, SetsStoreOrdinalBits)
{
    enum E
    {
        a,
        b,
        c
    };
    using S = TVaSet<E, quint8>;
    const S s{a, c};
    EXPECT_EQ(s.ToBits(), 0b101);
    EXPECT_TRUE(s.Contains(c));
    EXPECT_FALSE(s.Contains(b));
    S t = s;
    t.Exclude(a).Include(b);
    EXPECT_EQ(t, S::FromBits(0b110));
    EXPECT_TRUE(S{}.IsEmpty());
}

TEST(VaClasses, WaitEventIsManualReset)
{
    TVaWaitEvent event;
    EXPECT_EQ(event.WaitFor(0), wrTimeout);
    event.Signal();
    event.Signal();
    EXPECT_EQ(event.WaitFor(0), wrSignaled);
    EXPECT_EQ(event.WaitFor(VaInfinite), wrSignaled) << "stays signalled until Unsignal";
    event.Unsignal();
    EXPECT_EQ(event.WaitFor(10), wrTimeout);
    event.Unsignal(); // harmless when not signalled
    EXPECT_EQ(event.LastError(), 0);
}

TEST(VaClasses, WaitForAnyPrefersTheFirstListed)
{
    TVaWaitEvent stop, data;
    EXPECT_EQ(WaitForAny({&stop, &data}, 0), -1);
    data.Signal();
    EXPECT_EQ(WaitForAny({&stop, &data}, VaInfinite), 1);
    stop.Signal();
    EXPECT_EQ(WaitForAny({&stop, &data}, VaInfinite), 0);
}

} // namespace
