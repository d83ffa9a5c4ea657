#include <BlurLayout/LayoutTypes.hpp>

#include "RegionPieces.hpp"

#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <ostream>
#include <utility>

namespace velvix {

namespace {

// The persisted record's keys are exactly the field names; they are a stored format.
using MetricsField = std::pair<const char*, double LayoutMetrics::*>;
constexpr std::array<MetricsField, 10> kMetricsFields{{
    {"railWidth", &LayoutMetrics::railWidth},
    {"chatListWidth", &LayoutMetrics::chatListWidth},
    {"chatListHeaderHeight", &LayoutMetrics::chatListHeaderHeight},
    {"avatarSize", &LayoutMetrics::avatarSize},
    {"avatarInset", &LayoutMetrics::avatarInset},
    {"conversationHeaderHeight", &LayoutMetrics::conversationHeaderHeight},
    {"composerHeight", &LayoutMetrics::composerHeight},
    {"composerSideInset", &LayoutMetrics::composerSideInset},
    {"lastMessagesHeight", &LayoutMetrics::lastMessagesHeight},
    {"revealBandHeight", &LayoutMetrics::revealBandHeight},
}};

}  // namespace

std::optional<std::string> LayoutMetrics::encoded() const {
  nlohmann::json record = nlohmann::json::object();
  for (const auto& [key, field] : kMetricsFields) {
    const double value = this->*field;
    if (!std::isfinite(value)) return std::nullopt;
    record[key] = value;
  }
  return record.dump();
}

std::optional<LayoutMetrics> LayoutMetrics::decoded(std::string_view json) {
  // No exceptions: a parse error yields a "discarded" value instead.
  const nlohmann::json record = nlohmann::json::parse(json, nullptr, /*allow_exceptions=*/false);
  if (!record.is_object()) return std::nullopt;
  LayoutMetrics metrics;
  for (const auto& [key, field] : kMetricsFields) {
    const auto it = record.find(key);
    if (it == record.end() || !it->is_number()) return std::nullopt;
    const double value = it->get<double>();
    // A literal too large for a double parses as infinity; it is no measurement.
    if (!std::isfinite(value)) return std::nullopt;
    metrics.*field = value;
  }
  return metrics;
}

void detail::appendSubtracting(const BlurRegion& region, const Rect& hole,
                               const std::optional<Rect>& exclusion, std::vector<BlurRegion>& out) {
  if (!region.rect.intersects(hole)) {
    out.push_back(region);
    if (exclusion) out.back().hoverExclusion = exclusion;
    return;
  }
  const Rect& r = region.rect;
  const double top = r.minY() > hole.minY() ? r.minY() : hole.minY();
  const double bottom = r.maxY() < hole.maxY() ? r.maxY() : hole.maxY();
  const double middle = bottom - top;
  const Rect pieces[] = {
      Rect(r.minX(), r.minY(), r.width(), hole.minY() - r.minY()),     // above
      Rect(r.minX(), hole.maxY(), r.width(), r.maxY() - hole.maxY()),  // below
      Rect(r.minX(), top, hole.minX() - r.minX(), middle),             // left
      Rect(hole.maxX(), top, r.maxX() - hole.maxX(), middle),          // right
  };
  for (const Rect& piece : pieces) {
    if (piece.size.width >= 1 && piece.size.height >= 1) {
      out.emplace_back(piece, region.hoverArea, region.reveal, Shape::rounded).hoverExclusion =
          exclusion;
    }
  }
}

std::vector<BlurRegion> BlurRegion::subtracting(const Rect& hole) const {
  std::vector<BlurRegion> result;
  detail::appendSubtracting(*this, hole, std::nullopt, result);
  return result;
}

std::ostream& operator<<(std::ostream& os, Shape shape) {
  return os << (shape == Shape::circle ? "circle" : "rounded");
}

std::ostream& operator<<(std::ostream& os, const Reveal& reveal) {
  if (const auto height = reveal.bandHeight()) return os << "band(" << *height << ')';
  return os << "whole";
}

std::ostream& operator<<(std::ostream& os, const BlurRegion& region) {
  os << "{rect " << region.rect << " hover " << region.hoverArea;
  if (region.hoverExclusion) os << " exclusion " << *region.hoverExclusion;
  return os << ' ' << region.reveal << ' ' << region.shape << '}';
}

std::ostream& operator<<(std::ostream& os, const VisibleBlur& blur) {
  return os << '{' << blur.rect << ' ' << blur.shape << '}';
}

std::ostream& operator<<(std::ostream& os, const ScrollOffset& offset) {
  return os << "{chatList " << offset.chatList << " messages " << offset.messages << '}';
}

std::ostream& operator<<(std::ostream& os, const LayoutMetrics& metrics) {
  os << '{';
  const char* separator = "";
  for (const auto& [key, field] : kMetricsFields) {
    os << separator << key << ' ' << metrics.*field;
    separator = ", ";
  }
  return os << '}';
}

}  // namespace velvix
