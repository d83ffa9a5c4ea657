#pragma once

#include <BlurLayout/LayoutTypes.hpp>

#include <vector>

namespace velvix::detail {

// BlurRegion::subtracting() appending to an existing list, so that cutting a sheet out of a
// frame's regions allocates nothing per region. Every region appended gets `exclusion` as its
// hover exclusion (subtracting() itself passes none).
void appendSubtracting(const BlurRegion& region, const Rect& hole,
                       const std::optional<Rect>& exclusion, std::vector<BlurRegion>& out);

}  // namespace velvix::detail
