// The one observer list every observable and every platform registration uses: who is called
// when subscriptions end, or begin, in the middle of a notification.

#include <Velvix/Platform/Observers.hpp>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velvix::platform {
namespace {

TEST(ObserverList, AnObserverRemovedBeforeItsTurnIsNotCalled) {
  ObserverList<int> list;
  std::vector<std::string> calls;
  Subscription second;
  Subscription first = list.add([&](int value) {
    calls.push_back("first " + std::to_string(value));
    first.reset();   // drops itself while running
    second.reset();  // and an observer not yet called
  });
  second = list.add([&](int) { calls.emplace_back("second"); });
  {
    const Subscription third =
        list.add([&](int value) { calls.push_back("third " + std::to_string(value)); });
    list.notify(1);
  }
  list.notify(2);
  EXPECT_EQ(calls, (std::vector<std::string>{"first 1", "third 1"}));
  EXPECT_TRUE(list.empty());
}

TEST(ObserverList, AnObserverAddedDuringANotificationHearsTheNextOne) {
  ObserverList<> list;
  int late = 0;
  std::optional<Subscription> added;
  const Subscription adder = list.add([&] {
    if (!added) added = list.add([&] { ++late; });
  });
  list.notify();
  EXPECT_EQ(late, 0);
  list.notify();
  EXPECT_EQ(late, 1);
}

TEST(ObserverList, AnObserverMayDestroyTheListItIsCalledFrom) {
  auto list = std::make_unique<ObserverList<>>();
  int after = 0;
  const Subscription destroyer = list->add([&] { list.reset(); });
  const Subscription next = list->add([&] { ++after; });
  list->notify();  // the sanitizer build checks that nothing of the list is touched afterwards
  EXPECT_EQ(after, 0);
}

TEST(ObserverList, SubscriptionsOutliveTheListAndMoveTheirRegistration) {
  Subscription kept;
  int calls = 0;
  {
    ObserverList<> list;
    Subscription moved = list.add([&] { ++calls; });
    kept = std::move(moved);
    EXPECT_FALSE(moved);  // NOLINT(bugprone-use-after-move): a moved-from subscription is empty
    list.notify();
    EXPECT_EQ(list.size(), 1u);
    kept = list.add([] {});  // assigning ends the registration it held
    list.notify();
    EXPECT_EQ(list.size(), 1u);
  }
  EXPECT_EQ(calls, 1);
  kept.reset();  // the list is gone: nothing to end
  EXPECT_FALSE(kept);
}

}  // namespace
}  // namespace velvix::platform
