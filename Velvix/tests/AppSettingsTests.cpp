#include <Velvix/AppSettings.hpp>

#include <Backends/Files/FileDefaults.hpp>
#include <Simulator/MemoryDefaults.hpp>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace velvix {
namespace {

using platform::Defaults;
using Property = AppSettings::Property;

// ---------------------------------------------------------------------------------------------
// The stores under test. Each stands for what a launch of the app finds: `relaunch()` is a new
// process starting over the same persisted state.

struct DiscardingSink final : platform::LogSink {
  void write(const platform::LogRecord&) override {}
};

struct CapturingSink final : platform::LogSink {
  void write(const platform::LogRecord& record) override { lines.push_back(record.text); }
  std::vector<std::string> lines;
};

class MemoryStore {
 public:
  Defaults& store() { return store_; }
  void relaunch() {}
  void putString(std::string_view key, std::string_view text) {
    store_.setOther(key, std::string(text));
  }
  [[nodiscard]] std::size_t writeCount(std::string_view key) const {
    return store_.writeCount(key);
  }
  [[nodiscard]] std::size_t totalWrites() const { return store_.writes().size(); }

 private:
  sim::MemoryDefaults store_;
};

// Counts what goes through the port on its way to the file store.
class CountingDefaults final : public Defaults {
 public:
  explicit CountingDefaults(Defaults& inner) : inner_(inner) {}
  [[nodiscard]] Value object(std::string_view key) const override { return inner_.object(key); }
  void setBool(std::string_view key, bool value) override {
    ++writes[std::string(key)];
    inner_.setBool(key, value);
  }
  void setBytes(std::string_view key, std::string_view data) override {
    ++writes[std::string(key)];
    inner_.setBytes(key, data);
  }
  void setNumber(std::string_view key, double value) override {
    ++writes[std::string(key)];
    inner_.setNumber(key, value);
  }
  void setString(std::string_view key, std::string_view value) override {
    ++writes[std::string(key)];
    inner_.setString(key, value);
  }
  void remove(std::string_view key) override {
    ++writes[std::string(key)];
    inner_.remove(key);
  }
  std::map<std::string, std::size_t, std::less<>> writes;

 private:
  Defaults& inner_;
};

class FileStore {
 public:
  FileStore() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velvix-settings-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    folder_ = pattern;
    relaunch();
  }
  FileStore(const FileStore&) = delete;
  FileStore& operator=(const FileStore&) = delete;
  ~FileStore() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  Defaults& store() { return *counting_; }
  void relaunch() {
    std::map<std::string, std::size_t, std::less<>> writes;
    if (counting_) writes = counting_->writes;
    counting_.reset();
    file_ = std::make_unique<files::FileDefaults>(folder_, "app.velvix.Velvix",
                                                  platform::Logger(sink_, "settings"));
    counting_ = std::make_unique<CountingDefaults>(*file_);
    counting_->writes = std::move(writes);
  }
  // Edits the document as a user would, then relaunches so the store sees it.
  void putString(std::string_view key, std::string_view text) {
    nlohmann::json document = nlohmann::json::object();
    if (std::ifstream in(file_->file()); in) document = nlohmann::json::parse(in);
    document[std::string(key)] = std::string(text);
    std::ofstream(file_->file()) << document.dump();
    relaunch();
  }
  [[nodiscard]] std::size_t writeCount(std::string_view key) const {
    const auto it = counting_->writes.find(key);
    return it == counting_->writes.end() ? 0 : it->second;
  }
  [[nodiscard]] std::size_t totalWrites() const {
    std::size_t total = 0;
    for (const auto& [key, count] : counting_->writes)
      total += count;
    return total;
  }

