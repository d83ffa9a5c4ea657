#include "SingleInstance.hpp"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <unistd.h>

namespace velvix {
namespace {

TEST(SingleInstance, ALaterLaunchTellsTheFirstAndTheKeyIsFreeOnceItGoes) {
  const QString key = SingleInstance::keyFor(QStringLiteral("test-%1").arg(::getpid()));
  SingleInstance::Outcome outcome{};
  auto first = SingleInstance::claim(key, outcome);
  ASSERT_TRUE(first);
  EXPECT_EQ(outcome, SingleInstance::Outcome::first);
  QSignalSpy told(first.get(), &SingleInstance::anotherLaunch);

  EXPECT_FALSE(SingleInstance::claim(key, outcome));
  EXPECT_EQ(outcome, SingleInstance::Outcome::told);
  EXPECT_TRUE(told.wait(5000));
  EXPECT_EQ(told.count(), 1);
  // Another session (another display or backend) is another key.
  EXPECT_NE(SingleInstance::keyFor(QStringLiteral("other")), key);

  first.reset();
  auto next = SingleInstance::claim(key, outcome);
  EXPECT_TRUE(next);
  EXPECT_EQ(outcome, SingleInstance::Outcome::first);
}

}  // namespace
}  // namespace velvix
