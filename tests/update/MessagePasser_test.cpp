#include "update/MessagePasser.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace
{
std::vector<Message> DrainOnce(msg::MessagePasser& queue)
{
    std::vector<Message> taken;
    for (Message message = queue.TryPop(); message.type != kNoMessage; message = queue.TryPop())
        taken.push_back(message);
    return taken;
}
} // namespace

TEST(MessagePasser, EmptyQueueYieldsTypeZeroAndStaysEmpty)
{
    msg::MessagePasser queue;
    EXPECT_EQ(queue.TryPop().type, kNoMessage);
    EXPECT_EQ(queue.TryPop().value, 0);
    queue.Post({CheckFiles, 0});
    EXPECT_EQ(queue.TryPop().type, CheckFiles);
    EXPECT_EQ(queue.TryPop().type, kNoMessage);
}

TEST(MessagePasser, PostsBeforeTheConsumerWakesAreDrainedInOrderInOnePass)
{
    msg::MessagePasser queue;
    queue.Post({CheckFiles, 0});
    queue.Post({1, 7});
    queue.Post({Quit, 0});

    queue.WaitForMessage();
    const std::vector<Message> taken = DrainOnce(queue);
    ASSERT_EQ(taken.size(), 3u);
    EXPECT_EQ(taken[0].type, CheckFiles);
    EXPECT_EQ(taken[1].type, 1);
    EXPECT_EQ(taken[1].value, 7);
    EXPECT_EQ(taken[2].type, Quit);
}

TEST(MessagePasser, PostAfterTheConsumerSawEmptyWakesTheNextWait)
{
    msg::MessagePasser queue;
    std::promise<void> drainedFirst;
    std::promise<Message> second;

    std::thread consumer(
        [&]
        {
            queue.WaitForMessage();
            DrainOnce(queue);
            drainedFirst.set_value();
            queue.WaitForMessage();
            second.set_value(queue.TryPop());
        });

    queue.Post({CheckFiles, 0});
    drainedFirst.get_future().wait();
    // Give the consumer time to go back to waiting before the post arrives.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    queue.Post({Quit, 0});

    auto result = second.get_future();
    const bool woke = result.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!woke)
        queue.Post({Quit, 0}); // release the consumer so the test can end
    consumer.join();
    ASSERT_TRUE(woke);
    EXPECT_EQ(result.get().type, Quit);
}

TEST(MessagePasser, ProducerNeverWaitsForABusyConsumer)
{
    msg::MessagePasser queue;
    for (int i = 0; i < 10000; ++i)
        queue.Post({CheckFiles, i});
    int expected = 0;
    for (Message message = queue.TryPop(); message.type != kNoMessage; message = queue.TryPop())
        EXPECT_EQ(message.value, expected++);
    EXPECT_EQ(expected, 10000);
}
