#include <Simulator/SimScheduler.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace velvix::sim {
namespace {

using namespace std::chrono_literals;

// Callbacks run in time order, ties in the order they were posted; a read that takes 100 ms
// keeps only its own executor busy, while the main queue and the world go on, each at its own
// time, as they would on threads of their own.
TEST(VirtualScheduler, RunsWorkInTimeOrderAndSlowWorkKeepsOnlyItsOwnExecutorBusy) {
  auto scheduler = SimScheduler::make(TimeMode::virtualTime);
  auto reader = scheduler->makeSerialExecutor("reader");
  auto follower = scheduler->makeSerialExecutor("follow");
  auto& main = scheduler->mainQueue();
  const double start = scheduler->mediaTime();
  std::vector<std::pair<std::string, double>> runs;
  auto note = [&](std::string name) {
    return [&runs, &scheduler, start, name] {
      runs.emplace_back(name, scheduler->mediaTime() - start);
    };
  };
  main.postAfter(30ms, note("main 30"));
  reader->postAfter(10ms, note("reader 10"));
  follower->postAfter(20ms, note("follow 20"));
  main.postAfter(20ms, note("main 20"));
  reader->postAfter(20ms, note("reader 20"));
  main.post(note("main now"));
  follower->post(note("follow now"));
  reader->postAfter(40ms, [&] {
    scheduler->consume(100ms);  // a slow read
    runs.emplace_back("read done", scheduler->mediaTime() - start);
  });
  reader->postAfter(50ms, note("next read"));
  main.postAfter(60ms, note("tick 60"));
  scheduler->scheduleWorld(70ms, note("wheel 70"));

  scheduler->runFor(25ms);
  EXPECT_EQ(runs.size(), 6u);
  scheduler->runFor(5ms);  // 30 ms is due at the end of this run, inclusive
  ASSERT_EQ(runs.size(), 7u);
  scheduler->runFor(170ms);
  const std::vector<std::pair<std::string, double>> expected = {
      {"main now", 0},    {"follow now", 0},   {"reader 10", 0.01}, {"follow 20", 0.02},
      {"main 20", 0.02},  {"reader 20", 0.02}, {"main 30", 0.03},   {"tick 60", 0.06},
      {"wheel 70", 0.07}, {"read done", 0.14}, {"next read", 0.14}};
  ASSERT_EQ(runs.size(), expected.size());
  for (std::size_t i = 0; i < runs.size(); ++i) {
    EXPECT_EQ(runs[i].first, expected[i].first);
    EXPECT_NEAR(runs[i].second, expected[i].second, 1e-9) << runs[i].first;
  }
  EXPECT_NEAR(scheduler->mediaTime() - start, 0.2, 1e-9);
}

TEST(VirtualScheduler, ClocksAdvanceOnlyWhenRunAndByTheSameAmount) {
  auto scheduler = SimScheduler::make(TimeMode::virtualTime);
  const double media0 = scheduler->mediaTime();
  const platform::WallTime wall0 = scheduler->now();
  EXPECT_NE(media0, 0);  // a reading is not a duration
  EXPECT_GT(wall0 - platform::WallTime::distantPast(), 6e10);
  scheduler->runFor(1s);
  EXPECT_NEAR(scheduler->mediaTime() - media0, 1.0, 1e-9);
  EXPECT_NEAR(scheduler->now() - wall0, 1.0, 1e-9);
}

TEST(VirtualScheduler, RepeatingTimersAndTheDisplayTickerKeepTheirCadenceUntilCancelled) {
  auto scheduler = SimScheduler::make(TimeMode::virtualTime);
  scheduler->setRefreshRate(120);
  int ticks = 0, frames = 0;
  auto timer =
      scheduler->scheduleRepeating(std::chrono::nanoseconds(1'000'000'000 / 30), [&] { ++ticks; });
  auto ticker = scheduler->startDisplayTicker([&] { ++frames; });
  scheduler->runFor(1s);
  EXPECT_EQ(ticks, 30);
  EXPECT_EQ(frames, 120);
  timer->cancel();
  ticker.reset();
  scheduler->runFor(1s);
  EXPECT_EQ(ticks, 30);
  EXPECT_EQ(frames, 120);
}

TEST(VirtualScheduler, ALateTimerSkipsTheSlotsItMissed) {
  auto scheduler = SimScheduler::make(TimeMode::virtualTime);
  std::vector<double> firings;
  const double start = scheduler->mediaTime();
  auto timer = scheduler->scheduleRepeating(100ms, [&] {
    firings.push_back(scheduler->mediaTime() - start);
    if (firings.size() == 1) scheduler->consume(250ms);  // the main thread was stuck
  });
  scheduler->runFor(560ms);
  ASSERT_EQ(firings.size(), 3u);
  EXPECT_NEAR(firings[0], 0.1, 1e-9);
  EXPECT_NEAR(firings[1], 0.4, 1e-9);
  EXPECT_NEAR(firings[2], 0.5, 1e-9);
}

TEST(VirtualScheduler, RunUntilStopsAtTheFirstCallbackThatSatisfiesItOrAtTheLimit) {
  auto scheduler = SimScheduler::make(TimeMode::virtualTime);
  int count = 0;
  auto timer = scheduler->scheduleRepeating(10ms, [&] { ++count; });
  const double start = scheduler->mediaTime();
  EXPECT_TRUE(scheduler->runUntil([&] { return count == 3; }, 1s));
  EXPECT_NEAR(scheduler->mediaTime() - start, 0.03, 1e-9);
  EXPECT_FALSE(scheduler->runUntil([&] { return count < 0; }, 100ms));
  EXPECT_NEAR(scheduler->mediaTime() - start, 0.13, 1e-9);
  EXPECT_EQ(count, 13);
}

TEST(VirtualScheduler, ExecutorsKnowWhenTheirWorkIsRunningAndStopDropsPendingWork) {
  auto scheduler = SimScheduler::make(TimeMode::virtualTime);
  auto reader = scheduler->makeSerialExecutor("reader");
  bool readerOnReader = false, mainOnReader = true, readerOnMain = true, late = false;
  reader->post([&] {
    readerOnReader = reader->isCurrent();
    mainOnReader = scheduler->mainQueue().isCurrent();
  });
  scheduler->mainQueue().post([&] { readerOnMain = reader->isCurrent(); });
  scheduler->mainQueue().postAfter(10ms, [&] { late = true; });
  scheduler->runFor(0ms);
  EXPECT_TRUE(readerOnReader);
  EXPECT_FALSE(mainOnReader);
  EXPECT_FALSE(readerOnMain);
  EXPECT_FALSE(reader->isCurrent());
  scheduler->stop();
  scheduler->runFor(1s);
  EXPECT_FALSE(late);
}

TEST(ThreadedScheduler, SerialExecutorsRunInOrderOffTheMainThreadAndTimersOnIt) {
  auto scheduler = SimScheduler::make(TimeMode::realThreads);
  auto reader = scheduler->makeSerialExecutor("reader");
  const auto mainThread = std::this_thread::get_id();
  std::vector<int> order;  // touched only on the reader, then on main after the hop
  std::atomic<bool> offMain{true}, done{false};
  for (int i = 0; i < 50; ++i)
    reader->post([&, i] {
      if (std::this_thread::get_id() == mainThread || !reader->isCurrent()) offMain = false;
      order.push_back(i);
      if (i == 49) scheduler->mainQueue().post([&] { done = scheduler->mainQueue().isCurrent(); });
    });
  EXPECT_TRUE(scheduler->runUntil([&] { return done.load(); }, 10s));
  EXPECT_TRUE(offMain);
  ASSERT_EQ(order.size(), 50u);
  for (int i = 0; i < 50; ++i)
    EXPECT_EQ(order[static_cast<std::size_t>(i)], i);

  int ticks = 0;
  bool onMain = true;
  auto timer = scheduler->scheduleRepeating(1ms, [&] {
    ++ticks;
    onMain = onMain && scheduler->mainQueue().isCurrent();
  });
  EXPECT_TRUE(scheduler->runUntil([&] { return ticks >= 3; }, 10s));
  EXPECT_TRUE(onMain);
  const double before = scheduler->mediaTime();
  scheduler->runFor(2ms);
  EXPECT_GT(scheduler->mediaTime(), before);
  timer->cancel();
  scheduler->stop();
}

}  // namespace
}  // namespace velvix::sim