 private:
  std::filesystem::path folder_;
  DiscardingSink sink_;
  std::unique_ptr<files::FileDefaults> file_;
  std::unique_ptr<CountingDefaults> counting_;
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

const Flag kFlags[] = {
    {"isEnabled", Property::isEnabled, &AppSettings::isEnabled, &AppSettings::setIsEnabled, "onOff",
     true},
    {"unblurLastMessages", Property::unblurLastMessages, &AppSettings::unblurLastMessages,
     &AppSettings::setUnblurLastMessages, "unblurLast3Messages", true},
    {"blurMessages", Property::blurMessages, &AppSettings::blurMessages,
     &AppSettings::setBlurMessages, "blurAllMessagesInChat", true},
    {"blurPreviews", Property::blurPreviews, &AppSettings::blurPreviews,
     &AppSettings::setBlurPreviews, "blurLastMessagesPreview", true},
    {"blurTextInput", Property::blurTextInput, &AppSettings::blurTextInput,
     &AppSettings::setBlurTextInput, "blurTextInput", false},
    {"blurNames", Property::blurNames, &AppSettings::blurNames, &AppSettings::setBlurNames,
     "blurGroupUsersNames", false},
    {"blurProfilePictures", Property::blurProfilePictures, &AppSettings::blurProfilePictures,
     &AppSettings::setBlurProfilePictures, "blurProfilePictures", false},
    {"blurMediaPreview", Property::blurMediaPreview, &AppSettings::blurMediaPreview,
     &AppSettings::setBlurMediaPreview, "blurMediaPreview", false},
    {"blurMediaGallery", Property::blurMediaGallery, &AppSettings::blurMediaGallery,
     &AppSettings::setBlurMediaGallery, "blurMediaGallery", false},
    {"usesAccessibility", Property::usesAccessibility, &AppSettings::usesAccessibility,
     &AppSettings::setUsesAccessibility, "usesAccessibility", true},
    {"coversMovingLists", Property::coversMovingLists, &AppSettings::coversMovingLists,
     &AppSettings::setCoversMovingLists, "coverMovingLists", true},
    {"coversUnrecognised", Property::coversUnrecognised, &AppSettings::coversUnrecognised,
     &AppSettings::setCoversUnrecognised, "coverUnrecognised", true},
};

const char* const kAllKeys[] = {
    "onOff",
    "unblurLast3Messages",
    "blurAllMessagesInChat",
    "blurLastMessagesPreview",
    "blurTextInput",
    "blurGroupUsersNames",
    "blurProfilePictures",
    "blurMediaPreview",
    "blurMediaGallery",
    "usesAccessibility",
    "coverMovingLists",
    "coverUnrecognised",
    "layoutMetrics",
    "panicShortcut",
    "idleMinutes",
    "blurStrength",
};

}  // namespace
}  // namespace velvix

namespace velvix::platform {
// Readable failures: "bool true" rather than the variant's bytes.
inline void PrintTo(const Defaults::Value& value, std::ostream* os) {
  if (std::holds_alternative<std::monostate>(value)) *os << "absent";
  if (const bool* b = std::get_if<bool>(&value)) *os << "bool " << (*b ? "true" : "false");
  if (const auto* bytes = std::get_if<Defaults::Bytes>(&value)) {
    *os << "bytes \"" << bytes->data << '"';
  }
  if (const auto* other = std::get_if<Defaults::Other>(&value))
    *os << "other " << other->description;
}
}  // namespace velvix::platform

