#include "FrostedGlass.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace velvix::glass {

namespace {

constexpr int kChannels = 4;

// The loops that stream whole frames are built twice on x86-64 Linux, for the baseline's 16-byte
// vectors and for AVX2's 32-byte ones, and the loader picks the one the processor runs. Twice the
// width halves the stores per frame, which bound these loops. Either way they stay out of line:
// inlined into the long drawing function, they lost registers to spills.
#if defined(__x86_64__) && defined(__linux__) && defined(__has_attribute)
#if __has_attribute(target_clones)
#define VELVIX_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#endif
#endif
#ifndef VELVIX_WIDE_VECTORS
#define VELVIX_WIDE_VECTORS [[gnu::noinline]]
#endif

// A patch reduced to what drawing needs, with every bound finite and the rows clipped to the
// image. Geometry stays in doubles so fractional edges stay exact.
struct Prepared {
  double x0, y0, x1, y1;
  PatchShape shape;
  double radius;  // rounded corners; 0 for square ones
  int rowBegin, rowEnd;
};

// The horizontal extent [left, right] of the shape at height `y`, which lies within [y0, y1].
std::pair<double, double> extentAt(const Prepared& p, double y) {
  if (p.shape == PatchShape::ellipse) {
    const double a = (p.x1 - p.x0) / 2;
    const double b = (p.y1 - p.y0) / 2;
    const double t = (y - (p.y0 + b)) / b;
    const double half = a * std::sqrt(std::max(0.0, 1 - t * t));
    const double cx = p.x0 + a;
    return {cx - half, cx + half};
  }
  const double r = p.radius;
  double dy = 0;
  if (y < p.y0 + r)
    dy = p.y0 + r - y;
  else if (y > p.y1 - r)
    dy = y - (p.y1 - r);
  if (dy <= 0) return {p.x0, p.x1};
  const double dx = std::sqrt(std::max(0.0, r * r - dy * dy));
  return {p.x0 + r - dx, p.x1 - r + dx};
}

// Box sizes whose three passes together approximate a gaussian of `sigma` (the usual
// "boxes for gauss" construction); each entry is a box radius.
std::array<int, 3> boxRadii(double sigma) {
  constexpr int n = 3;
  const double ideal = std::sqrt(12 * sigma * sigma / n + 1);
  int lower = static_cast<int>(std::floor(ideal));
  if (lower % 2 == 0) --lower;
  lower = std::max(lower, 1);
  const int upper = lower + 2;
  const double m = std::round((12 * sigma * sigma - n * lower * lower - 4 * n * lower - 3 * n) /
                              (-4.0 * lower - 4));
  std::array<int, 3> radii{};
  for (int i = 0; i < n; ++i)
    radii[i] = ((i < m ? lower : upper) - 1) / 2;
  return radii;
}

// One row of a box pass: writes the window's mean and moves the window down a row. Restrict on
// parameters (rather than on locals, which the compiler may ignore) lets the loop vectorise
// without a runtime overlap check that sent it down the scalar path.
VELVIX_WIDE_VECTORS void slide(float* __restrict dst, float* __restrict sum,
                               const float* __restrict add, const float* __restrict drop,
                               std::size_t lanes, float scale) {
  for (std::size_t k = 0; k < lanes; ++k) {
    dst[k] = sum[k] * scale;
    sum[k] += add[k] - drop[k];
  }
}

// out = px × keep + add, rounded down to bytes; `add` holds one term per channel.
VELVIX_WIDE_VECTORS void tintRow(const float* __restrict px, std::uint8_t* __restrict out,
                                 std::size_t n, float keep, const float* __restrict add) {
  for (std::size_t i = 0; i < n; i += kChannels)
    for (int c = 0; c < kChannels; ++c)
      out[i + c] = static_cast<std::uint8_t>(std::clamp(px[i + c] * keep + add[c], 0.0f, 255.0f));
}

// One box pass down the columns of a `width` x `height` image of `lanes` floats per row, all
// columns at once so that memory is read row by row and the inner loops vectorise.
void boxColumns(const float* __restrict in, float* __restrict out, std::size_t lanes, int height,
                int radius, std::vector<float>& sumRow) {
  const float scale = 1.0f / static_cast<float>(2 * radius + 1);
  sumRow.assign(lanes, 0.0f);
  float* __restrict sum = sumRow.data();
  for (std::size_t k = 0; k < lanes; ++k)
    sum[k] = static_cast<float>(radius + 1) * in[k];
  for (int r = 1; r <= radius; ++r) {
    const float* row = in + std::min(r, height - 1) * lanes;
    for (std::size_t k = 0; k < lanes; ++k)
      sum[k] += row[k];
  }
  for (int j = 0; j < height; ++j) {
    float* dst = out + j * lanes;
    const float* add = in + std::min(j + radius + 1, height - 1) * lanes;
    const float* drop = in + std::max(j - radius, 0) * lanes;
    slide(dst, sum, add, drop, lanes, scale);
  }
}

// Swaps rows and columns of an image of 4-float pixels, in tiles that stay in the cache.
void transpose(const float* __restrict in, float* __restrict out, int width, int height) {
  constexpr int kTile = 16;
  for (int y0 = 0; y0 < height; y0 += kTile)
    for (int x0 = 0; x0 < width; x0 += kTile)
      for (int y = y0; y < std::min(y0 + kTile, height); ++y)
        for (int x = x0; x < std::min(x0 + kTile, width); ++x)
          std::memcpy(out + (static_cast<std::size_t>(x) * height + y) * kChannels,
                      in + (static_cast<std::size_t>(y) * width + x) * kChannels,
                      kChannels * sizeof(float));
}

std::uint8_t average(std::uint8_t p, std::uint8_t q) {
  return static_cast<std::uint8_t>((static_cast<unsigned>(p) + q + 1) >> 1);
}

// (8 − k)/8 · a + k/8 · b, byte by byte, for k from 0 to 8, as three rounding averages (the
// binary digits of k, least significant first). Averages of bytes are single vector
// instructions, so a row costs little more than a copy.
VELVIX_WIDE_VECTORS void mixEighths(const std::uint8_t* __restrict a,
                                    const std::uint8_t* __restrict b, int k,
                                    std::uint8_t* __restrict out, std::size_t n) {
  if (k <= 0) {
    std::memcpy(out, a, n);
    return;
  }
  if (k >= 8) {
    std::memcpy(out, b, n);
    return;
  }
  const std::uint8_t* s0 = (k & 1) ? b : a;
  const std::uint8_t* s1 = (k & 2) ? b : a;
  const std::uint8_t* s2 = (k & 4) ? b : a;
  for (std::size_t i = 0; i < n; ++i)
    out[i] = average(s2[i], average(s1[i], average(s0[i], a[i])));
}

std::uint8_t mixEighths(std::uint8_t a, std::uint8_t b, int k) {
  if (k <= 0) return a;
  if (k >= 8) return b;
  const std::uint8_t x = average((k & 1) ? b : a, a);
  return average((k & 4) ? b : a, average((k & 2) ? b : a, x));
}

std::uint8_t cover(std::uint8_t from, std::uint8_t to, int coverage256) {
  return static_cast<std::uint8_t>(from + (((to - from) * coverage256 + 128) >> 8));
}

// acc[k] = the sum of byte k over `rows` rows (at most 8) starting at `src`. A strip of columns
// is summed down all the rows in registers and stored once, rather than the row sum being
// loaded and stored again for every row.
VELVIX_WIDE_VECTORS void sumRows(const std::uint8_t* src, std::ptrdiff_t stride, int rows,
                                 std::uint16_t* __restrict acc, std::size_t n) {
  constexpr std::size_t kStrip = 32;
  std::size_t k = 0;
  for (; k + kStrip <= n; k += kStrip) {
    std::uint16_t sum[kStrip] = {};
    const std::uint8_t* row = src + k;
    for (int y = 0; y < rows; ++y, row += stride)
      for (std::size_t t = 0; t < kStrip; ++t)
        sum[t] = static_cast<std::uint16_t>(sum[t] + row[t]);
    std::memcpy(acc + k, sum, sizeof sum);
  }
  for (; k < n; ++k) {
    unsigned sum = 0;
    for (int y = 0; y < rows; ++y)
      sum += src[y * stride + static_cast<std::ptrdiff_t>(k)];
    acc[k] = static_cast<std::uint16_t>(sum);
  }
}

// dst = cover(dst, glass, coverage256), byte by byte.
VELVIX_WIDE_VECTORS void coverRow(std::uint8_t* __restrict dst,
                                  const std::uint8_t* __restrict glass, int coverage256,
                                  std::size_t n) {
  for (std::size_t i = 0; i < n; ++i)
    dst[i] = cover(dst[i], glass[i], coverage256);
}

// Sums blocks of D columns of a row of 16-bit column sums into low-resolution pixels, in place
// (block i's sums go where its first column's were), still as 16-bit sums. A pixel's four sums
// travel as one 64-bit word: D ≤ 8 columns of D ≤ 8 rows of 255 stay below 2^16, so no lane
// carries into the next.
template <int D>
void sumBlocks(std::uint16_t* acc, int fullBlocks) {
  for (int i = 0; i < fullBlocks; ++i) {
    std::uint64_t sum = 0;
    for (int x = 0; x < D; ++x) {
      std::uint64_t pixel;
      std::memcpy(&pixel, acc + (i * D + x) * kChannels, sizeof pixel);
      sum += pixel;
    }
    std::memcpy(acc + i * kChannels, &sum, sizeof sum);
  }
}

// dst = sums × scale, in a loop of its own so that the conversions vectorise.
VELVIX_WIDE_VECTORS void toMeans(const std::uint16_t* __restrict sums, float* __restrict dst,
                                 std::size_t n, float scale) {
  for (std::size_t i = 0; i < n; ++i)
    dst[i] = static_cast<float>(sums[i]) * scale;
}

}  // namespace

