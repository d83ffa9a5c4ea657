#include "Labels.hpp"
#include "UiHarness.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>

namespace velvix::test {
namespace {

class CalibrationView : public ::testing::Test {
 protected:
  UiHarness ui;
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

QString valueText(QQuickWindow& window, const char* row) {
  return find(*find(window, QString::fromUtf8(row)), "value")->property("text").toString();
}

QQuickItem* sliderOf(QQuickWindow& window, const char* row) {
  return find(*find(window, QString::fromUtf8(row)), "slider");
}

TEST_F(CalibrationView, IsTheVelvixLayoutWindowSizedToItsContent) {
  auto window = ui.open("CalibrationWindow.qml");
  ASSERT_TRUE(window);
  EXPECT_EQ(window->title(), "Velvix Layout");
  EXPECT_EQ(window->width(), 460);
  QQuickItem* view = find(*window, "calibrationView");
  EXPECT_EQ(window->height(), std::ceil(view->implicitHeight()));
  EXPECT_EQ(window->minimumHeight(), window->maximumHeight()) << "fixed vertically";
}

TEST_F(CalibrationView, MeasurementRowsHaveTheirRangesStepsAndSections) {
  auto window = ui.open("CalibrationWindow.qml");
  ASSERT_TRUE(window);
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    QQuickItem* section = find(*window, QString::fromUtf8(r.section));
    ASSERT_TRUE(section);
    QQuickItem* row = find(*section, QString::fromUtf8(r.name));
    ASSERT_TRUE(row) << "in its section";
    EXPECT_EQ(row->property("title").toString(), QString::fromUtf8(r.title));
    QQuickItem* slider = find(*row, "slider");
    // The range, widened to take in the stored value (the default rail width lies beyond it).
    const double stored = LayoutMetrics::defaults.*r.field;
    EXPECT_EQ(slider->property("from").toDouble(), std::min(r.from, stored));
    EXPECT_EQ(slider->property("to").toDouble(), std::max(r.to, stored));
    EXPECT_EQ(slider->property("stepSize").toDouble(), 1);
  }
  EXPECT_EQ(find(*find(*window, "columns"), "header")->property("text").toString(), "Columns");
  EXPECT_EQ(find(*find(*window, "conversation"), "header")->property("text").toString(),
            "Conversation");
  EXPECT_FALSE(find(*window, "avatarInset")) << "avatarInset has no control";
}

TEST_F(CalibrationView, ValuesReadAsWholePointsTruncated) {
  LayoutMetrics metrics;
  metrics.avatarSize = 71.6;
  metrics.chatListWidth = 299.99;
  metrics.composerSideInset = 0.4;
  ui.settings.setMetrics(metrics);
  auto window = ui.open("CalibrationWindow.qml");
  ASSERT_TRUE(window);
  EXPECT_EQ(valueText(*window, "avatarSize"), "71 pt");
  EXPECT_EQ(valueText(*window, "chatListWidth"), "299 pt");
  EXPECT_EQ(valueText(*window, "composerSideInset"), "0 pt");
}

TEST_F(CalibrationView, ValuesOutsideTheirRangeWidenItAndAreNeverClamped) {
  // The default rail width (220) lies beyond its slider's range (0 to 120); a side margin of
  // -5 below its own. Opening writes nothing; each slider shows its value where it is, so its
  // first touch moves from there.
  LayoutMetrics stored = LayoutMetrics::defaults;
  stored.composerSideInset = -5;
  ui.settings.setMetrics(stored);
  ui.defaults.clearWrites();
  auto window = ui.open("CalibrationWindow.qml");
  ASSERT_TRUE(window);
  EXPECT_EQ(ui.settings.metrics(), stored);
  EXPECT_EQ(ui.defaults.writeCount("layoutMetrics"), 0U);
  EXPECT_EQ(valueText(*window, "railWidth"), "220 pt");
  EXPECT_EQ(sliderOf(*window, "railWidth")->property("value").toDouble(), 220);
  EXPECT_EQ(sliderOf(*window, "railWidth")->property("position").toDouble(), 1);
  EXPECT_EQ(sliderOf(*window, "composerSideInset")->property("from").toDouble(), -5);
  EXPECT_EQ(sliderOf(*window, "composerSideInset")->property("position").toDouble(), 0);

  // Back within the range, it is the range again.
  stored.railWidth = 80;
  ui.settings.setMetrics(stored);
  settle();
  EXPECT_EQ(sliderOf(*window, "railWidth")->property("to").toDouble(), 120);
}

TEST_F(CalibrationView, MovingASliderWritesItsFieldAtOnce) {
  auto window = ui.open("CalibrationWindow.qml");
  ASSERT_TRUE(window);
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    ui.settings.setMetrics(LayoutMetrics::defaults);
    settle();
    click(*sliderOf(*window, r.name), 0.5);
    const double value = ui.settings.metrics().*r.field;
    // Half way along the track, which takes in the default.
    const double from = std::min(r.from, LayoutMetrics::defaults.*r.field);
    const double to = std::max(r.to, LayoutMetrics::defaults.*r.field);
    EXPECT_EQ(value, std::round(value)) << "steps of one point";
    EXPECT_NEAR(value, (from + to) / 2, (to - from) * 0.1);
    EXPECT_EQ(valueText(*window, r.name), QString::fromStdString(labels::points(value)));
    LayoutMetrics others = LayoutMetrics::defaults;
    others.*r.field = value;
    EXPECT_EQ(ui.settings.metrics(), others) << "only this field changed";
  }
}

TEST_F(CalibrationView, ResetRestoresAllTenMeasurementsThroughTheSetter) {
  LayoutMetrics changed;
  changed.railWidth = 10;
  changed.chatListWidth = 500;
  changed.chatListHeaderHeight = 60;
  changed.avatarSize = 30;
  changed.avatarInset = 7;
  changed.conversationHeaderHeight = 40;
  changed.composerHeight = 50;
  changed.composerSideInset = 12;
  changed.lastMessagesHeight = 300;
  changed.revealBandHeight = 35;
  ui.settings.setMetrics(changed);
  auto window = ui.open("CalibrationWindow.qml");
  ASSERT_TRUE(window);
  EXPECT_EQ(valueText(*window, "avatarSize"), "30 pt");

  int notified = 0;
  const auto subscription =
      ui.settings.observe(AppSettings::Property::metrics, [&] { ++notified; });
  ui.defaults.clearWrites();
  click(*find(*window, "reset"));

  EXPECT_EQ(ui.settings.metrics(), LayoutMetrics::defaults);
  EXPECT_EQ(ui.settings.metrics().avatarInset, LayoutMetrics::defaults.avatarInset);
  EXPECT_EQ(notified, 1);
  EXPECT_EQ(ui.defaults.writeCount("layoutMetrics"), 1U) << "stored like any other change";
  for (const auto& r : kRows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(valueText(*window, r.name),
              QString::fromStdString(labels::points(LayoutMetrics::defaults.*r.field)));
  }
}

TEST_F(CalibrationView, TogglesShowAndWriteTheirSettings) {
  auto window = ui.open("CalibrationWindow.qml");
  ASSERT_TRUE(window);
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
    QQuickItem* toggle =
        find(*window, QString::fromUtf8(r.name))->property("control").value<QQuickItem*>();
    (ui.settings.*r.set)(false);
    EXPECT_FALSE(toggle->property("checked").toBool());
    click(*toggle);
    EXPECT_TRUE((ui.settings.*r.get)());
    (ui.settings.*r.set)(false);
    EXPECT_FALSE(toggle->property("checked").toBool()) << "still follows after the flip";
  }
}

