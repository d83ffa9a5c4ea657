#include "Autostart.hpp"

#include <Velvix/Platform/Log.hpp>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <utility>

namespace velvix {

namespace {

// An Exec value for `program` as the desktop entry format has it: the argument quoted when it
// holds a reserved character, "%" doubled (it starts field codes), then the escapes of any
// string value — so a backslash inside quotes ends up written as four.
QString execValue(const QString& program) {
  static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
  QString argument;
  if (std::any_of(program.begin(), program.end(), [](QChar c) { return reserved.contains(c); })) {
    argument += u'"';
    for (const QChar c : program) {
      if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') argument += u'\\';
      argument += c;
    }
    argument += u'"';
  } else {
    argument = program;
  }
  argument.replace(u'%', QStringLiteral("%%"));
  QString value;
  for (const QChar c : std::as_const(argument)) {
    if (c == u'\\') {
      value += QStringLiteral("\\\\");
    } else if (c == u'\n') {
      value += QStringLiteral("\\n");
    } else if (c == u'\t') {
      value += QStringLiteral("\\t");
    } else {
      value += c;
    }
  }
  return value;
}

// The program an Exec value starts: its first argument, unescaped and unquoted. Lenient with
// entries written by hand: an unknown string escape such as "\$" is kept for the quoting rules.
QString programOf(const QString& value) {
  QString unescaped;
  for (qsizetype i = 0; i < value.size(); ++i) {
    if (value[i] != u'\\' || i + 1 == value.size()) {
      unescaped += value[i];
      continue;
    }
    const QChar next = value[++i];
    if (next == u's') {
      unescaped += u' ';
    } else if (next == u'n') {
      unescaped += u'\n';
    } else if (next == u't') {
      unescaped += u'\t';
    } else if (next == u'r') {
      unescaped += u'\r';
    } else if (next == u'\\') {
      unescaped += u'\\';
    } else {
      unescaped += u'\\';
      unescaped += next;
    }
  }
  QString program;
  bool quoted = false;
  for (qsizetype i = 0; i < unescaped.size(); ++i) {
    const QChar c = unescaped[i];
    if (quoted && c == u'\\' && i + 1 < unescaped.size()) {
      program += unescaped[++i];
    } else if (c == u'"') {
      quoted = !quoted;
    } else if (!quoted && c.isSpace()) {
      if (!program.isEmpty()) break;
    } else {
      program += c;
    }
  }
  return program.replace(QStringLiteral("%%"), QStringLiteral("%"));
}

// Paths name the same program when equal, or when both lead to one file (a symbolic link to
// the executable starts it too).
bool sameProgram(const QString& a, const QString& b) {
  if (a == b) return true;
  const QString canonical = QFileInfo(a).canonicalFilePath();
  return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

QString applicationId() {
  return QString::fromUtf8(platform::kBundleIdentifier.data(),
                           static_cast<qsizetype>(platform::kBundleIdentifier.size()));
}

}  // namespace

Autostart::Autostart(QObject* parent)
    : Autostart(QCoreApplication::applicationFilePath(), parent) {}

Autostart::Autostart(QString executable, QObject* parent)
    : QObject(parent), executable_(std::move(executable)), enabled_(entryStartsUs()) {}

Autostart::~Autostart() = default;

QString Autostart::entryPath() {
  QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
  // The base directory rules ignore a relative path.
  if (config.isEmpty() || QDir::isRelativePath(config))
    config = QDir::homePath() + QStringLiteral("/.config");
  return config + QStringLiteral("/autostart/") + applicationId() + QStringLiteral(".desktop");
}

bool Autostart::entryStartsUs() const {
  QFile file(entryPath());
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
  bool inMainGroup = false;
  bool disabled = false;
  QString exec;
  while (!file.atEnd()) {
    const QString line = QString::fromUtf8(file.readLine()).trimmed();
    if (line.startsWith(u'[')) {
      inMainGroup = line == QStringLiteral("[Desktop Entry]");
      continue;
    }
    const qsizetype equals = line.indexOf(u'=');
    if (!inMainGroup || line.startsWith(u'#') || equals < 0) continue;
    const QString key = line.left(equals).trimmed();
    const QString value = line.mid(equals + 1).trimmed();
    if (key == QStringLiteral("Exec")) {
      exec = value;
    } else if (key == QStringLiteral("Hidden")) {
      disabled = disabled || value == QStringLiteral("true");
    } else if (key == QStringLiteral("X-GNOME-Autostart-enabled")) {
      disabled = disabled || value == QStringLiteral("false");
    }
  }
  return !disabled && !exec.isEmpty() && sameProgram(programOf(exec), executable_);
}

void Autostart::refresh() {
  const bool now = entryStartsUs();
  if (now == enabled_) return;
  enabled_ = now;
  emit enabledChanged();
}

bool Autostart::setEnabled(bool enabled) {
  const QString path = entryPath();
  bool written = true;
  if (enabled) {
    QSaveFile file(path);
    const QByteArray entry = QStringLiteral(
                                 "[Desktop Entry]\n"
                                 "Type=Application\n"
                                 "Name=Velvix\n"
                                 "Comment=Blurs WhatsApp's chats until you hover them\n"
                                 "Exec=%1\n"
                                 "Icon=%2\n"
                                 "Terminal=false\n")
                                 .arg(execValue(executable_), applicationId())
                                 .toUtf8();
    written = QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
              file.write(entry) == entry.size() && file.commit();
  } else if (entryStartsUs()) {
    // Another installation's entry is not ours to remove.
    written = QFile::remove(path);
  }
  refresh();
  return written && enabled_ == enabled;
}

}  // namespace velvix
