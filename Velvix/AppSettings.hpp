#pragma once

// The user's choices — what to blur, whether to read the accessibility tree, the calibrated
// layout measurements — and the debug switch for layout guides. Every choice is persisted in
// the user-defaults store under a fixed key that is part of the saved format; the guides switch
// is not persisted, so every launch starts with it off.
//
// Loading is per key: a missing or wrongly typed value takes that property's default, and a
// metrics record that does not decode in full takes LayoutMetrics::defaults; nothing is written
// back while loading. Every assignment writes to the store, also when the value is unchanged;
// observers hear only of real changes, after the new value is stored and written.
//
// One shared instance, used on the main thread only.

#include <BlurLayout/LayoutTypes.hpp>
#include <Velvix/Platform/BlurStrength.hpp>
#include <Velvix/Platform/Defaults.hpp>
#include <Velvix/Platform/Log.hpp>
#include <Velvix/Platform/Observers.hpp>

#include <array>
#include <cstddef>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace velvix {

class AppSettings {
 public:
  /// The observable properties. The first twelve are the persisted booleans: the store's table,
  /// then Velvix's own additions; the last three are Velvix's additions of other kinds.
  enum class Property {
    isEnabled,
    unblurLastMessages,
    blurMessages,
    blurPreviews,
    blurTextInput,
    blurNames,
    blurProfilePictures,
    blurMediaPreview,
    blurMediaGallery,
    usesAccessibility,
    coversMovingLists,
    coversUnrecognised,
    metrics,
    showsGuides,
    panicShortcut,
    idleMinutes,
    blurStrength,
  };
  static constexpr std::size_t kPropertyCount = 17;

  /// The properties `options()` is built from: observing them is observing `options()`.
  static constexpr std::array<Property, 9> kOptionsProperties = {
      Property::isEnabled,           Property::unblurLastMessages, Property::blurMessages,
      Property::blurPreviews,        Property::blurTextInput,      Property::blurNames,
      Property::blurProfilePictures, Property::blurMediaPreview,   Property::blurMediaGallery,
  };

  /// The user-defaults key a property is persisted under; empty for `showsGuides`.
  [[nodiscard]] static std::string_view key(Property property) noexcept;

  /// Loads every persisted property from `defaults`, which must outlive the settings. A stored
  /// value of the wrong kind, or measurements that cannot be decoded, give the default for that
  /// property alone, stay stored as they are, and are reported to `log`.
  explicit AppSettings(platform::Defaults& defaults,
                       std::optional<platform::Logger> log = std::nullopt);
  AppSettings(const AppSettings&) = delete;
  AppSettings& operator=(const AppSettings&) = delete;
  ~AppSettings();

  [[nodiscard]] bool isEnabled() const { return flag(Property::isEnabled); }
  [[nodiscard]] bool unblurLastMessages() const { return flag(Property::unblurLastMessages); }
  [[nodiscard]] bool blurMessages() const { return flag(Property::blurMessages); }
  [[nodiscard]] bool blurPreviews() const { return flag(Property::blurPreviews); }
  [[nodiscard]] bool blurTextInput() const { return flag(Property::blurTextInput); }
  [[nodiscard]] bool blurNames() const { return flag(Property::blurNames); }
  [[nodiscard]] bool blurProfilePictures() const { return flag(Property::blurProfilePictures); }
  [[nodiscard]] bool blurMediaPreview() const { return flag(Property::blurMediaPreview); }
  [[nodiscard]] bool blurMediaGallery() const { return flag(Property::blurMediaGallery); }
  [[nodiscard]] bool usesAccessibility() const { return flag(Property::usesAccessibility); }
  /// "Cover lists while scrolling": a list whose patches cannot keep up with its scrolling is
  /// covered whole until they can. Velvix's own addition, on by default.
  [[nodiscard]] bool coversMovingLists() const { return flag(Property::coversMovingLists); }
  /// Whether precise mode blurs the calibrated areas when it recognises nothing of WhatsApp in
  /// what it reads. Velvix's own addition, on by default.
  [[nodiscard]] bool coversUnrecognised() const { return flag(Property::coversUnrecognised); }
  /// The key that covers all of WhatsApp until pressed again ("Ctrl+Alt+B"); empty for none.
  [[nodiscard]] const std::string& panicShortcut() const { return panicShortcut_; }
  /// Minutes without input after which all of WhatsApp is covered; 0 for never.
  [[nodiscard]] double idleMinutes() const { return idleMinutes_; }
  [[nodiscard]] BlurStrength blurStrength() const { return blurStrength_; }
  [[nodiscard]] const LayoutMetrics& metrics() const { return metrics_; }
  /// Whether the store holds measurements (else metrics() are the defaults, never set).
  [[nodiscard]] bool hasStoredMetrics() const { return hasStoredMetrics_; }
  [[nodiscard]] bool showsGuides() const { return showsGuides_; }