bool Rgba8Image::isValid() const noexcept {
  return pixels != nullptr && width > 0 && height > 0 &&
         stride >= static_cast<std::ptrdiff_t>(width) * kChannels;
}

FrostedGlassStyle FrostedGlassStyle::of(BlurStrength strength) {
  FrostedGlassStyle style;
  switch (strength) {
    case BlurStrength::light:
      // Shapes and colours stay recognisable; words do not.
      style.blurRadius = 7;
      style.tintAmount = 0.25;
      break;
    case BlurStrength::medium:
      break;
    case BlurStrength::strong:
      // Twice the default: a 12-point line smears into one band with no letter shapes left,
      // and a stronger frost flattens what contrast remains.
      style.blurRadius = 24;
      style.tintAmount = 0.5;
      break;
  }
  return style;
}

FrostedGlass::FrostedGlass(FrostedGlassStyle style) : style_(style) {}

void FrostedGlass::apply(Rgba8Image image, std::span<const GlassPatch> patches) {
  if (!image.isValid()) return;
  const int W = image.width;
  const int H = image.height;

  const double sigma = blurRadius();
  const int d = downscale();
  // Pixels up to three deviations away still weigh in; one more block keeps the downscaled
  // edge of the margin out of the patch.
  const double margin = std::ceil(3 * sigma) + d;

  // Clip every patch in doubles first: huge or far-away coordinates must not reach integer
  // conversion.
  std::vector<Prepared> prepared;
  prepared.reserve(patches.size());
  double bx0 = W, by0 = H, bx1 = 0, by1 = 0;
  for (const GlassPatch& p : patches) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.width) ||
        !std::isfinite(p.height) || !(p.width > 0) || !(p.height > 0))
      continue;
    const double x1 = p.x + p.width;
    const double y1 = p.y + p.height;
    if (!std::isfinite(x1) || !std::isfinite(y1)) continue;
    if (x1 <= 0 || y1 <= 0 || p.x >= W || p.y >= H) continue;
    double radius = 0;
    if (p.shape == PatchShape::roundedRect && std::isfinite(p.cornerRadius) && p.cornerRadius > 0)
      radius = std::min({p.cornerRadius, p.width / 2, p.height / 2});
    const double top = std::max(0.0, std::floor(p.y));
    const double bottom = std::min(static_cast<double>(H), std::ceil(y1));
    prepared.push_back(
        {p.x, p.y, x1, y1, p.shape, radius, static_cast<int>(top), static_cast<int>(bottom)});
    bx0 = std::min(bx0, std::max(0.0, std::floor(p.x) - margin));
    by0 = std::min(by0, std::max(0.0, top - margin));
    bx1 = std::max(bx1, std::min(static_cast<double>(W), std::ceil(x1) + margin));
    by1 = std::max(by1, std::min(static_cast<double>(H), bottom + margin));
  }
  if (prepared.empty() || !(bx0 < bx1) || !(by0 < by1)) return;

  const int bx = static_cast<int>(bx0);
  const int by = static_cast<int>(by0);
  const int bw = static_cast<int>(bx1) - bx;
  const int bh = static_cast<int>(by1) - by;
  const int lowW = (bw + d - 1) / d;
  const int lowH = (bh + d - 1) / d;
  const std::size_t lowRow = static_cast<std::size_t>(lowW) * kChannels;

  // 1. Box-filtered downscale of the source area, read before anything is written. Rows are
  // summed in 16 bits (at most 8 rows of 255), which the compiler turns into wide vector adds.
  low_.resize(lowRow * lowH);
  accumulator_.resize(static_cast<std::size_t>(bw) * kChannels);
  const int fullBlocks = bw / d;
  for (int j = 0; j < lowH; ++j) {
    std::uint16_t* __restrict acc = accumulator_.data();
    const int rowFirst = by + j * d;
    const int rowLast = std::min(rowFirst + d, by + bh);
    const std::uint8_t* first = image.pixels +
                                static_cast<std::ptrdiff_t>(rowFirst) * image.stride +
                                static_cast<std::ptrdiff_t>(bx) * kChannels;
    sumRows(first, image.stride, rowLast - rowFirst, acc, static_cast<std::size_t>(bw) * kChannels);
    float* dst = low_.data() + j * lowRow;
    const int rows = rowLast - rowFirst;
    const float scale = 1.0f / static_cast<float>(d * rows);
    switch (d) {
      case 1:
        sumBlocks<1>(acc, fullBlocks);
        break;
      case 2:
        sumBlocks<2>(acc, fullBlocks);
        break;
      case 3:
        sumBlocks<3>(acc, fullBlocks);
        break;
      case 4:
        sumBlocks<4>(acc, fullBlocks);
        break;
      case 5:
        sumBlocks<5>(acc, fullBlocks);
        break;
      case 6:
        sumBlocks<6>(acc, fullBlocks);
        break;
      case 7:
        sumBlocks<7>(acc, fullBlocks);
        break;
      default:
        sumBlocks<8>(acc, fullBlocks);
        break;
    }
    toMeans(acc, dst, static_cast<std::size_t>(fullBlocks) * kChannels, scale);
    if (fullBlocks < lowW) {  // the narrower last block
      const int colFirst = fullBlocks * d;
      const float partScale = 1.0f / static_cast<float>((bw - colFirst) * rows);
      for (int c = 0; c < kChannels; ++c) {
        unsigned sum = 0;
        for (int x = colFirst; x < bw; ++x)
          sum += acc[x * kChannels + c];
        dst[fullBlocks * kChannels + c] = static_cast<float>(sum) * partScale;
      }
    }
  }

  // 2. Blur and tint at the low resolution, into rows padded by one pixel at each end so the
  // upscale needs no edge cases.
  blurLow(lowW, lowH);
  const std::size_t paddedRow = lowRow + 2 * kChannels;
  lowTinted_.resize(paddedRow * lowH);
  std::uint8_t* tinted = lowTinted_.data() + kChannels;
  tintLow(lowW, lowH, tinted, static_cast<std::ptrdiff_t>(paddedRow));
  for (int j = 0; j < lowH; ++j) {
    std::uint8_t* out = tinted + j * paddedRow;
    std::memcpy(out - kChannels, out, kChannels);
    std::memcpy(out + lowRow, out + lowRow - kChannels, kChannels);
  }

  // 3. Bilinear upscale into the patches, with weights in eighths of a pixel. Full-resolution
  // column x = d·i + k lies between low pixels i − 1 and i (k below d/2) or i and i + 1, at a
  // weight that depends on k only: each low row is widened one phase k at a time, along memory.
  auto weightInEighths = [d](int k) {
    const double u = (k + 0.5) / d - 0.5;  // position relative to low pixel i
    const double w = u - std::floor(u);
    return std::pair<int, int>{u < 0 ? -1 : 0, static_cast<int>(std::lround(w * 8))};
  };
  phase_.resize(static_cast<std::size_t>(lowW) * kChannels);
  upscaledRows_.resize(2 * static_cast<std::size_t>(bw));
  int slotRow[2] = {-1, -1};
  auto widened = [&](int j, int keep) -> const std::uint8_t* {
    for (int s = 0; s < 2; ++s)
      if (slotRow[s] == j)
        return reinterpret_cast<const std::uint8_t*>(upscaledRows_.data() + s * bw);
    const int s = slotRow[0] == keep ? 1 : 0;
    slotRow[s] = j;
    std::uint32_t* out = upscaledRows_.data() + s * bw;
    const std::uint8_t* row = lowTinted_.data() + j * paddedRow + kChannels;  // row[-4..] valid
    // A local copy of the pointer: read through the member, it would be loaded again for every
    // pixel, as the stores below might have changed it.
    std::uint8_t* const phase = phase_.data();
    for (int k = 0; k < d; ++k) {
      const auto [offset, eighths] = weightInEighths(k);
      const std::uint8_t* left = row + offset * kChannels;
      mixEighths(left, left + kChannels, eighths, phase, lowRow);
      for (int i = 0, x = k; x < bw; ++i, x += d)
        std::memcpy(out + x, phase + i * kChannels, kChannels);
    }
    return reinterpret_cast<const std::uint8_t*>(out);
  };

  // Each row visits only the patches that reach it, in the order given (where patches overlap,
  // their anti-aliased edges are laid one over the other in that order); a row no patch reaches
  // costs nothing.
  std::vector<int> byFirstRow(prepared.size());
  for (std::size_t i = 0; i < prepared.size(); ++i)
    byFirstRow[i] = static_cast<int>(i);
  std::stable_sort(byFirstRow.begin(), byFirstRow.end(),
                   [&](int i, int j) { return prepared[i].rowBegin < prepared[j].rowBegin; });
  std::vector<int> reaching;  // indices into `prepared`, ascending
  std::size_t entering = 0;
  const int rowMin = prepared[byFirstRow.front()].rowBegin;
  for (int y = rowMin; y < H; ++y) {
    std::erase_if(reaching, [&](int i) { return prepared[i].rowEnd <= y; });
    for (; entering < byFirstRow.size() && prepared[byFirstRow[entering]].rowBegin <= y;
         ++entering) {
      const int i = byFirstRow[entering];
      reaching.insert(std::upper_bound(reaching.begin(), reaching.end(), i), i);
    }
    if (reaching.empty()) {
      if (entering == byFirstRow.size()) break;
      continue;
    }
    const double v = (y - by + 0.5) / d - 0.5;
    int j0 = static_cast<int>(std::floor(v));
    double wv = v - j0;
    if (j0 < 0) j0 = 0, wv = 0;
    if (j0 >= lowH - 1) j0 = lowH - 1, wv = 0;
    const int j1 = std::min(j0 + 1, lowH - 1);
    const int wy = static_cast<int>(std::lround(wv * 8));
    const std::uint8_t* a = widened(j0, j1);
    const std::uint8_t* b = widened(j1, j0);
    std::uint8_t* dstRow = image.pixels + static_cast<std::ptrdiff_t>(y) * image.stride;

    for (const int i : reaching) {
      const Prepared& p = prepared[i];
      const double top = std::max<double>(y, p.y0);
      const double bottom = std::min<double>(y + 1, p.y1);
      const double coverY = bottom - top;
      if (!(coverY > 0)) continue;
      // Plain locals rather than a structured binding: lambdas below capture them.
      const auto extent = extentAt(p, (top + bottom) / 2);
      const double left = extent.first;
      const double right = extent.second;
      if (!(left < right)) continue;
      const int first = static_cast<int>(std::max(0.0, std::floor(left)));
      const int last = static_cast<int>(std::min(static_cast<double>(W), std::ceil(right)));
      // Pixels the shape spans from side to side: a straight mix of the two widened rows, laid
      // over the frame by how much of the row the shape covers.
      int solidFirst = static_cast<int>(std::max(0.0, std::ceil(left)));
      int solidLast = static_cast<int>(std::min(static_cast<double>(W), std::floor(right)));
      if (solidLast > solidFirst) {
        const std::size_t from = static_cast<std::size_t>(solidFirst - bx) * kChannels;
        const std::size_t n = static_cast<std::size_t>(solidLast - solidFirst) * kChannels;
        std::uint8_t* dst = dstRow + static_cast<std::ptrdiff_t>(solidFirst) * kChannels;
        if (coverY >= 1) {
          mixEighths(a + from, b + from, wy, dst, n);
        } else {
          partialRow_.resize(n);
          mixEighths(a + from, b + from, wy, partialRow_.data(), n);
          coverRow(dst, partialRow_.data(), static_cast<int>(std::lround(coverY * 256)), n);
        }
      } else {
        solidFirst = solidLast = first;
      }
      // Edge pixels: glass mixed over the frame by how much of the pixel the shape covers.
      auto edge = [&](int x) {
        const double covered =
            (std::min<double>(x + 1, right) - std::max<double>(x, left)) * coverY;
        const int cover256 = static_cast<int>(std::lround(std::clamp(covered, 0.0, 1.0) * 256));
        if (cover256 == 0) return;
        const std::size_t at = static_cast<std::size_t>(x - bx) * kChannels;
        std::uint8_t* dst = dstRow + static_cast<std::ptrdiff_t>(x) * kChannels;
        for (int c = 0; c < kChannels; ++c)
          dst[c] = cover(dst[c], mixEighths(a[at + c], b[at + c], wy), cover256);
      };
      for (int x = first; x < solidFirst; ++x)
        edge(x);
      for (int x = std::max(solidLast, first); x < last; ++x)
        edge(x);
    }
  }
}

