#include "MenuWindowFitter.hpp"

#include <BlurLayout/Geometry.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

namespace velvix {
namespace {

TEST(MenuWindowFitter, TakesTheContentHeightKeepingTheTopEdge) {
  const Rect frame(40, 30, 283, 400);
  const struct {
    const char* name;
    double contentHeight;
    double decoration;
    std::optional<Rect> expected;
  } cases[] = {
      {"grows downwards", 460, 0, Rect(40, 30, 283, 460)},
      {"shrinks upwards from the bottom", 350, 0, Rect(40, 30, 283, 350)},
      {"exactly one point taller moves", 401, 0, Rect(40, 30, 283, 401)},
      {"exactly one point shorter moves", 399, 0, Rect(40, 30, 283, 399)},
      {"just under one point taller stays", 400.99, 0, std::nullopt},
      {"just under one point shorter stays", 399.01, 0, std::nullopt},
      {"equal stays", 400, 0, std::nullopt},
      {"the frame's decoration counts in the target", 380, 20, std::nullopt},
      {"decoration added to a real change", 300, 20, Rect(40, 30, 283, 320)},
      {"no height yet", 0, 0, std::nullopt},
      {"negative height", -50, 0, std::nullopt},
      {"NaN height", std::nan(""), 0, std::nullopt},
      {"infinite height", std::numeric_limits<double>::infinity(), 0, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(MenuWindowFitter::fittedFrame(frame, c.contentHeight, c.decoration), c.expected);
  }
}

TEST(MenuWindowFitter, LeavesUnusableFramesAlone) {
  EXPECT_EQ(MenuWindowFitter::fittedFrame(Rect::null(), 300), std::nullopt);
  EXPECT_EQ(MenuWindowFitter::fittedFrame(Rect(0, std::nan(""), 283, 100), 300), std::nullopt);
}

}  // namespace
}  // namespace velvix
