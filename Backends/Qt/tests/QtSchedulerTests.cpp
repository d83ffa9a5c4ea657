// The scheduler on Qt's event loop and real threads.

#include <gtest/gtest.h>
#include <QCoreApplication>

#include <Backends/Qt/QtScheduler.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace velvix::qt {
namespace {

using namespace std::chrono_literals;

// Runs Qt's loop until `done` or `timeout`.
bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Posts run in order on the main thread from any thread, and a delay posted from another
// thread is kept.
TEST(QtScheduler, MainQueueRunsPostsInOrderOnTheMainThreadFromAnyThread) {
  QtScheduler scheduler;
  std::vector<int> order;
  std::atomic<bool> fromThreadRanOnMain{false};
  const auto start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::duration waited{};
  scheduler.mainQueue().post([&] { order.push_back(1); });
  std::thread([&] {
    scheduler.mainQueue().postAfter(50ms, [&] {
      waited = std::chrono::steady_clock::now() - start;
      order.push_back(3);
    });
    scheduler.mainQueue().post([&] {
      fromThreadRanOnMain = scheduler.mainQueue().isCurrent();
      order.push_back(2);
    });
  }).join();
  ASSERT_TRUE(runUntil([&] { return order.size() == 3; }));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  EXPECT_TRUE(fromThreadRanOnMain);
  EXPECT_GE(waited, 50ms);
}

TEST(QtScheduler, SerialExecutorRunsByDueTimeThenPostingOrderOffTheMainThread) {
  QtScheduler scheduler;
  auto executor = scheduler.makeSerialExecutor("test");
  std::mutex mutex;
  std::vector<int> order;
  std::atomic<int> offMain{0}, current{0};
  const auto record = [&](int n) {
    return [&, n] {
      if (!scheduler.mainQueue().isCurrent()) ++offMain;
      if (executor->isCurrent()) ++current;
      std::lock_guard lock(mutex);
      order.push_back(n);
    };
  };
  executor->postAfter(40ms, record(4));
  executor->postAfter(20ms, record(3));
  executor->post(record(1));
  executor->post(record(2));
  ASSERT_TRUE(runUntil([&] {
    std::lock_guard lock(mutex);
    return order.size() == 4;
  }));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(offMain, 4);
  EXPECT_EQ(current, 4);
  EXPECT_FALSE(executor->isCurrent());
}

TEST(QtScheduler, WorkPostedBeforeTheOwnerLetsGoStillRuns) {
  QtScheduler scheduler;
  std::atomic<bool> ran{false};
  {
    auto executor = scheduler.makeSerialExecutor("short-lived");
    executor->postAfter(30ms, [&] { ran = true; });
  }
  EXPECT_TRUE(runUntil([&] { return ran.load(); }));
}

TEST(QtScheduler, RepeatingRunsUntilCancelled) {
  QtScheduler scheduler;
  int ticks = 0;
  auto repeating = scheduler.scheduleRepeating(10ms, [&] { ++ticks; });
  ASSERT_TRUE(runUntil([&] { return ticks >= 3; }));
  repeating->cancel();
  const int atCancel = ticks;
  // Long enough for several more intervals; none may come.
  runUntil([] { return false; }, 60ms);
  EXPECT_EQ(ticks, atCancel);
}

TEST(QtScheduler, DisplayTickerRunsAtTheDisplayRate) {
  QtScheduler scheduler(100);
  int ticks = 0;
  const auto start = std::chrono::steady_clock::now();
  auto ticker = scheduler.startDisplayTicker([&] { ++ticks; });
  ASSERT_TRUE(runUntil([&] { return ticks >= 10; }));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, 90ms);  // ten ticks at 100 Hz
  EXPECT_LT(elapsed, 1000ms);
}