double FrostedGlass::blurRadius() const {
  // A style out of range degrades to the nearest sensible one rather than misbehaving.
  return std::isfinite(style_.blurRadius) ? std::clamp(style_.blurRadius, 0.0, 256.0) : 0.0;
}

int FrostedGlass::downscale() const {
  // Automatic: as coarse as keeps 1.5 low pixels of deviation, where bilinear upscaling of the
  // blurred image is still within about one level of the exact result.
  return style_.downscale > 0 ? std::min(style_.downscale, 8)
                              : std::clamp(static_cast<int>(blurRadius() / 1.5), 1, 8);
}

void FrostedGlass::frostDownscaled(Rgba8Image low) {
  if (!low.isValid()) return;
  const std::size_t lowRow = static_cast<std::size_t>(low.width) * kChannels;
  low_.resize(lowRow * low.height);
  for (int j = 0; j < low.height; ++j) {
    const std::uint8_t* in = low.pixels + static_cast<std::ptrdiff_t>(j) * low.stride;
    float* out = low_.data() + j * lowRow;
    for (std::size_t k = 0; k < lowRow; ++k)
      out[k] = in[k];
  }
  blurLow(low.width, low.height);
  tintLow(low.width, low.height, low.pixels, low.stride);
}

// Each axis in turn: three box passes down the columns, then a transpose, so that every pass
// runs along memory and `low_` ends in rows again.
void FrostedGlass::blurLow(int lowW, int lowH) {
  const double lowSigma = blurRadius() / downscale();
  if (lowSigma < 0.3) return;
  lowScratch_.resize(low_.size());
  std::vector<float> sum;
  const auto radii = boxRadii(lowSigma);
  int width = lowW, height = lowH;
  for (int axis = 0; axis < 2; ++axis) {
    for (int radius : radii) {
      if (radius <= 0) continue;
      boxColumns(low_.data(), lowScratch_.data(), static_cast<std::size_t>(width) * kChannels,
                 height, radius, sum);
      std::swap(low_, lowScratch_);
    }
    transpose(low_.data(), lowScratch_.data(), width, height);
    std::swap(low_, lowScratch_);
    std::swap(width, height);
  }
}

// The tint, once per low-resolution pixel (mixing commutes with the upscale's interpolation),
// from `low_` into bytes.
void FrostedGlass::tintLow(int lowW, int lowH, std::uint8_t* out, std::ptrdiff_t stride) const {
  const double tintAmount =
      std::isfinite(style_.tintAmount) ? std::clamp(style_.tintAmount, 0.0, 1.0) : 0.0;
  const float keep = static_cast<float>(1 - tintAmount);
  float add[kChannels];
  for (int c = 0; c < kChannels; ++c)
    add[c] = static_cast<float>(style_.tint[c] * tintAmount) + 0.5f;  // + 0.5: rounds
  const std::size_t lowRow = static_cast<std::size_t>(lowW) * kChannels;
  for (int j = 0; j < lowH; ++j)
    tintRow(low_.data() + j * lowRow, out + j * stride, lowRow, keep, add);
}

}  // namespace velvix::glass
