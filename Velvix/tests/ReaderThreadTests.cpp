// The reader, the follow loop and the main thread on real threads against the Simulator, as
// the app runs them: built and run under ThreadSanitizer by CI (ctest label "threads").

#include <Velvix/AccessibilityReader.hpp>

#include "WhatsAppTree.hpp"

#include <Simulator/Desktop.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace velvix {
namespace {

using namespace std::chrono_literals;

TEST(ReaderThreads, ReaderFollowLoopAndMainThreadShareOnlyTheTracker) {
  sim::Desktop desktop(sim::TimeMode::realThreads);
  auto& ax = desktop.accessibility();
  const Rect frame(100, 80, 1000, 700);
  auto tree = testing::WhatsAppTree::standard(ax, 42, frame, 12, 8);
  AccessibilityReader reader(ax, desktop.scheduler(), desktop.log());
  const std::shared_ptr<ScrollTracker> tracker = reader.tracker();
  auto follow = desktop.scheduler().makeSerialExecutor("follow");
  auto& main = desktop.scheduler().mainQueue();

  constexpr int kReads = 40;
  std::atomic<bool> stopping{false};
  // Written on the main thread only, as the controller keeps its bookkeeping there.
  std::vector<std::int64_t> readGenerations;
  std::vector<std::int64_t> measuredGenerations;
  int failedReads = 0;

  // The read loop: reads on the reader's executor, alternating full reads and quick
  // refreshes, each result handed to the main thread.
  std::function<void(int)> readStep = [&](int n) {
    const auto result = reader.read(42, frame, n % 2 == 1);
    const std::int64_t generation = result ? result->generation : -1;
    main.post([&, generation, n] {
      if (generation < 0)
        ++failedReads;
      else
        readGenerations.push_back(generation);
      if (n + 1 < kReads) reader.executor().postAfter(1ms, [&, n] { readStep(n + 1); });
    });
  };
  reader.executor().post([&] { readStep(0); });

  // The follow loop: measures off the main thread, applies on it.
  std::function<void()> followStep = [&] {
    if (stopping) return;
    if (const auto m = tracker->measure()) {
      main.post([&, g = m->generation] { measuredGenerations.push_back(g); });
    }
    follow->postAfter(1ms, followStep);
  };
  follow->post(followStep);

  // The main thread scrolls WhatsApp's lists and now and then stops reading.
  int ticks = 0;
  auto timer = desktop.scheduler().scheduleRepeating(2ms, [&] {
    ++ticks;
    ax.setScrollOffset(tree.chatList, (ticks % 7) * 3.0);
    ax.setScrollOffset(tree.messages, -(ticks % 5) * 4.0);
    if (ticks % 10 == 0) tracker->deactivate();
  });

  const bool finished = desktop.runUntil(
      [&] {
        return static_cast<int>(readGenerations.size()) + failedReads == kReads &&
               measuredGenerations.size() >= 5;
      },
      60s);
  stopping = true;
  timer.reset();
  desktop.stop();  // joins the executors before the reader and the loops go away

  ASSERT_TRUE(finished);
  // A read during which a list moved is given up, but never more than a few in a row.
  EXPECT_GE(static_cast<int>(readGenerations.size()),
            kReads / (AccessibilityReader::kSmearedReadsGivenUp + 1));
  // Every kept read raised the generation by exactly one; a given-up one left it alone.
  for (std::size_t i = 0; i < readGenerations.size(); ++i)
    EXPECT_EQ(readGenerations[i], static_cast<std::int64_t>(i) + 1);
  EXPECT_EQ(tracker->state().generation, static_cast<std::int64_t>(readGenerations.size()));
  // A measurement belongs to a read that happened: never beyond the last generation, and
  // never older than one it already reported.
  for (std::size_t i = 0; i < measuredGenerations.size(); ++i) {
    EXPECT_GE(measuredGenerations[i], 1);
    EXPECT_LE(measuredGenerations[i], static_cast<std::int64_t>(readGenerations.size()));
    if (i > 0) {
      EXPECT_GE(measuredGenerations[i], measuredGenerations[i - 1]);
    }
  }
}

}  // namespace
}  // namespace velvix
