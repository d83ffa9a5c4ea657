#include <Velvix/AppSettings.hpp>

#include <Simulator/MemoryDefaults.hpp>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

namespace velvix {
namespace {

using platform::Defaults;
using Property = AppSettings::Property;

// A store as a launch finds it: a new AppSettings over the same store is the next launch.
struct CapturingSink final : platform::LogSink {
  void write(const platform::LogRecord& record) override { lines.push_back(record.text); }
  std::vector<std::string> lines;
};

// The persisted booleans: accessors, key and the default a new user sees.
struct Flag {
  const char* name;
  Property property;
  bool (AppSettings::*get)() const;
  void (AppSettings::*set)(bool);
  const char* key;
  bool fallback;
};

#define FLAG(name, Name, key, fallback) \
  { #name, Property::name, &AppSettings::name, &AppSettings::set##Name, key, fallback }
// The keys are the saved format and must never change.
const Flag kFlags[] = {
    FLAG(isEnabled, IsEnabled, "onOff", true),
    FLAG(unblurLastMessages, UnblurLastMessages, "unblurLast3Messages", true),
    FLAG(blurMessages, BlurMessages, "blurAllMessagesInChat", true),
    FLAG(blurPreviews, BlurPreviews, "blurLastMessagesPreview", true),
    FLAG(blurTextInput, BlurTextInput, "blurTextInput", false),
    FLAG(blurNames, BlurNames, "blurGroupUsersNames", false),
    FLAG(blurProfilePictures, BlurProfilePictures, "blurProfilePictures", false),
    FLAG(blurMediaPreview, BlurMediaPreview, "blurMediaPreview", false),
    FLAG(blurMediaGallery, BlurMediaGallery, "blurMediaGallery", false),
    FLAG(usesAccessibility, UsesAccessibility, "usesAccessibility", true),
    FLAG(coversMovingLists, CoversMovingLists, "coverMovingLists", true),
    FLAG(coversUnrecognised, CoversUnrecognised, "coverUnrecognised", true),
};
#undef FLAG

// Counts notifications per property.
struct Notifications {
  explicit Notifications(AppSettings& settings) {
    for (std::size_t i = 0; i < AppSettings::kPropertyCount; ++i)
      subscriptions.push_back(
          settings.observe(static_cast<Property>(i), [this, i] { ++counts[i]; }));
  }
  [[nodiscard]] int of(Property property) const {
    return counts[static_cast<std::size_t>(property)];
  }
  [[nodiscard]] int total() const { return std::accumulate(counts.begin(), counts.end(), 0); }
  std::array<int, AppSettings::kPropertyCount> counts{};
  std::vector<platform::Subscription> subscriptions;
};

TEST(AppSettings, EmptyStoreGivesTheNewUserDefaultsAndWritesNothing) {
  sim::MemoryDefaults store;
  const AppSettings settings(store);
  for (const Flag& flag : kFlags) {
    SCOPED_TRACE(flag.name);
    EXPECT_EQ((settings.*flag.get)(), flag.fallback);
  }
  EXPECT_EQ(settings.metrics(), LayoutMetrics::defaults);
  EXPECT_FALSE(settings.hasStoredMetrics());
  EXPECT_FALSE(settings.showsGuides());
  EXPECT_TRUE(store.writes().empty());
}

// Each boolean loads from its own key and only when it is a boolean (a value of another kind is
// told and left as it is); every assignment writes, a real change alone notifies, and the next
// launch reads it back.
TEST(AppSettings, EachBooleanLoadsAndSavesUnderItsOwnKey) {
  for (const Flag& flag : kFlags) {
    SCOPED_TRACE(flag.name);
    const std::function<void(sim::MemoryDefaults&)> unusable[] = {
        [&](auto& s) { s.setString(flag.key, flag.fallback ? "false" : "true"); },
        [&](auto& s) { s.setBytes(flag.key, "\x01"); },
        [&](auto& s) { s.setOther(flag.key, "a list"); }};
    for (const auto& put : unusable) {
      sim::MemoryDefaults store;
      put(store);
      store.clearWrites();
      CapturingSink log;
      const AppSettings settings(store, platform::Logger(log, "settings"));
      EXPECT_EQ((settings.*flag.get)(), flag.fallback);
      EXPECT_TRUE(store.writes().empty());
      ASSERT_EQ(log.lines.size(), 1u);
      EXPECT_NE(log.lines[0].find(flag.key), std::string::npos) << log.lines[0];
    }

    sim::MemoryDefaults store;
    AppSettings settings(store);
    const Notifications notifications(settings);
    (settings.*flag.set)(flag.fallback);
    EXPECT_EQ(store.writeCount(flag.key), 1u) << "unchanged values are written too";
    EXPECT_EQ(notifications.total(), 0);
    (settings.*flag.set)(!flag.fallback);
    EXPECT_EQ(store.writes().size(), 2u) << "no other key is written";
    EXPECT_EQ(store.object(flag.key), Defaults::Value(!flag.fallback));
    EXPECT_EQ(notifications.of(flag.property), 1);
    EXPECT_EQ(notifications.total(), 1);

    CapturingSink log;
    const AppSettings relaunched(store, platform::Logger(log, "settings"));
    EXPECT_TRUE(log.lines.empty());
    for (const Flag& other : kFlags)
      EXPECT_EQ((relaunched.*other.get)(), &other == &flag ? !flag.fallback : other.fallback)
          << other.name;
  }
}

TEST(AppSettings, MetricsAreWrittenWholeAndUnencodableOnesRemoveTheRecord) {
  sim::MemoryDefaults store;
  AppSettings settings(store);
  const Notifications notifications(settings);
  LayoutMetrics changed = LayoutMetrics::defaults;
  changed.avatarInset = 30.5;
  settings.setMetrics(changed);
  EXPECT_EQ(settings.metrics(), changed);
  EXPECT_TRUE(settings.hasStoredMetrics());
  EXPECT_EQ(notifications.of(Property::metrics), 1);
  EXPECT_EQ(notifications.total(), 1);
  const auto* bytes = std::get_if<Defaults::Bytes>(&store.contents().at("layoutMetrics"));
  ASSERT_TRUE(bytes);
  const nlohmann::json record = nlohmann::json::parse(bytes->data, nullptr, false);
  ASSERT_TRUE(record.is_object());
  EXPECT_EQ(record.size(), 10u);
  EXPECT_EQ(record.value("avatarInset", 0.0), 30.5);
  EXPECT_EQ(record.value("railWidth", 0.0), 220.0);
  settings.setMetrics(changed);
  EXPECT_EQ(store.writeCount("layoutMetrics"), 2u) << "the same value is written again";
  EXPECT_EQ(notifications.total(), 1);
  EXPECT_EQ(AppSettings(store).metrics(), changed);

  for (const double value :
       {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
        std::numeric_limits<double>::quiet_NaN()}) {
    SCOPED_TRACE(value);
    settings.setMetrics(changed);
    store.clearWrites();
    const int before = notifications.of(Property::metrics);
    LayoutMetrics broken = changed;
    broken.composerHeight = value;
    settings.setMetrics(broken);
    EXPECT_FALSE(store.contents().contains("layoutMetrics"));
    EXPECT_FALSE(settings.hasStoredMetrics());
    EXPECT_EQ(notifications.of(Property::metrics), before + 1);
    EXPECT_EQ(std::isnan(settings.metrics().composerHeight), std::isnan(value));
    settings.setMetrics(broken);  // the same value again is no change, NaN included
    EXPECT_EQ(store.writeCount("layoutMetrics"), 2u);
    EXPECT_EQ(notifications.of(Property::metrics), before + 1);
    EXPECT_EQ(AppSettings(store).metrics(), LayoutMetrics::defaults);
  }
}

TEST(AppSettings, MetricsLoadInFullOrNotAtAll) {
  LayoutMetrics custom;
  custom.chatListWidth = 400;
  const std::string customRecord = *custom.encoded();
  const auto edited = [&](const std::function<void(nlohmann::json&)>& edit) {
    nlohmann::json record = nlohmann::json::parse(customRecord);
    edit(record);
    return record.dump();
  };
  const auto replaced = [&](const char* by) {
    std::string record = customRecord;
    return record.replace(record.find("400"), 3, by);
  };
  LayoutMetrics extreme = custom;
  extreme.railWidth = 1e300;
  extreme.avatarSize = -5;
  const struct {
    const char* name;
    std::optional<std::string> bytes;
    const char* string;
    LayoutMetrics expected;
  } cases[] = {
      {"nothing stored", std::nullopt, nullptr, LayoutMetrics::defaults},
      {"empty data", std::string(), nullptr, LayoutMetrics::defaults},
      {"a full record", customRecord, nullptr, custom},
      {"unknown keys are ignored", edited([](auto& r) { r["theme"] = "dark"; }), nullptr, custom},
      {"a missing key is no partial merge", edited([](auto& r) { r.erase("revealBandHeight"); }),
       nullptr, LayoutMetrics::defaults},
      {"a field that is not a number", edited([](auto& r) { r["avatarSize"] = "48"; }), nullptr,
       LayoutMetrics::defaults},
      {"huge and negative numbers are still measurements", *extreme.encoded(), nullptr, extreme},
      {"a number beyond a double", replaced("1e999"), nullptr, LayoutMetrics::defaults},
      {"NaN is not JSON", replaced("NaN"), nullptr, LayoutMetrics::defaults},
      {"not JSON", std::string("{\"railWidth\": 2"), nullptr, LayoutMetrics::defaults},
      {"a string holding a record is not data", std::nullopt, customRecord.c_str(),
       LayoutMetrics::defaults},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::MemoryDefaults store;
    if (c.bytes) store.setBytes("layoutMetrics", *c.bytes);
    if (c.string) store.setString("layoutMetrics", c.string);
    const auto stored = store.contents();
    store.clearWrites();
    CapturingSink log;
    const AppSettings settings(store, platform::Logger(log, "settings"));
    EXPECT_EQ(settings.metrics(), c.expected);
    EXPECT_EQ(settings.hasStoredMetrics(), c.bytes && c.expected != LayoutMetrics::defaults);
    EXPECT_EQ(store.contents(), stored) << "a failed decode writes nothing";
    EXPECT_TRUE(store.writes().empty());
    const bool unusable = (c.bytes || c.string) && c.expected == LayoutMetrics::defaults;
    EXPECT_EQ(log.lines.size(), unusable ? 1u : 0u) << "only what is stored and unusable is told";
  }
}

// Velvix's settings of other kinds: each loads alone, falls back (and says so) on a value it
// cannot use, and an assignment is written, heard once and read back by the next launch.
TEST(AppSettings, ShortcutIdleTimeAndStrengthLoadAndSaveByKind) {
  using Stored = std::function<void(Defaults&)>;
  const auto text = [](const char* key, const char* value) -> Stored {
    return [=](Defaults& store) { store.setString(key, value); };
  };
  const auto number = [](const char* key, double value) -> Stored {
    return [=](Defaults& store) { store.setNumber(key, value); };
  };
  const auto shown = [](const AppSettings& settings) {
    return settings.panicShortcut() + " " + std::to_string(settings.idleMinutes()) + " " +
           std::string(name(settings.blurStrength()));
  };
  const struct {
    const char* name;
    Stored stored;
    std::string expected;
    bool logged;
  } cases[] = {
      {"nothing stored", [](Defaults&) {}, "Ctrl+Alt+B 0.000000 medium", false},
      {"a shortcut", text("panicShortcut", "Ctrl+Shift+H"), "Ctrl+Shift+H 0.000000 medium", false},
      {"no shortcut", text("panicShortcut", ""), " 0.000000 medium", false},
      {"a shortcut of another kind", number("panicShortcut", 5), "Ctrl+Alt+B 0.000000 medium",
       true},
      {"idle minutes", number("idleMinutes", 2.5), "Ctrl+Alt+B 2.500000 medium", false},
      {"negative minutes", number("idleMinutes", -3), "Ctrl+Alt+B 0.000000 medium", true},
      {"minutes as text", text("idleMinutes", "5"), "Ctrl+Alt+B 0.000000 medium", true},
      {"a strength", text("blurStrength", "strong"), "Ctrl+Alt+B 0.000000 strong", false},
      {"a strength misspelt", text("blurStrength", "Strong"), "Ctrl+Alt+B 0.000000 medium", true},
      {"a strength of another kind", [](Defaults& store) { store.setBool("blurStrength", true); },
       "Ctrl+Alt+B 0.000000 medium", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::MemoryDefaults store;
    c.stored(store);
    CapturingSink log;
    const AppSettings settings(store, platform::Logger(log, "settings"));
    EXPECT_EQ(shown(settings), c.expected);
    EXPECT_EQ(log.lines.size(), c.logged ? 1u : 0u);
  }

  sim::MemoryDefaults store;
  AppSettings settings(store);
  const Notifications notifications(settings);
  settings.setPanicShortcut("Ctrl+Alt+P");
  settings.setIdleMinutes(5);
  settings.setBlurStrength(BlurStrength::light);
  settings.setBlurStrength(BlurStrength::light);
  settings.setIdleMinutes(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(notifications.of(Property::panicShortcut), 1);
  EXPECT_EQ(notifications.of(Property::idleMinutes), 2);
  EXPECT_EQ(notifications.of(Property::blurStrength), 1);
  EXPECT_EQ(store.writes().size(), 5u);
  EXPECT_EQ(shown(AppSettings(store)), "Ctrl+Alt+P 0.000000 light");
}

TEST(AppSettings, ShowsGuidesIsNeverPersisted) {
  sim::MemoryDefaults store;
  AppSettings settings(store);
  const Notifications notifications(settings);
  settings.setShowsGuides(true);
  settings.setShowsGuides(true);
  EXPECT_TRUE(settings.showsGuides());
  EXPECT_EQ(notifications.of(Property::showsGuides), 1);
  EXPECT_EQ(notifications.total(), 1);
  EXPECT_TRUE(store.writes().empty());
  EXPECT_FALSE(AppSettings(store).showsGuides());
}

// Options observers hear the nine blur switches and nothing else; each switch reaches its own
// field of the options.
TEST(AppSettingsObservation, OptionsObserversHearTheNineBlurSwitchesOnly) {
  sim::MemoryDefaults store;
  AppSettings settings(store);
  int calls = 0;
  const auto subscription = settings.observeOptions([&] { ++calls; });
  const auto fields = [](const BlurOptions& o) {
    return std::vector<bool>{o.isEnabled,           o.unblurLastMessages, o.blurMessages,
                             o.blurPreviews,        o.blurTextInput,      o.blurNames,
                             o.blurProfilePictures, o.blurMediaPreview,   o.blurMediaGallery};
  };
  for (std::size_t i = 0; i < std::size(kFlags); ++i) {
    const Flag& flag = kFlags[i];
    SCOPED_TRACE(flag.name);
    const int before = calls;
    const auto options = fields(settings.options());
    (settings.*flag.set)(!(settings.*flag.get)());
    const bool inOptions = i < 9;
    EXPECT_EQ(calls - before, inOptions ? 1 : 0);
    auto expected = options;
    if (inOptions) expected[i] = !expected[i];
    EXPECT_EQ(fields(settings.options()), expected);
  }
  LayoutMetrics metrics;
  metrics.railWidth = 1;
  settings.setMetrics(metrics);
  settings.setShowsGuides(true);
  EXPECT_EQ(calls, 9);
}

// Observers see the new value already stored and written, may assign from inside their call,
// and one watching several properties is called once per change.
TEST(AppSettingsObservation, ObserversSeeTheNewValueAndMayAssignFromInsideTheirCall) {
  sim::MemoryDefaults store;
  AppSettings settings(store);
  std::vector<std::string> order;
  const auto names = settings.observe(Property::blurNames, [&] {
    EXPECT_TRUE(settings.blurNames());
    EXPECT_EQ(store.object("blurGroupUsersNames"), Defaults::Value(true));
    order.emplace_back("names");
  });
  // Switching protection off also turns the guides off, as a control bound to both might.
  const auto onOff = settings.observe(Property::isEnabled, [&] {
    order.emplace_back("isEnabled");
    settings.setShowsGuides(false);
  });
  const auto guides = settings.observe(Property::showsGuides, [&] {
    order.push_back(settings.showsGuides() ? "guides on" : "guides off");
  });
  int several = 0;
  const auto both =
      settings.observe({Property::blurNames, Property::usesAccessibility}, [&] { ++several; });
  settings.setBlurNames(true);
  settings.setShowsGuides(true);
  settings.setIsEnabled(false);
  settings.setUsesAccessibility(false);
  settings.setBlurTextInput(true);
  EXPECT_EQ(order, (std::vector<std::string>{"names", "guides on", "isEnabled", "guides off"}));
  EXPECT_FALSE(settings.showsGuides());
  EXPECT_EQ(several, 2);
}

}  // namespace
}  // namespace velvix
