#include "WorkerTestSupport.h"

#include "worker/BatchChannel.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using tarovex::worker::BatchChannel;
using worker_test::runUntil;

TEST(BatchChannel, ANestedEventLoopInACallbackDoesNotLetLaterItemsOvertake) {
    worker_test::application();
    std::vector<int> seen;
    std::unique_ptr<BatchChannel<int>> channel;
    channel = std::make_unique<BatchChannel<int>>(
        [&](int& item) {
            seen.push_back(item);
            if (item == 0) {
                // More arrives while the first batch is on its way, and the callback lets
                // the event loop run (as a modal dialog would).
                channel->push(3);
                QCoreApplication::processEvents();
            }
        },
        100);
    for (int i : {0, 1, 2})
        channel->push(i);
    ASSERT_TRUE(runUntil([&] { return seen.size() == 4; }));
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3}));
    channel->push(4);
    ASSERT_TRUE(runUntil([&] { return seen.size() == 5; }));
    EXPECT_EQ(seen.back(), 4) << "the channel goes on delivering afterwards";
}

TEST(BatchChannel, ACallbackMayDestroyTheChannel) {
    worker_test::application();
    std::vector<int> seen;
    std::unique_ptr<BatchChannel<int>> channel;
    channel = std::make_unique<BatchChannel<int>>(
        [&](int& item) {
            seen.push_back(item);
            channel.reset(); // the owner goes away, as a finished worker may
        },
        100);
    for (int i : {0, 1, 2})
        channel->push(i);
    ASSERT_TRUE(runUntil([&] { return !channel; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, std::vector<int>{0});
}
