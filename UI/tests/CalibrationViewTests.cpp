#include "Labels.hpp"
#include "UiHarness.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace velvix::test {
namespace {

class CalibrationView : public ::testing::Test {
 protected:
  QQuickWindow& open() {
    window = ui.open("CalibrationWindow.qml");
    if (!window) throw std::runtime_error("no calibration window");
    return *window;
  }
  QQuickItem* item(const char* name) { return find(*window, QString::fromUtf8(name)); }
  QQuickItem* partOf(const char* row, const char* part) { return find(*item(row), part); }
  QString valueText(const char* row) { return partOf(row, "value")->property("text").toString(); }
  double slider(const char* row, const char* property) {
    return partOf(row, "slider")->property(property).toDouble();
  }
  QQuickItem* toggle(const char* row) {
    return item(row)->property("control").value<QQuickItem*>();
  }

  UiHarness ui;
  std::unique_ptr<QQuickWindow> window;
};

struct MeasurementRowSpec {
  const char* name;
  const char* section;
  const char* title;
  double LayoutMetrics::*field;
  double from;
  double to;
};
constexpr MeasurementRowSpec kRows[] = {
    {"railWidth", "columns", "Left icon bar width", &LayoutMetrics::railWidth, 0, 120},
    {"chatListWidth", "columns", "Chat list width", &LayoutMetrics::chatListWidth, 200, 700},
    {"chatListHeaderHeight", "columns", "Chat list header height",
     &LayoutMetrics::chatListHeaderHeight, 40, 220},
    {"avatarSize", "columns", "Profile picture size", &LayoutMetrics::avatarSize, 24, 72},
    {"conversationHeaderHeight", "conversation", "Header height",
     &LayoutMetrics::conversationHeaderHeight, 30, 120},
    {"composerHeight", "conversation", "Message field height", &LayoutMetrics::composerHeight, 30,
     140},
    {"composerSideInset", "conversation", "Message field side margin",
     &LayoutMetrics::composerSideInset, 0, 200},
    {"lastMessagesHeight", "conversation", "Space kept for last 3 messages",
     &LayoutMetrics::lastMessagesHeight, 60, 400},
    {"revealBandHeight", "conversation", "Reveal strip height", &LayoutMetrics::revealBandHeight,
     30, 240},
};

TEST_F(CalibrationView, IsAFixedWindowOfMeasurementRowsWithTheirRangesAndSections) {
  open();
  EXPECT_EQ(window->width(), 460);
  EXPECT_EQ(window->height(), std::ceil(item("calibrationView")->implicitHeight()));
  EXPECT_EQ(window->minimumHeight(), window->maximumHeight()) << "fixed vertically";
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    QQuickItem* row = find(*item(r.section), QString::fromUtf8(r.name));
    ASSERT_TRUE(row) << "in its section";
    EXPECT_EQ(row->property("title").toString(), QString::fromUtf8(r.title));
    // The range, widened to take in the stored value (the default rail width lies beyond it).
    const double stored = LayoutMetrics::defaults.*r.field;
    EXPECT_EQ(slider(r.name, "from"), std::min(r.from, stored));
    EXPECT_EQ(slider(r.name, "to"), std::max(r.to, stored));
    EXPECT_EQ(slider(r.name, "stepSize"), 1);
  }
  EXPECT_EQ(partOf("columns", "header")->property("text").toString(), "Columns");
  EXPECT_EQ(partOf("conversation", "header")->property("text").toString(), "Conversation");
  EXPECT_FALSE(item("avatarInset")) << "avatarInset has no control";
}

TEST_F(CalibrationView, ValuesOutsideTheirRangeWidenItAndAreNeverClamped) {
  // The default rail width (220) lies beyond its slider's range (0 to 120); a side margin of
  // -5 below its own. Opening writes nothing; each slider shows its value where it is, so its
  // first touch moves from there.
  LayoutMetrics stored = LayoutMetrics::defaults;
  stored.composerSideInset = -5;
  ui.settings.setMetrics(stored);
  ui.defaults.clearWrites();
  open();
  EXPECT_EQ(ui.settings.metrics(), stored);
  EXPECT_EQ(ui.defaults.writeCount("layoutMetrics"), 0U);
  EXPECT_EQ(valueText("railWidth"), "220 pt");
  EXPECT_EQ(slider("railWidth", "value"), 220);
  EXPECT_EQ(slider("railWidth", "position"), 1);
  EXPECT_EQ(slider("composerSideInset", "from"), -5);
  EXPECT_EQ(slider("composerSideInset", "position"), 0);

  // Back within the range, it is the range again.
  stored.railWidth = 80;
  ui.settings.setMetrics(stored);
  settle();
  EXPECT_EQ(slider("railWidth", "to"), 120);
}

TEST_F(CalibrationView, MovingASliderWritesItsFieldAtOnce) {
  open();
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    ui.settings.setMetrics(LayoutMetrics::defaults);
    settle();
    click(*partOf(r.name, "slider"), 0.5);
    const double value = ui.settings.metrics().*r.field;
    // Half way along the track, which takes in the default.
    const double from = std::min(r.from, LayoutMetrics::defaults.*r.field);
    const double to = std::max(r.to, LayoutMetrics::defaults.*r.field);
    EXPECT_EQ(value, std::round(value)) << "steps of one point";
    EXPECT_NEAR(value, (from + to) / 2, (to - from) * 0.1);
    EXPECT_EQ(valueText(r.name), QString::fromStdString(labels::points(value)));
    LayoutMetrics others = LayoutMetrics::defaults;
    others.*r.field = value;
    EXPECT_EQ(ui.settings.metrics(), others) << "only this field changed";
  }
}

