#include "notifications.h"

#include <gtest/gtest.h>
#include <poll.h>

namespace tidewell::cli {
namespace {

bool readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
}

std::uintptr_t context(NotificationQueue& queue) {
    return reinterpret_cast<std::uintptr_t>(&queue);
}

TEST(CliNotifications, TextsAreTakenOverAndDeleted) {
    NotificationQueue queue;
    auto* text = new std::string("Firmware 1.0");
    ASSERT_TRUE(NotificationQueue::deliver(context(queue), WM_WORKER_NOTIFY, notifyText,
                                           reinterpret_cast<std::intptr_t>(text)));
    // Under ASan a leak or double delete of `text` fails this test.
    const auto event = queue.pop();
    ASSERT_TRUE(event);
    EXPECT_EQ(event->kind, WorkerEvent::Kind::text);
    EXPECT_EQ(event->text, "Firmware 1.0");
}

TEST(CliNotifications, EventsComeOutInOrderAndWakeThePoller) {
    NotificationQueue queue;
    EXPECT_FALSE(readable(queue.fd()));
    NotificationQueue::deliver(context(queue), WM_WORKER_NOTIFY, notifyProgress, 34);
    NotificationQueue::deliver(context(queue), WM_WORKER_NOTIFY, notifyResult, resTransferOk);
    queue.push({WorkerEvent::Kind::commandEnded, 0, true, {}});
    EXPECT_TRUE(readable(queue.fd()));
    auto first = queue.pop();
    auto second = queue.pop();
    auto third = queue.pop();
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(first->kind, WorkerEvent::Kind::progress);
    EXPECT_EQ(first->value, 34);
    EXPECT_EQ(second->kind, WorkerEvent::Kind::result);
    EXPECT_EQ(second->value, resTransferOk);
    EXPECT_EQ(third->kind, WorkerEvent::Kind::commandEnded);
    EXPECT_TRUE(third->deviceLost);
    EXPECT_FALSE(queue.pop());
    EXPECT_FALSE(readable(queue.fd()));
}

TEST(CliNotifications, ForeignMessagesAndKindsAreRefused) {
    NotificationQueue queue;
    EXPECT_FALSE(NotificationQueue::deliver(context(queue), WM_WORKER_NOTIFY + 1, notifyResult, 8));
    EXPECT_FALSE(NotificationQueue::deliver(context(queue), WM_WORKER_NOTIFY, 42, 8));
    EXPECT_FALSE(NotificationQueue::deliver(0, WM_WORKER_NOTIFY, notifyResult, 8));
    EXPECT_FALSE(queue.pop());
}

}  // namespace
}  // namespace tidewell::cli
