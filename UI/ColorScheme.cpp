#include "ColorScheme.hpp"

#include <Velvix/Platform/support/AsciiText.hpp>

#if VELVIX_HAS_DBUS
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#endif
#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cctype>
#include <cstdlib>
#include <string>

namespace velvix {

namespace {

#if VELVIX_HAS_DBUS
const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kPortalSettings = QStringLiteral("org.freedesktop.portal.Settings");
const QString kAppearance = QStringLiteral("org.freedesktop.appearance");
const QString kColorScheme = QStringLiteral("color-scheme");

// The portal's value: 1 prefers dark, 2 prefers light, 0 has no preference.
std::optional<ColorScheme> fromPortalValue(const QVariant& value) {
  QVariant v = value;
  // Read() wraps the value in a variant of its own.
  while (v.canConvert<QDBusVariant>() && v.userType() == qMetaTypeId<QDBusVariant>())
    v = v.value<QDBusVariant>().variant();
  bool ok = false;
  const uint scheme = v.toUInt(&ok);
  if (!ok) return std::nullopt;
  if (scheme == 1) return ColorScheme::dark;
  if (scheme == 2) return ColorScheme::light;
  return std::nullopt;
}

std::optional<ColorScheme> fromPortal() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return std::nullopt;
  QDBusInterface settings(kPortalService, kPortalPath, kPortalSettings, bus);
  if (!settings.isValid()) return std::nullopt;
  settings.setTimeout(300);  // a missing portal must not hold up the start
  const QDBusMessage reply = settings.call(QStringLiteral("Read"), kAppearance, kColorScheme);
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
    return std::nullopt;
  return fromPortalValue(reply.arguments().front());
}

#else
std::optional<ColorScheme> fromPortal() {
  return std::nullopt;
}
#endif

std::optional<ColorScheme> fromGtkSettingsFile() {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const QString base = configHome && *configHome ? QString::fromLocal8Bit(configHome)
                                                 : QDir::homePath() + QStringLiteral("/.config");
  QFile file(base + QStringLiteral("/gtk-3.0/settings.ini"));
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray ini = file.read(64 * 1024);
  return schemeFromGtkSettings(
      std::string_view(ini.constData(), static_cast<std::size_t>(ini.size())));
}

using support::trimmed;

QPalette fusionDark() {
  QPalette p;
  const QColor window(0x2D, 0x2D, 0x2F), base(0x1F, 0x1F, 0x21), text(0xEC, 0xEC, 0xEE);
  const QColor button(0x3A, 0x3A, 0x3D), highlight(0x2F, 0x7E, 0xD8);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, button);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, Qt::white);
  p.setColor(QPalette::Highlight, highlight);
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::Link, QColor(0x6C, 0xB0, 0xF5));
  p.setColor(QPalette::ToolTipBase, window);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, QColor(0x9A, 0x9A, 0x9E));
  p.setColor(QPalette::Light, QColor(0x4A, 0x4A, 0x4D));
  p.setColor(QPalette::Midlight, QColor(0x42, 0x42, 0x45));
  p.setColor(QPalette::Mid, QColor(0x26, 0x26, 0x28));
  p.setColor(QPalette::Dark, QColor(0x18, 0x18, 0x1A));
  p.setColor(QPalette::Shadow, Qt::black);
  const QColor disabled(0x80, 0x80, 0x84);
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    p.setColor(QPalette::Disabled, role, disabled);
  return p;
}

}  // namespace

bool isDark(const QPalette& palette) {
  return palette.color(QPalette::Window).lightness() <
         palette.color(QPalette::WindowText).lightness();
}

QPalette paletteFor(ColorScheme scheme, const QPalette& current) {
  if (isDark(current) == (scheme == ColorScheme::dark)) return current;
  // A light palette wanted where Qt gave a dark one: the default, which is light.
  return scheme == ColorScheme::dark ? fusionDark() : QPalette(QColor(0xEF, 0xEF, 0xEF));
}

std::optional<ColorScheme> schemeFromGtkSettings(std::string_view ini) {
  std::optional<ColorScheme> theme, preference;
  while (!ini.empty()) {
    const auto end = ini.find('\n');
    const std::string_view line = trimmed(ini.substr(0, end));
    ini.remove_prefix(end == std::string_view::npos ? ini.size() : end + 1);
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string key = support::lowercase(trimmed(line.substr(0, eq)));
    const std::string value = support::lowercase(trimmed(line.substr(eq + 1)));
    if (key == "gtk-application-prefer-dark-theme") {
      if (value == "1" || value == "true") preference = ColorScheme::dark;
      if (value == "0" || value == "false") preference = ColorScheme::light;
    } else if (key == "gtk-theme-name") {
      theme = value.ends_with("-dark") || value.ends_with(":dark") ? ColorScheme::dark
                                                                   : ColorScheme::light;
    }
  }
  // An explicit preference for dark wins; a theme says light only in the absence of one.
  if (preference == ColorScheme::dark || theme == ColorScheme::dark) return ColorScheme::dark;
  return preference ? preference : theme;
}

ColorScheme desktopColorScheme(const QPalette& current) {
  if (const char* forced = std::getenv("VELVIX_COLOR_SCHEME")) {
    if (support::lowercase(forced) == "dark") return ColorScheme::dark;
    if (support::lowercase(forced) == "light") return ColorScheme::light;
  }
  if (const auto portal = fromPortal()) return *portal;
  if (const auto gtk = fromGtkSettingsFile()) return *gtk;
  return isDark(current) ? ColorScheme::dark : ColorScheme::light;
}

ColorSchemeFollower::ColorSchemeFollower(QObject* parent)
    : QObject(parent), original_(QGuiApplication::palette()) {
  apply(desktopColorScheme(original_));
#if VELVIX_HAS_DBUS
  QDBusConnection::sessionBus().connect(kPortalService, kPortalPath, kPortalSettings,
                                        QStringLiteral("SettingChanged"), this,
                                        SLOT(portalSettingChanged(QString, QString, QDBusVariant)));
#endif
}

#if VELVIX_HAS_DBUS
void ColorSchemeFollower::portalSettingChanged(const QString& group, const QString& key,
                                               const QDBusVariant& value) {
  if (group != kAppearance || key != kColorScheme) return;
  if (std::getenv("VELVIX_COLOR_SCHEME")) return;  // a forced scheme stays
  if (const auto scheme = fromPortalValue(value.variant())) apply(*scheme);
}
#endif

void ColorSchemeFollower::apply(ColorScheme scheme) {
  QGuiApplication::setPalette(paletteFor(scheme, original_));
}

}  // namespace velvix
