#include "platform/event.h"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;

TEST(ManualResetEvent, StaysSetForEveryWaiterUntilReset) {
    platform::ManualResetEvent event;
    EXPECT_FALSE(event.wait_for(0ms));
    std::thread setter([&] { event.set(); });
    event.wait();
    setter.join();
    std::thread([&] { event.wait(); }).join();  // a second waiter sees it too
    EXPECT_TRUE(event.wait_for(0ms));
    event.reset();
    EXPECT_FALSE(event.is_set());
}
