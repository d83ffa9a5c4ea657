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

TEST(VirtualScheduler, RunsCallbacksInTimeOrderAndTiesInSchedulingOrder) {
  auto scheduler = SimScheduler::make(TimeMode::virtualTime);
  auto reader = scheduler->makeSerialExecutor("reader");
  auto follower = scheduler->makeSerialExecutor("follow");
  auto& main = scheduler->mainQueue();
  std::vector<std::string> order;
  auto note = [&](std::string name) { return [&order, name] { order.push_back(name); }; };

  main.postAfter(30ms, note("main 30"));
  reader->postAfter(10ms, note("reader 10"));
  follower->postAfter(20ms, note("follow 20 first"));
  main.postAfter(20ms, note("main 20 second"));
  reader->postAfter(20ms, note("reader 20 third"));
  main.post(note("main now"));
  follower->post(note("follow now"));

  scheduler->runFor(25ms);
  const std::vector<std::string> firstPart = {"main now",       "follow now",
                                              "reader 10",      "follow 20 first",
                                              "main 20 second", "reader 20 third"};
  EXPECT_EQ(order, firstPart);
  scheduler->runFor(5ms);  // 30 ms is due at the end of this run, inclusive
  ASSERT_EQ(order.size(), 7u);
  EXPECT_EQ(order.back(), "main 30");
}

TEST(VirtualScheduler, ClocksAdvanceOnlyWhenRunAndByTheSameAmount) {
  auto scheduler = SimScheduler::make(TimeMode::virtualTime);
  const double media0 = scheduler->mediaTime();
  const platform::WallTime wall0 = scheduler->now();
  EXPECT_NE(media0, 0);  // a reading is not a duration
  double seenInside = 0;
  scheduler->mainQueue().postAfter(250ms, [&] { seenInside = scheduler->mediaTime() - media0; });
  EXPECT_EQ(scheduler->mediaTime(), media0);
  scheduler->runFor(1s);
  EXPECT_NEAR(seenInside, 0.25, 1e-9);
  EXPECT_NEAR(scheduler->mediaTime() - media0, 1.0, 1e-9);
  EXPECT_NEAR(scheduler->now() - wall0, 1.0, 1e-9);
  EXPECT_GT(scheduler->now() - platform::WallTime::distantPast(), 6e10);
}

// A read that takes 100 ms keeps its own executor busy; the main queue and the world go on,
// each at its own time, as they would on threads of their own.
TEST(VirtualScheduler, WorkThatTakesTimeKeepsOnlyItsOwnExecutorBusy) {
  auto scheduler = SimScheduler::make(TimeMode::virtualTime);
  auto reader = scheduler->makeSerialExecutor("reader");
  std::vector<std::pair<std::string, double>> runs;
  const double start = scheduler->mediaTime();
  auto note = [&](std::string name) {
    return [&runs, &scheduler, start, name] {
      runs.emplace_back(name, scheduler->mediaTime() - start);
    };
  };
  reader->post([&] {
    scheduler->consume(100ms);  // a slow read
    runs.emplace_back("read done", scheduler->mediaTime() - start);
  });
  reader->postAfter(10ms, note("next read"));
  scheduler->mainQueue().postAfter(20ms, note("tick at 20"));
  scheduler->mainQueue().postAfter(10ms, note("tick at 10"));
  scheduler->scheduleWorld(50ms, note("wheel at 50"));
  scheduler->mainQueue().postAfter(150ms, note("tick at 150"));
  scheduler->runFor(200ms);

  const std::vector<std::pair<std::string, double>> expected = {
      {"tick at 10", 0.01}, {"tick at 20", 0.02},  {"wheel at 50", 0.05},
      {"read done", 0.1},   {"next read", 0.1},    {"tick at 150", 0.15}};
  ASSERT_EQ(runs.size(), expected.size());
  for (std::size_t i = 0; i < runs.size(); ++i) {
    EXPECT_EQ(runs[i].first, expected[i].first);
    EXPECT_NEAR(runs[i].second, expected[i].second, 1e-9) << runs[i].first;
  }
  EXPECT_NEAR(scheduler->mediaTime() - start, 0.2, 1e-9);
}

TEST(VirtualScheduler, RepeatingTimersAndTheDisplayTickerKeepTheirCadenceUntilCancelled) {
  auto scheduler = SimScheduler::make(TimeMode::virtualTime);
  scheduler->setRefreshRate(120);
  int ticks = 0;
  int frames = 0;
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
  const std::vector<double> expected = {0.1, 0.4, 0.5};
  ASSERT_EQ(firings.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    EXPECT_NEAR(firings[i], expected[i], 1e-9);
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

TEST(VirtualScheduler, ExecutorsKnowWhenTheirWorkIsRunning) {
  auto scheduler = SimScheduler::make(TimeMode::virtualTime);
  auto reader = scheduler->makeSerialExecutor("reader");
  bool readerOnReader = false, mainOnReader = true, readerOnMain = true;
  reader->post([&] {
    readerOnReader = reader->isCurrent();
    mainOnReader = scheduler->mainQueue().isCurrent();
  });
  scheduler->mainQueue().post([&] { readerOnMain = reader->isCurrent(); });
  scheduler->runFor(0ms);
  EXPECT_TRUE(readerOnReader);
  EXPECT_FALSE(mainOnReader);
  EXPECT_FALSE(readerOnMain);
  EXPECT_FALSE(reader->isCurrent());
}

TEST(VirtualScheduler, StopDropsPendingWork) {
  auto scheduler = SimScheduler::make(TimeMode::virtualTime);
  bool ran = false;
  scheduler->mainQueue().postAfter(10ms, [&] { ran = true; });
  scheduler->stop();
  scheduler->runFor(1s);
  EXPECT_FALSE(ran);
}

TEST(ThreadedScheduler, SerialExecutorsRunInOrderOffTheMainThreadAndHopBack) {
  auto scheduler = SimScheduler::make(TimeMode::realThreads);
  auto reader = scheduler->makeSerialExecutor("reader");
  const auto mainThread = std::this_thread::get_id();
  std::vector<int> order;  // touched only on the reader, then on main after the hop
  std::atomic<bool> offMain{true};
  std::atomic<bool> done{false};
  for (int i = 0; i < 50; ++i) {
    reader->post([&, i] {
      if (std::this_thread::get_id() == mainThread || !reader->isCurrent()) offMain = false;
      order.push_back(i);
      if (i == 49) scheduler->mainQueue().post([&] { done = scheduler->mainQueue().isCurrent(); });
    });
  }
  EXPECT_TRUE(scheduler->runUntil([&] { return done.load(); }, 10s));
  scheduler->stop();
  EXPECT_TRUE(offMain);
  ASSERT_EQ(order.size(), 50u);
  for (int i = 0; i < 50; ++i)
    EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
}

TEST(ThreadedScheduler, RepeatingTimersRunOnTheThreadThatRunsTheMainQueue) {
  auto scheduler = SimScheduler::make(TimeMode::realThreads);
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
}

}  // namespace
}  // namespace velvix::sim
