#include "AppSettings.hpp"

#include <algorithm>
#include <cmath>
#include <utility>
#include <variant>
#include <vector>

namespace velvix {

namespace {

using Property = AppSettings::Property;

struct FlagEntry {
  std::string_view key;
  bool fallback;
};

// The persisted booleans in Property order. The keys are the saved format and differ from the
// property names for six of them; they must never change.
constexpr std::array<FlagEntry, 10> kFlags = {{
    {"onOff", true},
    {"unblurLast3Messages", true},
    {"blurAllMessagesInChat", true},
    {"blurLastMessagesPreview", true},
    {"blurTextInput", false},
    {"blurGroupUsersNames", false},
    {"blurProfilePictures", false},
    {"blurMediaPreview", false},
    {"blurMediaGallery", false},
    {"usesAccessibility", true},
}};

constexpr std::string_view kMetricsKey = "layoutMetrics";

constexpr std::size_t index(Property property) {
  return static_cast<std::size_t>(property);
}

bool sameValue(double a, double b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}

// LayoutMetrics equality, except that a NaN field equals a NaN field: re-assigning the same
// unencodable value is no change, and must not wake a two-way bound control into a loop.
bool sameMetrics(const LayoutMetrics& a, const LayoutMetrics& b) {
  return sameValue(a.railWidth, b.railWidth) && sameValue(a.chatListWidth, b.chatListWidth) &&
         sameValue(a.chatListHeaderHeight, b.chatListHeaderHeight) &&
         sameValue(a.avatarSize, b.avatarSize) && sameValue(a.avatarInset, b.avatarInset) &&
         sameValue(a.conversationHeaderHeight, b.conversationHeaderHeight) &&
         sameValue(a.composerHeight, b.composerHeight) &&
         sameValue(a.composerSideInset, b.composerSideInset) &&
         sameValue(a.lastMessagesHeight, b.lastMessagesHeight) &&
         sameValue(a.revealBandHeight, b.revealBandHeight);
}

LayoutMetrics loadMetrics(const platform::Defaults& defaults) {
  const auto stored = defaults.object(kMetricsKey);
  const auto* bytes = std::get_if<platform::Defaults::Bytes>(&stored);
  if (bytes == nullptr || bytes->data.empty()) return LayoutMetrics::defaults;
  // An undecodable record stays in the store untouched until the next assignment.
  return LayoutMetrics::decoded(bytes->data).value_or(LayoutMetrics::defaults);
}

}  // namespace

struct AppSettings::Subscription::Registry {
  struct Entry {
    std::size_t id;
    std::array<bool, kPropertyCount> properties;
    // Shared so that an observer dropping its own subscription mid-call is not destroyed while
    // it runs.
    std::shared_ptr<const std::function<void()>> onChange;
  };
  std::vector<Entry> entries;
  std::size_t nextId = 1;

  void remove(std::size_t id) {
    std::erase_if(entries, [id](const Entry& entry) { return entry.id == id; });
  }
  [[nodiscard]] bool contains(std::size_t id) const {
    return std::any_of(entries.begin(), entries.end(),
                       [id](const Entry& entry) { return entry.id == id; });
  }
};

AppSettings::Subscription& AppSettings::Subscription::operator=(Subscription&& other) noexcept {
  if (this != &other) {
    reset();
    registry_ = std::move(other.registry_);
    id_ = other.id_;
    other.id_ = 0;
  }
  return *this;
}

void AppSettings::Subscription::reset() noexcept {
  if (const auto registry = registry_.lock()) registry->remove(id_);
  registry_.reset();
  id_ = 0;
}

std::string_view AppSettings::key(Property property) noexcept {
  if (property == Property::metrics) return kMetricsKey;
  if (property == Property::showsGuides) return {};
  return kFlags[index(property)].key;
}

AppSettings::AppSettings(platform::Defaults& defaults)
    : defaults_(defaults), registry_(std::make_shared<Subscription::Registry>()) {
  for (std::size_t i = 0; i < kFlags.size(); ++i) {
    const auto stored = defaults_.object(kFlags[i].key);
    const bool* value = std::get_if<bool>(&stored);
    flags_[i] = value != nullptr ? *value : kFlags[i].fallback;
  }
  metrics_ = loadMetrics(defaults_);
}

AppSettings::~AppSettings() = default;

BlurOptions AppSettings::options() const {
  return BlurOptions{
      .isEnabled = isEnabled(),
      .unblurLastMessages = unblurLastMessages(),
      .blurMessages = blurMessages(),
      .blurPreviews = blurPreviews(),
      .blurTextInput = blurTextInput(),
      .blurNames = blurNames(),
      .blurProfilePictures = blurProfilePictures(),
      .blurMediaPreview = blurMediaPreview(),
      .blurMediaGallery = blurMediaGallery(),
  };
}

void AppSettings::setFlag(Property property, bool value) {
  const std::size_t i = index(property);
  const bool changed = flags_[i] != value;
  flags_[i] = value;
  defaults_.setBool(kFlags[i].key, value);
  if (changed) notify(property);
}

void AppSettings::setMetrics(const LayoutMetrics& value) {
  const bool changed = !sameMetrics(metrics_, value);
  metrics_ = value;
  if (const auto json = value.encoded()) {
    defaults_.setBytes(kMetricsKey, *json);
  } else {
    defaults_.remove(kMetricsKey);
  }
  if (changed) notify(Property::metrics);
}

void AppSettings::setShowsGuides(bool value) {
  const bool changed = showsGuides_ != value;
  showsGuides_ = value;
  if (changed) notify(Property::showsGuides);
}

AppSettings::Subscription AppSettings::observe(Property property, std::function<void()> onChange) {
  std::array<bool, kPropertyCount> properties{};
  properties[index(property)] = true;
  return subscribe(properties, std::move(onChange));
}

AppSettings::Subscription AppSettings::observe(std::initializer_list<Property> properties,
                                               std::function<void()> onChange) {
  std::array<bool, kPropertyCount> mask{};
  for (const Property property : properties)
    mask[index(property)] = true;
  return subscribe(mask, std::move(onChange));
}

AppSettings::Subscription AppSettings::observeOptions(std::function<void()> onChange) {
  std::array<bool, kPropertyCount> mask{};
  for (const Property property : kOptionsProperties)
    mask[index(property)] = true;
  return subscribe(mask, std::move(onChange));
}

AppSettings::Subscription AppSettings::subscribe(std::array<bool, kPropertyCount> properties,
                                                 std::function<void()> onChange) {
  const std::size_t id = registry_->nextId++;
  registry_->entries.push_back(
      {id, properties, std::make_shared<const std::function<void()>>(std::move(onChange))});
  return Subscription(registry_, id);
}

void AppSettings::notify(Property property) {
  // Observers may subscribe, unsubscribe or assign from inside their call, so walk a copy and
  // skip whoever was dropped meanwhile. Keep the registry alive too: an observer could, in
  // principle, destroy these settings.
  const auto registry = registry_;
  std::vector<std::pair<std::size_t, std::shared_ptr<const std::function<void()>>>> targets;
  for (const auto& entry : registry->entries) {
    if (entry.properties[index(property)]) targets.emplace_back(entry.id, entry.onChange);
  }
  for (const auto& [id, onChange] : targets) {
    if (registry->contains(id) && *onChange) (*onChange)();
  }
}

}  // namespace velvix