TEST_F(CalibrationView, TheGrantButtonShowsOnlyWithoutAccess) {
  ui.status.setAccess(false);
  auto window = ui.open("CalibrationWindow.qml");
  ASSERT_TRUE(window);
  QQuickItem* grant = find(*window, "grantAccess");
  ASSERT_TRUE(grant);
  EXPECT_TRUE(shown(grant));
  EXPECT_EQ(grant->property("text").toString(), "Grant Accessibility access…");
  click(*grant);
  EXPECT_EQ(ui.status.prompts, 1);

  const qreal heightWithout = find(*window, "detection")->implicitHeight();
  ui.status.setAccess(true);
  settle();
  EXPECT_FALSE(grant->isVisible());
  EXPECT_LT(find(*window, "detection")->implicitHeight(), heightWithout)
      << "the first section holds the two toggles only";
  EXPECT_EQ(find(*find(*window, "detection"), "footer")->property("text").toString(),
            "With Accessibility access Velvix blurs each chat and message individually. "
            "Otherwise it uses the measurements below. Turn on the guides and adjust them until "
            "the outlines match your WhatsApp window.");
}

// Where the desktop has no accessibility service, both views say so in one line instead of
// offering a grant that can never come, and the detection switch cannot be turned.
TEST_F(CalibrationView, ADesktopWithoutAccessibilitySaysSoInsteadOfOfferingAGrant) {
  const QString line = QStringLiteral(
      "Precise detection isn't available on this desktop — Velvix blurs the calibrated areas.");
  ui.status.available = false;
  for (const char* file : {"OptionsWindow.qml", "CalibrationWindow.qml"}) {
    SCOPED_TRACE(file);
    auto window = ui.open(QString::fromUtf8(file));
    ASSERT_TRUE(window);
    QQuickItem* unavailable = find(*window, "accessibilityUnavailable");
    ASSERT_TRUE(unavailable);
    EXPECT_TRUE(shown(unavailable));
    EXPECT_EQ(unavailable->property("text").toString(), line);
    EXPECT_FALSE(find(*window, "grantAccess")->isVisible());
    for (const char* row : {"blurPreviews", "blurNames", "blurMediaPreview", "coversMovingLists"}) {
      if (QQuickItem* r = find(*window, QString::fromUtf8(row))) {
        EXPECT_FALSE(find(*r, "note")->isVisible()) << row;
      }
    }
    if (QQuickItem* detection = find(*window, "usesAccessibility")) {
      EXPECT_FALSE(detection->isEnabled());
    }
  }
  ui.status.available = true;
  auto window = ui.open("CalibrationWindow.qml");
  EXPECT_FALSE(find(*window, "accessibilityUnavailable")->isVisible());
  EXPECT_TRUE(find(*window, "usesAccessibility")->isEnabled());
}

