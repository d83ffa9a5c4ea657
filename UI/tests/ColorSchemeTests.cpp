#include "ColorScheme.hpp"
#include "OptionsForm.hpp"
#include "UiHarness.hpp"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#if VELVIX_HAS_DBUS
#include <QDBusVariant>
#endif

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace velvix::test {
namespace {

TEST(ColorScheme, GtkSettingsSayDarkByPreferenceOrByTheme) {
  const struct {
    const char* ini;
    std::optional<ColorScheme> expected;
  } cases[] = {
      {"[Settings]\ngtk-application-prefer-dark-theme=1\n", ColorScheme::dark},
      {"[Settings]\ngtk-application-prefer-dark-theme = true\n", ColorScheme::dark},
      {"[Settings]\ngtk-theme-name=Adwaita-dark\n", ColorScheme::dark},
      {"[Settings]\ngtk-theme-name=Adwaita\ngtk-application-prefer-dark-theme=1",
       ColorScheme::dark},
      {"[Settings]\ngtk-theme-name=Adwaita\n", ColorScheme::light},
      {"[Settings]\ngtk-application-prefer-dark-theme=0\n", ColorScheme::light},
      {"[Settings]\ngtk-font-name=Cantarell 11\n", std::nullopt},
      {"", std::nullopt},
      {"gtk-theme-name", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ini);
    EXPECT_EQ(schemeFromGtkSettings(c.ini), c.expected);
  }
}

TEST(ColorScheme, ThePaletteChangesOnlyWhenTheSchemeDiffers) {
  const QPalette light(QColor(0xEF, 0xEF, 0xEF));
  ASSERT_FALSE(isDark(light));
  const QPalette dark = paletteFor(ColorScheme::dark, light);
  EXPECT_TRUE(isDark(dark));
  EXPECT_GE(dark.color(QPalette::WindowText).lightness() - dark.color(QPalette::Window).lightness(),
            150)
      << "text readable on the dark background";
  EXPECT_EQ(paletteFor(ColorScheme::dark, dark), dark) << "a dark palette is kept as it is";
  EXPECT_EQ(paletteFor(ColorScheme::light, light), light);
  EXPECT_FALSE(isDark(paletteFor(ColorScheme::light, dark)));
}

TEST(ColorScheme, TheEnvironmentForcesAScheme) {
  const QPalette light(QColor(0xEF, 0xEF, 0xEF));
  ::setenv("VELVIX_COLOR_SCHEME", "dark", 1);
  EXPECT_EQ(desktopColorScheme(light), ColorScheme::dark);
  ::setenv("VELVIX_COLOR_SCHEME", "light", 1);
  EXPECT_EQ(desktopColorScheme(paletteFor(ColorScheme::dark, light)), ColorScheme::light);
  ::unsetenv("VELVIX_COLOR_SCHEME");
}

// Unforced (and without a settings portal), GTK's settings file in the user's configuration
// folder says; without one, the palette Qt started with does.
TEST(ColorScheme, GtksSettingsFileSaysWhatTheEnvironmentDoesNot) {
  const QPalette light(QColor(0xEF, 0xEF, 0xEF));
  QTemporaryDir config;
  ASSERT_TRUE(config.isValid());
  const QByteArray home = config.path().toLocal8Bit();
  ::setenv("XDG_CONFIG_HOME", home.constData(), 1);
  EXPECT_EQ(desktopColorScheme(light), ColorScheme::light) << "no settings file";
  ASSERT_TRUE(QDir(config.path()).mkpath(QStringLiteral("gtk-3.0")));
  QFile ini(config.path() + QStringLiteral("/gtk-3.0/settings.ini"));
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write("[Settings]\ngtk-application-prefer-dark-theme=1\n");
  ini.close();
  EXPECT_EQ(desktopColorScheme(light), ColorScheme::dark);
  ::unsetenv("XDG_CONFIG_HOME");
}

#if VELVIX_HAS_DBUS
// The settings portal's reports of the colour scheme are followed; those of other settings are
// not.
TEST(ColorScheme, ThePortalsReportOfTheSchemeIsFollowed) {
  const QPalette before = QGuiApplication::palette();
  ColorSchemeFollower follower;
  const struct {
    const char* group;
    const char* key;
    uint value;
    bool dark;
    bool wrapped = false;  // in a variant of its own, as Read() gives it
  } reports[] = {
      {"org.freedesktop.appearance", "color-scheme", 1, true},
      {"org.freedesktop.appearance", "accent-color", 2, true},
      {"org.gnome.desktop.interface", "color-scheme", 2, true},
      {"org.freedesktop.appearance", "color-scheme", 2, false},
      {"org.freedesktop.appearance", "color-scheme", 1, true, true},
  };
  for (const auto& r : reports) {
    SCOPED_TRACE(std::string(r.group) + " " + r.key);
    ASSERT_TRUE(QMetaObject::invokeMethod(
        &follower, "portalSettingChanged", Q_ARG(QString, QString::fromUtf8(r.group)),
        Q_ARG(QString, QString::fromUtf8(r.key)),
        Q_ARG(QDBusVariant, r.wrapped ? QDBusVariant(QVariant::fromValue(QDBusVariant(r.value)))
                                      : QDBusVariant(r.value))));
    EXPECT_EQ(isDark(QGuiApplication::palette()), r.dark);
  }
  QGuiApplication::setPalette(before);
}
#endif

// Both views take the dark scheme: their background is dark.
TEST(ColorScheme, TheViewsFollowADarkScheme) {
  const QPalette before = QGuiApplication::palette();
  QGuiApplication::setPalette(paletteFor(ColorScheme::dark, before));
  for (const char* file : {"OptionsWindow.qml", "CalibrationWindow.qml"}) {
    SCOPED_TRACE(file);
    UiHarness ui;
    auto window = ui.open(QString::fromUtf8(file));
    ASSERT_TRUE(window);
    const QImage image = window->grabWindow();
    EXPECT_LT(QColor(image.pixel(image.width() / 2, 4)).lightness(), 80);
    if (std::string_view(file) == "OptionsWindow.qml") {
      const QQuickItem* symbol = find(*window, QStringLiteral("statusSymbol"));
      ASSERT_TRUE(symbol);
      EXPECT_GT(symbol->property("color").value<QColor>().lightness(), 128) << "drawn light";
    }
  }
  QGuiApplication::setPalette(before);
}

// The Widgets form, open all along, turns dark with the desktop: its faded labels and the
// status symbol too, whose colour it sets itself.
TEST(ColorScheme, TheOptionsFormFollowsASchemeChangeWhileOpen) {
  const QPalette before = QGuiApplication::palette();
  UiHarness ui;
  OptionsForm form(ui.settingsModel, ui.statusModel, nullptr);
  form.show();
  const auto status = [&] { return form.findChild<QLabel*>(QStringLiteral("statusText")); };
  const auto symbol = [&] {
    const QImage image =
        form.findChild<QLabel*>(QStringLiteral("statusSymbol"))->pixmap().toImage();
    int lightest = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (qAlpha(image.pixel(x, y)) > 128)
          lightest = std::max(lightest, QColor(image.pixel(x, y)).lightness());
      }
    }
    return lightest;
  };
  ASSERT_LT(status()->palette().color(QPalette::WindowText).lightness(), 128);
  QGuiApplication::setPalette(paletteFor(ColorScheme::dark, before));
  settle();
  const QImage image = form.grab().toImage();
  EXPECT_LT(QColor(image.pixel(image.width() / 2, 4)).lightness(), 80);
  EXPECT_GT(status()->palette().color(QPalette::WindowText).lightness(), 128) << "drawn light";
  EXPECT_GT(symbol(), 128) << "drawn light";
  QGuiApplication::setPalette(before);
}

}  // namespace
}  // namespace velvix::test