TEST(QtScheduler, FrameTimerSharesTheTickersWakeUps) {
  QtScheduler scheduler(60);
  using Clock = std::chrono::steady_clock;
  std::vector<Clock::time_point> frames, beats;
  auto ticker = scheduler.startDisplayTicker([&] { beats.push_back(Clock::now()); });
  auto timer = scheduler.scheduleRepeating(std::chrono::microseconds(33'333),
                                           [&] { frames.push_back(Clock::now()); });
  ASSERT_TRUE(runUntil([&] { return frames.size() >= 20; }));
  ticker->cancel();
  timer->cancel();

  // Each frame runs right beside a beat, in the same wake-up; a thread switch away in between
  // is rare, hence the allowance.
  int shared = 0;
  for (const auto frame : frames) {
    const bool besideABeat = std::any_of(beats.begin(), beats.end(), [&](auto beat) {
      return std::chrono::abs(beat - frame) < 1ms;
    });
    shared += besideABeat ? 1 : 0;
  }
  EXPECT_GE(shared, 18) << "of " << frames.size();
  // One frame for every other beat.
  EXPECT_NEAR(static_cast<double>(beats.size()) / static_cast<double>(frames.size()), 2.0, 0.3);

  const auto count = frames.size() + beats.size();
  runUntil([] { return false; }, 100ms);
  EXPECT_EQ(frames.size() + beats.size(), count) << "both stopped when cancelled";
}

// A display link the test drives by hand, one refresh at a time.
class HandDrivenRefresh final : public DisplayRefresh {
 public:
  struct State {
    std::function<void()> onRefresh;
    int starts = 0;
    int stops = 0;
  };
  explicit HandDrivenRefresh(std::shared_ptr<State> state) : state_(std::move(state)) {}
  std::chrono::nanoseconds period() const override { return 16'666'667ns; }
  void start(std::function<void()> onRefresh) override {
    state_->onRefresh = std::move(onRefresh);
    ++state_->starts;
  }
  void stop() override {
    state_->onRefresh = nullptr;
    ++state_->stops;
  }

 private:
  std::shared_ptr<State> state_;
};

TEST(QtScheduler, WithADisplayLinkTheTickerRunsOnItsRefreshesAndRestsWithNothingToRun) {
  auto refresh = std::make_shared<HandDrivenRefresh::State>();
  QtScheduler scheduler(std::make_unique<HandDrivenRefresh>(refresh));
  int ticks = 0;
  int frames = 0;
  auto ticker = scheduler.startDisplayTicker([&] { ++ticks; });
  auto timer = scheduler.scheduleRepeating(33'333'333ns, [&] { ++frames; });
  EXPECT_EQ(refresh->starts, 1);
  for (int i = 0; i < 6; ++i) {
    std::this_thread::sleep_for(16'667us);  // the refreshes come at the display's pace
    ASSERT_TRUE(refresh->onRefresh);
    refresh->onRefresh();
  }
  EXPECT_EQ(ticks, 6);
  EXPECT_NEAR(frames, 3, 1);
  ticker->cancel();
  timer->cancel();
  EXPECT_EQ(refresh->stops, 1) << "the display link runs only while something is on the beat";
  auto again = scheduler.startDisplayTicker([&] { ++ticks; });
  EXPECT_EQ(refresh->starts, 2);
}

TEST(QtScheduler, LongMainQueueDelaysRunOnTheBeat) {
  QtScheduler scheduler(60);
  using Clock = std::chrono::steady_clock;
  std::vector<Clock::time_point> beats, polls;
  std::vector<Clock::duration> waits;
  auto ticker = scheduler.startDisplayTicker([&] { beats.push_back(Clock::now()); });
  // A poll every 100 ms, each posted by the one before, as the read loop does.
  std::function<void()> poll = [&] {
    polls.push_back(Clock::now());
    if (polls.size() > 1) waits.push_back(polls.back() - polls[polls.size() - 2]);
    if (polls.size() < 6) scheduler.mainQueue().postAfter(100ms, poll);
  };
  scheduler.mainQueue().post(poll);
  ASSERT_TRUE(runUntil([&] { return polls.size() >= 6; }));
  ticker->cancel();

  int onABeat = 0;
  for (std::size_t i = 1; i < polls.size(); ++i) {
    onABeat += std::any_of(beats.begin(), beats.end(),
                           [&](auto beat) { return std::chrono::abs(beat - polls[i]) < 1ms; });
  }
  EXPECT_GE(onABeat, 4) << "of " << polls.size() - 1;
  for (const auto wait : waits)
    EXPECT_GE(wait, 100ms - 8500us) << "never more than half a beat early";
}

TEST(QtScheduler, EndlessWaitsNeverComeDue) {
  QtScheduler scheduler;
  int ticks = 0;
  bool fired = false;
  auto ticker = scheduler.startDisplayTicker([&] { ++ticks; });
  auto endless = scheduler.scheduleRepeating(platform::Duration::max(), [&] { fired = true; });
  scheduler.mainQueue().postAfter(platform::Duration::max(), [&] { fired = true; });
  ASSERT_TRUE(runUntil([&] { return ticks >= 5; }));
  EXPECT_FALSE(fired);
}

TEST(QtScheduler, ClocksMoveForward) {
  QtScheduler scheduler;
  const double media = scheduler.mediaTime();
  const platform::WallTime wall = scheduler.now();
  std::this_thread::sleep_for(5ms);
  EXPECT_GE(scheduler.mediaTime() - media, 0.004);
  EXPECT_GE(scheduler.now() - wall, 0.004);
  EXPECT_GT(scheduler.now() - platform::WallTime::distantPast(), 1e9);
}

}  // namespace
}  // namespace velvix::qt

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