TEST_F(CalibrationView, MeasureAutomaticallyShowsWhereThePixelsCanBeReadAndAsksOnce) {
  for (const bool measurable : {true, false}) {
    SCOPED_TRACE(measurable);
    ui.status.measurable = measurable;
    ui.status.measurements = 0;
    auto window = ui.open("CalibrationWindow.qml");
    ASSERT_TRUE(window);
    QQuickItem* measure = find(*window, "measure");
    ASSERT_TRUE(measure);
    EXPECT_EQ(shown(measure), measurable);
    if (!measurable) continue;
    EXPECT_EQ(measure->property("text").toString(), QStringLiteral("Measure automatically"));
    const LayoutMetrics before = ui.settings.metrics();
    click(*measure);
    EXPECT_EQ(ui.status.measurements, 1);
    EXPECT_EQ(ui.settings.metrics(), before) << "the overlay measures, the view does not";
  }
}

TEST_F(CalibrationView, ClosingTheWindowTurnsTheGuidesOff) {
  auto window = ui.open("CalibrationWindow.qml");
  ASSERT_TRUE(window);
  ui.settings.setShowsGuides(true);
  window->close();
  settle();
  EXPECT_FALSE(ui.settings.showsGuides());

  window->show();
  settle();
  EXPECT_FALSE(find(*window, "showsGuides")
                   ->property("control")
                   .value<QQuickItem*>()
                   ->property("checked")
                   .toBool())
      << "reopened with the toggle off";
}

}  // namespace
}  // namespace velvix::test
