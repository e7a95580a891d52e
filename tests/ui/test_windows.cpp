// Window handles, posting across threads, and the message queue.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tidewell/resources/resources.h"
#include "tidewell/ui/frame.h"
#include "tidewell/ui/headless/headless.h"

namespace tidewell::ui {
namespace {

using headless::HeadlessPlatform;

constexpr UINT WM_TEST = WM_USER + 1;

class RecordingFrame : public FrameWindow {
  public:
    explicit RecordingFrame(Platform& platform) : FrameWindow(platform) {
        mapMessage(WM_TEST, [this](WPARAM w, LPARAM l) {
            received.emplace_back(w, l);
            return 0;
        });
    }
    std::vector<std::pair<WPARAM, LPARAM>> received;
};

TEST(WindowHandles, StayCheckableAfterTheWindowIsGone) {
    HeadlessPlatform ui(res::tidewellResources());
    WindowHandle handle;
    {
        RecordingFrame frame(ui);
        EXPECT_FALSE(isWindow(frame.GetSafeHwnd()));
        ASSERT_TRUE(frame.LoadFrame(res::IDR_MAINFRAME));
        handle = frame.GetSafeHwnd();
        EXPECT_TRUE(isWindow(handle));
        EXPECT_EQ(ui.findWindow(handle), &frame);
        EXPECT_TRUE(frame.DestroyWindow());
        EXPECT_FALSE(isWindow(handle));
        EXPECT_FALSE(frame.IsWindow());
        EXPECT_EQ(ui.findWindow(handle), nullptr);
        EXPECT_FALSE(frame.DestroyWindow());
    }
    EXPECT_FALSE(isWindow(handle));
    EXPECT_FALSE(postMessage(handle, WM_TEST, 1, 2));
    EXPECT_FALSE(isWindow(WindowHandle()));
    EXPECT_FALSE(postMessage(WindowHandle(), WM_TEST, 0, 0));
}

TEST(WindowHandles, AreNeverReusedForANewWindow) {
    HeadlessPlatform ui(res::tidewellResources());
    RecordingFrame frame(ui);
    ASSERT_TRUE(frame.LoadFrame(res::IDR_MAINFRAME));
    const WindowHandle first = frame.GetSafeHwnd();
    frame.DestroyWindow();
    ASSERT_TRUE(frame.LoadFrame(res::IDR_MAINFRAME));
    EXPECT_FALSE(frame.GetSafeHwnd() == first);
    EXPECT_FALSE(isWindow(first));
    EXPECT_FALSE(postMessage(first, WM_TEST, 0, 0));
    EXPECT_TRUE(postMessage(frame.GetSafeHwnd(), WM_TEST, 0, 0));
    ui.runPending();
    EXPECT_EQ(frame.received.size(), 1u);
}

TEST(PostMessage, DeliversInPostingOrderOnTheWindowThread) {
    HeadlessPlatform ui(res::tidewellResources());
    RecordingFrame frame(ui);
    ASSERT_TRUE(frame.LoadFrame(res::IDR_MAINFRAME));
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(frame.PostMessage(WM_TEST, static_cast<WPARAM>(i), -i));
    }
    EXPECT_TRUE(frame.received.empty());
    ui.runPending();
    ASSERT_EQ(frame.received.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(frame.received[static_cast<std::size_t>(i)],
                  (std::pair<WPARAM, LPARAM>{static_cast<WPARAM>(i), -i}));
    }
}

TEST(PostMessage, ManyThreadsPostWithoutLossAndEachThreadKeepsItsOrder) {
    HeadlessPlatform ui(res::tidewellResources());
    RecordingFrame frame(ui);
    ASSERT_TRUE(frame.LoadFrame(res::IDR_MAINFRAME));
    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    const WindowHandle target = frame.GetSafeHwnd();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([target, t] {
            for (int i = 0; i < kEach; ++i) {
                postMessage(target, WM_TEST, static_cast<WPARAM>(t), i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    ui.runPending();
    ASSERT_EQ(frame.received.size(), static_cast<std::size_t>(kThreads * kEach));
    std::vector<LPARAM> last(kThreads, -1);
    for (const auto& [t, i] : frame.received) {
        EXPECT_EQ(i, last[t] + 1);
        last[t] = i;
    }
}

TEST(PostMessage, AMessageWhoseWindowWentAwayIsDisposed) {
    HeadlessPlatform ui(res::tidewellResources());
    std::vector<std::string> disposed;
    ui.setMessageDisposer(WM_TEST, [&disposed](WPARAM, LPARAM l) {
        std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(l));
        disposed.push_back(*text);
    });
    RecordingFrame frame(ui);
    ASSERT_TRUE(frame.LoadFrame(res::IDR_MAINFRAME));
    ASSERT_TRUE(frame.PostMessage(WM_TEST, 0, reinterpret_cast<LPARAM>(new std::string("late"))));
    frame.DestroyWindow();
    ui.runPending();
    EXPECT_TRUE(frame.received.empty());
    EXPECT_EQ(disposed, std::vector<std::string>{"late"});
}

TEST(PostMessage, MessagesLeftWhenThePlatformEndsAreDisposed) {
    std::vector<LPARAM> disposed;
    {
        HeadlessPlatform ui(res::tidewellResources());
        ui.setMessageDisposer(WM_TEST, [&disposed](WPARAM, LPARAM l) { disposed.push_back(l); });
        RecordingFrame frame(ui);
        ASSERT_TRUE(frame.LoadFrame(res::IDR_MAINFRAME));
        frame.PostMessage(WM_TEST, 0, 7);
        frame.DestroyWindow();
    }
    EXPECT_EQ(disposed, std::vector<LPARAM>{7});
}

TEST(PostMessage, APostRacingTheDestructionEitherArrivesOrIsRefused) {
    HeadlessPlatform ui(res::tidewellResources());
    std::atomic<int> accepted{0};
    std::atomic<int> disposedCount{0};
    ui.setMessageDisposer(WM_TEST, [&disposedCount](WPARAM, LPARAM) { ++disposedCount; });
    auto frame = std::make_unique<RecordingFrame>(ui);
    ASSERT_TRUE(frame->LoadFrame(res::IDR_MAINFRAME));
    const WindowHandle target = frame->GetSafeHwnd();
    std::atomic<bool> go{false};
    std::thread poster([&] {
        while (!go) {
            std::this_thread::yield();
        }
        for (int i = 0; i < 2000; ++i) {
            if (postMessage(target, WM_TEST, 0, i)) {
                ++accepted;
            }
        }
    });
    go = true;
    ui.runPending();
    const std::size_t beforeDestroy = frame->received.size();
    frame->DestroyWindow();
    poster.join();
    ui.runPending();
    EXPECT_EQ(frame->received.size(), beforeDestroy);
    EXPECT_EQ(static_cast<int>(beforeDestroy) + disposedCount, accepted.load());
}

}  // namespace
}  // namespace tidewell::ui
