// main() for tests linked against the test CoreFoundation: after every test the fake
// accessibility is emptied, and any object the test created and did not release is a leak that
// fails the run.

#include "TestCoreFoundation.hpp"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

class LeakCheck final : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo&) override { before_ = velvix::testcf::liveObjects(); }
  void OnTestEnd(const ::testing::TestInfo& test) override {
    velvix::testcf::resetAccessibility();
    const long leaked = velvix::testcf::liveObjects() - before_;
    if (leaked == 0) return;
    std::fprintf(stderr, "%s.%s leaked %ld CoreFoundation objects\n", test.test_suite_name(),
                 test.name(), leaked);
    failed = true;
  }
  bool failed = false;

 private:
  long before_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  auto* check = new LeakCheck;
  ::testing::UnitTest::GetInstance()->listeners().Append(check);  // the listeners own it
  const int result = RUN_ALL_TESTS();
  return result != 0 || check->failed ? 1 : 0;
}
