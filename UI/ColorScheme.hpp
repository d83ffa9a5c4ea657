#pragma once

// Light or dark, as the desktop asks: the panels follow the user's colour scheme even where Qt
// is given no dark palette (Qt 6.4 on a GNOME or tiling desktop paints Fusion light whatever
// the desktop says). The scheme comes from, in order: VELVIX_COLOR_SCHEME ("light" or "dark"),
// the freedesktop settings portal's "color-scheme", GTK's settings file, and the palette Qt
// was given.

#include <QObject>
#include <QPalette>

class QDBusVariant;

#include <optional>
#include <string_view>

namespace velvix {

enum class ColorScheme { light, dark };

/// Whether `palette` is a dark one: its window background darker than its text.
[[nodiscard]] bool isDark(const QPalette& palette);

/// `current` when it already is of `scheme`; else Fusion's colours of that scheme.
[[nodiscard]] QPalette paletteFor(ColorScheme scheme, const QPalette& current);

/// The scheme a GTK 3 settings.ini asks for ("gtk-application-prefer-dark-theme=1", or a
/// theme whose name ends in "-dark"); none when it says nothing of it.
[[nodiscard]] std::optional<ColorScheme> schemeFromGtkSettings(std::string_view ini);

/// The desktop's scheme now, as the header says.
[[nodiscard]] ColorScheme desktopColorScheme(const QPalette& current);

/// Keeps the application's palette to the desktop's scheme: sets it once, and again whenever the
/// settings portal reports a change. Main thread; needs the QGuiApplication.
class ColorSchemeFollower : public QObject {
  Q_OBJECT

 public:
  explicit ColorSchemeFollower(QObject* parent = nullptr);

 private slots:
#if VELVIX_HAS_DBUS
  void portalSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);
#endif

 private:
  void apply(ColorScheme scheme);
  QPalette original_;  // what Qt was given, kept for the matching scheme
};

}  // namespace velvix