  /// The nine blur switches, field for field.
  [[nodiscard]] BlurOptions options() const;

  void setIsEnabled(bool value) { setFlag(Property::isEnabled, value); }
  void setUnblurLastMessages(bool value) { setFlag(Property::unblurLastMessages, value); }
  void setBlurMessages(bool value) { setFlag(Property::blurMessages, value); }
  void setBlurPreviews(bool value) { setFlag(Property::blurPreviews, value); }
  void setBlurTextInput(bool value) { setFlag(Property::blurTextInput, value); }
  void setBlurNames(bool value) { setFlag(Property::blurNames, value); }
  void setBlurProfilePictures(bool value) { setFlag(Property::blurProfilePictures, value); }
  void setBlurMediaPreview(bool value) { setFlag(Property::blurMediaPreview, value); }
  void setBlurMediaGallery(bool value) { setFlag(Property::blurMediaGallery, value); }
  void setUsesAccessibility(bool value) { setFlag(Property::usesAccessibility, value); }
  void setCoversMovingLists(bool value) { setFlag(Property::coversMovingLists, value); }
  void setCoversUnrecognised(bool value) { setFlag(Property::coversUnrecognised, value); }
  void setPanicShortcut(std::string_view value);
  /// A value that is negative or not finite is taken as 0.
  void setIdleMinutes(double value);
  void setBlurStrength(BlurStrength value);
  /// Writes the JSON record; a value that JSON cannot hold (not finite) removes the stored
  /// record instead, so the next launch starts from the defaults.
  void setMetrics(const LayoutMetrics& value);
  void setShowsGuides(bool value);

  /// Calls `onChange` after each real change of `property`. Observers may read and assign the
  /// settings and drop subscriptions (their own included) from inside the call.
  [[nodiscard]] platform::Subscription observe(Property property, std::function<void()> onChange);
  /// Calls `onChange` once after each real change of any of `properties`.
  [[nodiscard]] platform::Subscription observe(std::initializer_list<Property> properties,
                                               std::function<void()> onChange);
  [[nodiscard]] platform::Subscription observeOptions(std::function<void()> onChange);

 private:
  static constexpr std::size_t kFlagCount = 12;

  [[nodiscard]] bool flag(Property property) const {
    return flags_[static_cast<std::size_t>(property)];
  }
  void setFlag(Property property, bool value);
  [[nodiscard]] platform::Subscription subscribe(std::array<bool, kPropertyCount> properties,
                                                 std::function<void()> onChange);

  platform::Defaults& defaults_;
  std::array<bool, kFlagCount> flags_{};
  LayoutMetrics metrics_;
  bool hasStoredMetrics_ = false;
  bool showsGuides_ = false;
  std::string panicShortcut_;
  double idleMinutes_ = 0;
  BlurStrength blurStrength_ = BlurStrength::medium;
  platform::ObserverList<Property> observers_;  // told which property changed
};

}  // namespace velvix