namespace velvix {
namespace {

std::map<std::string, Defaults::Value> everything(const Defaults& store) {
  std::map<std::string, Defaults::Value> values;
  for (const char* key : kAllKeys)
    values[key] = store.object(key);
  return values;
}

// Counts notifications per property.
struct Notifications {
  explicit Notifications(AppSettings& settings) {
    for (std::size_t i = 0; i < AppSettings::kPropertyCount; ++i) {
      subscriptions.push_back(
          settings.observe(static_cast<Property>(i), [this, i] { ++counts[i]; }));
    }
  }
  [[nodiscard]] int of(Property property) const {
    return counts[static_cast<std::size_t>(property)];
  }
  [[nodiscard]] int total() const {
    int sum = 0;
    for (const int count : counts)
      sum += count;
    return sum;
  }
  std::array<int, AppSettings::kPropertyCount> counts{};
  std::vector<platform::Subscription> subscriptions;
};

std::string storedBytes(const Defaults& store, std::string_view key) {
  const auto value = store.object(key);
  const auto* bytes = std::get_if<Defaults::Bytes>(&value);
  return bytes != nullptr ? bytes->data : "<not bytes>";
}

// ---------------------------------------------------------------------------------------------
// The settings' behaviour, against the in-memory store and the real file store alike.

template <typename Store>
class AppSettingsOverStore : public ::testing::Test {};

using Stores = ::testing::Types<MemoryStore, FileStore>;
TYPED_TEST_SUITE(AppSettingsOverStore, Stores);

TYPED_TEST(AppSettingsOverStore, EmptyStoreGivesTheNewUserDefaultsAndWritesNothing) {
  TypeParam harness;
  const AppSettings settings(harness.store());

  for (const Flag& flag : kFlags) {
    SCOPED_TRACE(flag.name);
    EXPECT_EQ((settings.*flag.get)(), flag.fallback);
  }
  EXPECT_EQ(settings.metrics(), LayoutMetrics::defaults);
  EXPECT_FALSE(settings.showsGuides());
  const BlurOptions expected{.isEnabled = true,
                             .unblurLastMessages = true,
                             .blurMessages = true,
                             .blurPreviews = true,
                             .blurTextInput = false,
                             .blurNames = false,
                             .blurProfilePictures = false,
                             .blurMediaPreview = false,
                             .blurMediaGallery = false};
  EXPECT_EQ(settings.options(), expected);
  EXPECT_EQ(harness.totalWrites(), 0u);
}

TYPED_TEST(AppSettingsOverStore, EachBooleanLoadsFromItsOwnKeyAndOnlyWhenItIsABoolean) {
  for (const Flag& flag : kFlags) {
    SCOPED_TRACE(flag.name);
    {
      SCOPED_TRACE("a stored boolean is taken");
      TypeParam harness;
      harness.store().setBool(flag.key, !flag.fallback);
      harness.relaunch();
      CapturingSink log;
      const AppSettings settings(harness.store(), platform::Logger(log, "settings"));
      EXPECT_EQ((settings.*flag.get)(), !flag.fallback);
      EXPECT_EQ(log.lines, std::vector<std::string>());
      for (const Flag& other : kFlags) {
        if (&other != &flag) {
          EXPECT_EQ((settings.*other.get)(), other.fallback) << other.name;
        }
      }
    }
    {
      SCOPED_TRACE("a string is ignored for the default and left as it is");
      TypeParam harness;
      harness.putString(flag.key, flag.fallback ? "false" : "true");
      const auto before = everything(harness.store());
      CapturingSink log;
      const AppSettings settings(harness.store(), platform::Logger(log, "settings"));
      EXPECT_EQ((settings.*flag.get)(), flag.fallback);
      EXPECT_EQ(everything(harness.store()), before);
      ASSERT_EQ(log.lines.size(), 1u);
      EXPECT_NE(log.lines[0].find(flag.key), std::string::npos) << log.lines[0];
    }
    {
      SCOPED_TRACE("byte data is ignored for the default");
      TypeParam harness;
      harness.store().setBytes(flag.key, "\x01");
      harness.relaunch();
      const AppSettings settings(harness.store());
      EXPECT_EQ((settings.*flag.get)(), flag.fallback);
    }
  }
}

TYPED_TEST(AppSettingsOverStore, EveryAssignmentWritesButOnlyARealChangeNotifies) {
  for (const Flag& flag : kFlags) {
    SCOPED_TRACE(flag.name);
    TypeParam harness;
    AppSettings settings(harness.store());
    const Notifications notifications(settings);

    (settings.*flag.set)(flag.fallback);
    EXPECT_EQ(harness.writeCount(flag.key), 1u) << "unchanged values are written too";
    EXPECT_EQ(harness.store().object(flag.key), Defaults::Value(flag.fallback));
    EXPECT_EQ(notifications.total(), 0);

    (settings.*flag.set)(!flag.fallback);
    EXPECT_EQ(harness.writeCount(flag.key), 2u);
    EXPECT_EQ(harness.totalWrites(), 2u) << "no other key is written";
    EXPECT_EQ(harness.store().object(flag.key), Defaults::Value(!flag.fallback));
    EXPECT_EQ(notifications.of(flag.property), 1);
    EXPECT_EQ(notifications.total(), 1);

    harness.relaunch();
    const AppSettings relaunched(harness.store());
    EXPECT_EQ((relaunched.*flag.get)(), !flag.fallback);
  }
}

TYPED_TEST(AppSettingsOverStore, MetricsWithOneChangedFieldWriteTheWholeRecord) {
  TypeParam harness;
  AppSettings settings(harness.store());
  const Notifications notifications(settings);
  LayoutMetrics changed = LayoutMetrics::defaults;
  changed.avatarInset = 30.5;

  settings.setMetrics(changed);
  EXPECT_EQ(settings.metrics(), changed);
  EXPECT_EQ(notifications.of(Property::metrics), 1);
  EXPECT_EQ(notifications.total(), 1);
  const nlohmann::json record =
      nlohmann::json::parse(storedBytes(harness.store(), "layoutMetrics"), nullptr, false);
  ASSERT_TRUE(record.is_object());
  EXPECT_EQ(record.size(), 10u);
  EXPECT_EQ(record.value("avatarInset", 0.0), 30.5);
  EXPECT_EQ(record.value("railWidth", 0.0), 220.0);

  settings.setMetrics(changed);
  EXPECT_EQ(harness.writeCount("layoutMetrics"), 2u) << "the same value is written again";
  EXPECT_EQ(notifications.total(), 1);

  harness.relaunch();
  EXPECT_EQ(AppSettings(harness.store()).metrics(), changed);
}

TYPED_TEST(AppSettingsOverStore, MetricsLoadInFullOrNotAtAll) {
  LayoutMetrics custom;
  custom.chatListWidth = 400;
  const std::string customRecord = *custom.encoded();
  nlohmann::json withoutBandHeight = nlohmann::json::parse(customRecord);
  withoutBandHeight.erase("revealBandHeight");
  nlohmann::json withExtraKey = nlohmann::json::parse(customRecord);
  withExtraKey["theme"] = "dark";
  nlohmann::json withStringField = nlohmann::json::parse(customRecord);
  withStringField["avatarSize"] = "48";
  LayoutMetrics extreme = custom;
  extreme.railWidth = 1e300;
  extreme.avatarSize = -5;
  std::string beyondDouble = customRecord;
  beyondDouble.replace(beyondDouble.find("400"), 3, "1e999");
  std::string nanField = customRecord;
  nanField.replace(nanField.find("400"), 3, "NaN");

  const struct {
    const char* name;
    std::optional<std::string> bytes;
    const char* string;
    LayoutMetrics expected;
  } cases[] = {
      {"nothing stored", std::nullopt, nullptr, LayoutMetrics::defaults},
      {"empty data", std::string(), nullptr, LayoutMetrics::defaults},
      {"a full record", customRecord, nullptr, custom},
      {"unknown keys are ignored", withExtraKey.dump(), nullptr, custom},
      {"a missing key is no partial merge", withoutBandHeight.dump(), nullptr,
       LayoutMetrics::defaults},
      {"a field that is not a number", withStringField.dump(), nullptr, LayoutMetrics::defaults},
      {"huge and negative numbers are still measurements", *extreme.encoded(), nullptr, extreme},
      {"a number beyond a double", beyondDouble, nullptr, LayoutMetrics::defaults},
      {"NaN is not JSON", nanField, nullptr, LayoutMetrics::defaults},
      {"not JSON", std::string("{\"railWidth\": 2"), nullptr, LayoutMetrics::defaults},
      {"a string holding a record is not data", std::nullopt, customRecord.c_str(),
       LayoutMetrics::defaults},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TypeParam harness;
    if (c.bytes) harness.store().setBytes("layoutMetrics", *c.bytes);
    if (c.string) harness.putString("layoutMetrics", c.string);
    harness.relaunch();
    const auto stored = harness.store().object("layoutMetrics");
    const std::size_t writes = harness.totalWrites();

    CapturingSink log;
    const AppSettings settings(harness.store(), platform::Logger(log, "settings"));
    EXPECT_EQ(settings.metrics(), c.expected);
    EXPECT_EQ(harness.store().object("layoutMetrics"), stored) << "a failed decode writes nothing";
    EXPECT_EQ(harness.totalWrites(), writes);
    const bool unusable = (c.bytes || c.string) && c.expected == LayoutMetrics::defaults;
    EXPECT_EQ(log.lines.size(), unusable ? 1u : 0u) << "only what is stored and unusable is told";
  }
}

TYPED_TEST(AppSettingsOverStore, UnencodableMetricsRemoveTheRecord) {
  const double nonFinite[] = {std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN()};
  for (const double value : nonFinite) {
    SCOPED_TRACE(value);
    TypeParam harness;
    AppSettings settings(harness.store());
    LayoutMetrics saved;
    saved.railWidth = 300;
    settings.setMetrics(saved);
    ASSERT_TRUE(std::holds_alternative<Defaults::Bytes>(harness.store().object("layoutMetrics")));

    const Notifications notifications(settings);
    LayoutMetrics broken = saved;
    broken.composerHeight = value;
    settings.setMetrics(broken);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(harness.store().object("layoutMetrics")));
    EXPECT_EQ(harness.writeCount("layoutMetrics"), 2u);
    EXPECT_EQ(notifications.of(Property::metrics), 1);
    EXPECT_EQ(std::isnan(settings.metrics().composerHeight), std::isnan(value));

    // The same value again is no change, NaN included.
    settings.setMetrics(broken);
    EXPECT_EQ(harness.writeCount("layoutMetrics"), 3u);
    EXPECT_EQ(notifications.of(Property::metrics), 1);

    harness.relaunch();
    EXPECT_EQ(AppSettings(harness.store()).metrics(), LayoutMetrics::defaults);
  }
}

// Velvix's settings of other kinds: each loads alone, falls back (and says so) on a value it
// cannot use, and an assignment is written, heard once and read back by the next launch.
TYPED_TEST(AppSettingsOverStore, ShortcutIdleTimeAndStrengthLoadAndSaveByKind) {
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
    TypeParam harness;
    c.stored(harness.store());
    harness.relaunch();
    CapturingSink log;
    const AppSettings settings(harness.store(), platform::Logger(log, "settings"));
    EXPECT_EQ(shown(settings), c.expected);
    EXPECT_EQ(log.lines.size(), c.logged ? 1u : 0u);
  }

