// Pictures of both views in their main states, for review: written to the build's screenshots
// folder on every run. Each check here makes sure the picture shows the state it is named for.

#include "UiHarness.hpp"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

namespace velvix::test {
namespace {

using Status = OverlayController::Status;

// Whether the picture holds more than a flat background.
bool hasContent(const QImage& image) {
  if (image.isNull()) return false;
  const QRgb background = image.pixel(0, 0);
  int different = 0;
  for (int y = 0; y < image.height(); y += 2) {
    for (int x = 0; x < image.width(); x += 2)
      different += image.pixel(x, y) != background;
  }
  return different > image.width() * image.height() / 100;
}

TEST(Screenshots, OptionsPanel) {
  const struct {
    const char* file;
    bool isEnabled;
    bool access;
    Status status;
  } states[] = {
      {"options-enabled", true, true, Status::protecting(true)},
      {"options-disabled", false, true, Status::disabled()},
      {"options-without-access", true, false, Status::protecting(false)},
  };
  for (const auto& s : states) {
    SCOPED_TRACE(s.file);
    UiHarness ui;
    ui.settings.setIsEnabled(s.isEnabled);
    ui.status.setAccess(s.access);
    ui.status.setStatus(s.status);
    auto window = ui.open("OptionsWindow.qml");
    ASSERT_TRUE(window);
    const QImage image = screenshot(*window, QString::fromUtf8(s.file));
    EXPECT_EQ(image.width(), 283 * image.devicePixelRatio());
    EXPECT_TRUE(hasContent(image));
  }
}

TEST(Screenshots, CalibrationWindow) {
  const struct {
    const char* file;
    bool isEnabled;
    bool access;
  } states[] = {
      {"calibration-enabled", true, true},
      {"calibration-disabled", false, true},
      {"calibration-without-access", true, false},
  };
  for (const auto& s : states) {
    SCOPED_TRACE(s.file);
    UiHarness ui;
    ui.settings.setIsEnabled(s.isEnabled);
    ui.status.setAccess(s.access);
    auto window = ui.open("CalibrationWindow.qml");
    ASSERT_TRUE(window);
    const QImage image = screenshot(*window, QString::fromUtf8(s.file));
    EXPECT_EQ(image.width(), 460 * image.devicePixelRatio());
    EXPECT_TRUE(hasContent(image));
  }
}

}  // namespace
}  // namespace velvix::test
