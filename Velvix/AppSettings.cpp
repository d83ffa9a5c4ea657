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
// property names for seven of them; they must never change.
constexpr std::array<FlagEntry, 12> kFlags = {{
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
    {"coverMovingLists", true},
    {"coverUnrecognised", true},
}};
// The booleans are the properties before the measurements: one key each, no more.
static_assert(kFlags.size() == static_cast<std::size_t>(AppSettings::Property::metrics));

constexpr std::string_view kMetricsKey = "layoutMetrics";
constexpr std::string_view kPanicShortcutKey = "panicShortcut";
constexpr std::string_view kIdleMinutesKey = "idleMinutes";
constexpr std::string_view kBlurStrengthKey = "blurStrength";
constexpr std::string_view kDefaultPanicShortcut = "Ctrl+Alt+B";

double validIdleMinutes(double value) {
  return std::isfinite(value) && value > 0 ? value : 0;
}

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

std::optional<LayoutMetrics> loadMetrics(const platform::Defaults& defaults) {
  const auto stored = defaults.object(kMetricsKey);
  const auto* bytes = std::get_if<platform::Defaults::Bytes>(&stored);
  if (bytes == nullptr || bytes->data.empty()) return std::nullopt;
  // An undecodable record stays in the store untouched until the next assignment.
  return LayoutMetrics::decoded(bytes->data);
}

}  // namespace

std::string_view AppSettings::key(Property property) noexcept {
  if (property == Property::metrics) return kMetricsKey;
  if (property == Property::showsGuides) return {};
  if (property == Property::panicShortcut) return kPanicShortcutKey;
  if (property == Property::idleMinutes) return kIdleMinutesKey;
  if (property == Property::blurStrength) return kBlurStrengthKey;
  return kFlags[index(property)].key;
}

AppSettings::AppSettings(platform::Defaults& defaults, std::optional<platform::Logger> log)
    : defaults_(defaults) {
  for (std::size_t i = 0; i < kFlags.size(); ++i) {
    const auto stored = defaults_.object(kFlags[i].key);
    const bool* value = std::get_if<bool>(&stored);
    flags_[i] = value != nullptr ? *value : kFlags[i].fallback;
    if (log && value == nullptr && !std::holds_alternative<std::monostate>(stored)) {
      log->error("Setting %{public}s is not a boolean; using its default", kFlags[i].key);
    }
  }
  const auto stored = loadMetrics(defaults_);
  metrics_ = stored.value_or(LayoutMetrics::defaults);
  hasStoredMetrics_ = stored.has_value();
  if (log && !stored && !std::holds_alternative<std::monostate>(defaults_.object(kMetricsKey))) {
    log->error("Setting %{public}s holds no usable measurements; using the default layout",
               kMetricsKey);
  }

  const auto unusable = [&](std::string_view key) {
    if (log) log->error("Setting %{public}s holds no usable value; using its default", key);
  };
  panicShortcut_ = kDefaultPanicShortcut;
  if (const auto value = defaults_.object(kPanicShortcutKey);
      const auto* text = std::get_if<std::string>(&value)) {
    panicShortcut_ = *text;
  } else if (!std::holds_alternative<std::monostate>(value)) {
    unusable(kPanicShortcutKey);
  }
  if (const auto value = defaults_.object(kIdleMinutesKey);
      const auto* number = std::get_if<double>(&value)) {
    idleMinutes_ = validIdleMinutes(*number);
    if (idleMinutes_ != *number) unusable(kIdleMinutesKey);
  } else if (!std::holds_alternative<std::monostate>(value)) {
    unusable(kIdleMinutesKey);
  }
  if (const auto value = defaults_.object(kBlurStrengthKey);
      !std::holds_alternative<std::monostate>(value)) {
    const auto* text = std::get_if<std::string>(&value);
    const auto strength = text ? blurStrengthNamed(*text) : std::nullopt;
    blurStrength_ = strength.value_or(BlurStrength::medium);
    if (!strength) unusable(kBlurStrengthKey);
  }
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
  if (changed) observers_.notify(property);
}

void AppSettings::setMetrics(const LayoutMetrics& value) {
  const bool changed = !sameMetrics(metrics_, value);
  metrics_ = value;
  const auto json = value.encoded();
  if (json) {
    defaults_.setBytes(kMetricsKey, *json);
  } else {
    defaults_.remove(kMetricsKey);
  }
  hasStoredMetrics_ = json.has_value();
  if (changed) observers_.notify(Property::metrics);
}

void AppSettings::setPanicShortcut(std::string_view value) {
  const bool changed = panicShortcut_ != value;
  panicShortcut_ = value;
  defaults_.setString(kPanicShortcutKey, value);
  if (changed) observers_.notify(Property::panicShortcut);
}

void AppSettings::setIdleMinutes(double value) {
  value = validIdleMinutes(value);
  const bool changed = idleMinutes_ != value;
  idleMinutes_ = value;
  defaults_.setNumber(kIdleMinutesKey, value);
  if (changed) observers_.notify(Property::idleMinutes);
}

void AppSettings::setBlurStrength(BlurStrength value) {
  const bool changed = blurStrength_ != value;
  blurStrength_ = value;
  defaults_.setString(kBlurStrengthKey, name(value));
  if (changed) observers_.notify(Property::blurStrength);
}

void AppSettings::setShowsGuides(bool value) {
  const bool changed = showsGuides_ != value;
  showsGuides_ = value;
  if (changed) observers_.notify(Property::showsGuides);
}

platform::Subscription AppSettings::observe(Property property, std::function<void()> onChange) {
  std::array<bool, kPropertyCount> properties{};
  properties[index(property)] = true;
  return subscribe(properties, std::move(onChange));
}

platform::Subscription AppSettings::observe(std::initializer_list<Property> properties,
                                            std::function<void()> onChange) {
  std::array<bool, kPropertyCount> mask{};
  for (const Property property : properties)
    mask[index(property)] = true;
  return subscribe(mask, std::move(onChange));
}

platform::Subscription AppSettings::observeOptions(std::function<void()> onChange) {
  std::array<bool, kPropertyCount> mask{};
  for (const Property property : kOptionsProperties)
    mask[index(property)] = true;
  return subscribe(mask, std::move(onChange));
}

platform::Subscription AppSettings::subscribe(std::array<bool, kPropertyCount> properties,
                                              std::function<void()> onChange) {
  return observers_.add([properties, onChange = std::move(onChange)](Property changed) {
    if (properties[index(changed)]) onChange();
  });
}

}  // namespace velvix