TEST_F(CalibrationView, ResetRestoresAllTenMeasurementsThroughTheSetter) {
  LayoutMetrics changed;
  for (const auto& r : kRows)
    changed.*r.field = r.from + 3;
  changed.avatarInset = 7;
  ui.settings.setMetrics(changed);
  open();
  EXPECT_EQ(valueText("avatarSize"), "27 pt");

  int notified = 0;
  const auto subscription =
      ui.settings.observe(AppSettings::Property::metrics, [&] { ++notified; });
  ui.defaults.clearWrites();
  click(*item("reset"));
  EXPECT_EQ(ui.settings.metrics(), LayoutMetrics::defaults);
  EXPECT_EQ(notified, 1);
  EXPECT_EQ(ui.defaults.writeCount("layoutMetrics"), 1U) << "stored like any other change";
  for (const auto& r : kRows) {
    EXPECT_EQ(valueText(r.name),
              QString::fromStdString(labels::points(LayoutMetrics::defaults.*r.field)))
        << r.name;
  }
}

TEST_F(CalibrationView, TogglesShowAndWriteTheirSettings) {
  open();
  const struct {
    const char* name;
    bool (AppSettings::*get)() const;
    void (AppSettings::*set)(bool);
  } rows[] = {
      {"showsGuides", &AppSettings::showsGuides, &AppSettings::setShowsGuides},
      {"usesAccessibility", &AppSettings::usesAccessibility, &AppSettings::setUsesAccessibility},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    (ui.settings.*r.set)(false);
    EXPECT_FALSE(toggle(r.name)->property("checked").toBool());
    click(*toggle(r.name));
    EXPECT_TRUE((ui.settings.*r.get)());
    (ui.settings.*r.set)(false);
    EXPECT_FALSE(toggle(r.name)->property("checked").toBool()) << "still follows after the flip";
  }
}

TEST_F(CalibrationView, TheGrantButtonShowsOnlyWithoutAccess) {
  open();
  QQuickItem* grant = item("grantAccess");
  EXPECT_TRUE(shown(grant));
  EXPECT_EQ(grant->property("text").toString(), "Grant Accessibility access…");
  click(*grant);
  EXPECT_EQ(ui.status.prompts, 1);

  const qreal heightWithout = item("detection")->implicitHeight();
  ui.status.setAccess(true);
  settle();
  EXPECT_FALSE(grant->isVisible());
  EXPECT_LT(item("detection")->implicitHeight(), heightWithout)
      << "the first section holds the two toggles only";
}

// Where the desktop has no accessibility service, both views say so in one line instead of
// offering a grant that can never come, and the detection switch cannot be turned.
TEST_F(CalibrationView, ADesktopWithoutAccessibilitySaysSoInsteadOfOfferingAGrant) {
  ui.status.available = false;
  for (const char* file : {"OptionsWindow.qml", "CalibrationWindow.qml"}) {
    SCOPED_TRACE(file);
    window = ui.open(QString::fromUtf8(file));
    ASSERT_TRUE(window);
    EXPECT_TRUE(shown(item("accessibilityUnavailable")));
    EXPECT_EQ(item("accessibilityUnavailable")->property("text").toString(),
              "Precise detection isn't available on this desktop — Velvix blurs the calibrated "
              "areas.");
    EXPECT_FALSE(item("grantAccess")->isVisible());
    for (const char* row : {"blurPreviews", "blurNames", "blurMediaPreview", "coversMovingLists"}) {
      EXPECT_TRUE(!item(row) || !partOf(row, "note")->isVisible()) << row;
    }
    EXPECT_TRUE(!item("usesAccessibility") || !item("usesAccessibility")->isEnabled());
  }
  ui.status.available = true;
  open();
  EXPECT_FALSE(item("accessibilityUnavailable")->isVisible());
  EXPECT_TRUE(item("usesAccessibility")->isEnabled());
}

TEST_F(CalibrationView, MeasureAutomaticallyShowsWhereThePixelsCanBeReadAndAsksOnce) {
  ui.status.measurable = false;
  open();
  EXPECT_FALSE(shown(item("measure")));

  ui.status.measurable = true;
  open();
  const LayoutMetrics before = ui.settings.metrics();
  click(*item("measure"));
  EXPECT_EQ(ui.status.measurements, 1);
  EXPECT_EQ(ui.settings.metrics(), before) << "the overlay measures, the view does not";
}

TEST_F(CalibrationView, ClosingTheWindowTurnsTheGuidesOff) {
  open();
  ui.settings.setShowsGuides(true);
  window->close();
  settle();
  EXPECT_FALSE(ui.settings.showsGuides());
  window->show();
  settle();
  EXPECT_FALSE(toggle("showsGuides")->property("checked").toBool()) << "reopened with it off";
}

}  // namespace
}  // namespace velvix::test
