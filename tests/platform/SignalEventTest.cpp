// Runs on both sides of the platform layer (also under Wine, in the Windows build).
#include "platform/SignalEvent.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

constexpr int Generous = 20000;

TEST(SignalEvent, ASetFromAnotherThreadWakesTheWaiterAndStaysUntilReset)
{
    SignalEvent stop, data;
    std::thread setter([&] {
        data.Set();
        data.Set(); // a second signal is not a second event
    });
    EXPECT_EQ(WaitForAnyOf({NoWaitable, stop.Handle(), data.Handle()}, Generous), 2);
    setter.join();
    EXPECT_TRUE(data.IsSet());
    EXPECT_EQ(WaitForAnyOf({data.Handle()}, 0), 0);

    EXPECT_EQ(data.Reset(), 0);
    EXPECT_FALSE(data.IsSet());
    EXPECT_EQ(WaitForAnyOf({stop.Handle(), data.Handle()}, 0), -1);

    // The first signalled one in the list wins.
    stop.Set();
    data.Set();
    EXPECT_EQ(WaitForAnyOf({stop.Handle(), data.Handle()}, Generous), 0);
}

} // namespace