  TypeParam harness;
  AppSettings settings(harness.store());
  const Notifications notifications(settings);
  settings.setPanicShortcut("Ctrl+Alt+P");
  settings.setIdleMinutes(5);
  settings.setBlurStrength(BlurStrength::light);
  settings.setBlurStrength(BlurStrength::light);
  settings.setIdleMinutes(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(notifications.of(Property::panicShortcut), 1);
  EXPECT_EQ(notifications.of(Property::idleMinutes), 2);
  EXPECT_EQ(notifications.of(Property::blurStrength), 1);
  EXPECT_EQ(harness.totalWrites(), 5u);
  harness.relaunch();
  EXPECT_EQ(shown(AppSettings(harness.store())), "Ctrl+Alt+P 0.000000 light");
}

TYPED_TEST(AppSettingsOverStore, ShowsGuidesIsNeverPersisted) {
  TypeParam harness;
  {
    AppSettings settings(harness.store());
    settings.setBlurNames(true);
    const auto before = everything(harness.store());
    const std::size_t writes = harness.totalWrites();
    const Notifications notifications(settings);

    settings.setShowsGuides(true);
    EXPECT_TRUE(settings.showsGuides());
    EXPECT_EQ(notifications.of(Property::showsGuides), 1);
    settings.setShowsGuides(true);
    EXPECT_EQ(notifications.of(Property::showsGuides), 1);
    EXPECT_EQ(notifications.total(), 1);
    EXPECT_EQ(harness.totalWrites(), writes);
    EXPECT_EQ(everything(harness.store()), before);
  }
  harness.relaunch();
  const AppSettings relaunched(harness.store());
  EXPECT_FALSE(relaunched.showsGuides());
  EXPECT_TRUE(relaunched.blurNames());
}

// ---------------------------------------------------------------------------------------------
// Observation.

TEST(AppSettingsObservation, OptionsObserversHearTheNineBlurSwitchesOnly) {
  sim::MemoryDefaults store;
  AppSettings settings(store);
  int calls = 0;
  const auto subscription = settings.observeOptions([&] { ++calls; });

  for (const Flag& flag : kFlags) {
    SCOPED_TRACE(flag.name);
    const int before = calls;
    (settings.*flag.set)(!(settings.*flag.get)());
    const bool inOptions = flag.property != Property::usesAccessibility &&
                           flag.property != Property::coversMovingLists &&
                           flag.property != Property::coversUnrecognised;
    EXPECT_EQ(calls - before, inOptions ? 1 : 0);
  }
  LayoutMetrics metrics;
  metrics.railWidth = 1;
  settings.setMetrics(metrics);
  settings.setShowsGuides(true);
  EXPECT_EQ(calls, 9);
}

TEST(AppSettingsObservation, ObserversSeeTheNewValueAlreadyStoredAndWritten) {
  sim::MemoryDefaults store;
  AppSettings settings(store);
  std::vector<std::pair<bool, Defaults::Value>> seen;
  const auto subscription = settings.observe(Property::blurNames, [&] {
    seen.emplace_back(settings.blurNames(), store.object("blurGroupUsersNames"));
  });
  settings.setBlurNames(true);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(seen[0].first);
  EXPECT_EQ(seen[0].second, Defaults::Value(true));
}

TEST(AppSettingsObservation, ObserversMayAssignFromInsideTheirCall) {
  sim::MemoryDefaults store;
  AppSettings settings(store);
  std::vector<std::string> order;
  // Switching protection off also turns the guides off, as a control bound to both might.
  const auto onOff = settings.observe(Property::isEnabled, [&] {
    order.emplace_back("isEnabled");
    settings.setShowsGuides(false);
  });
  const auto guides = settings.observe(Property::showsGuides, [&] {
    order.push_back(settings.showsGuides() ? "guides on" : "guides off");
  });
  settings.setShowsGuides(true);
  settings.setIsEnabled(false);
  EXPECT_EQ(order, (std::vector<std::string>{"guides on", "isEnabled", "guides off"}));
  EXPECT_FALSE(settings.showsGuides());
}

TEST(AppSettingsObservation, AMultiPropertyObserverIsCalledOncePerChange) {
  sim::MemoryDefaults store;
  AppSettings settings(store);
  int calls = 0;
  const auto subscription =
      settings.observe({Property::blurNames, Property::usesAccessibility}, [&] { ++calls; });
  settings.setBlurNames(true);
  settings.setUsesAccessibility(false);
  settings.setBlurTextInput(true);
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace velvix
