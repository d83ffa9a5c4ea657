// "Start Velvix at login": the autostart entry is the only record of the choice, so every state
// is set up and checked through the file itself.

#include "Autostart.hpp"
#include "OptionsForm.hpp"
#include "SimulatedDesktop.hpp"
#include "UiHarness.hpp"
#include "VelvixApp.hpp"

#include <Simulator/LogCapture.hpp>
#include <Simulator/MemoryDefaults.hpp>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSystemTrayIcon>
#include <QTemporaryDir>

namespace velvix::test {
namespace {

// Each test starts with an empty config home of its own.
class StartAtLogin : public ::testing::Test {
 protected:
  StartAtLogin() : previous_(qgetenv("XDG_CONFIG_HOME")) {
    qputenv("XDG_CONFIG_HOME", config_.path().toUtf8());
  }
  ~StartAtLogin() override {
    if (previous_.isEmpty())
      qunsetenv("XDG_CONFIG_HOME");
    else
      qputenv("XDG_CONFIG_HOME", previous_);
  }

  static QByteArray entry() {
    QFile file(Autostart::entryPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  static void writeEntry(const QByteArray& contents) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(Autostart::entryPath()).path()));
    QFile file(Autostart::entryPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
  }

 private:
  QByteArray previous_;
  QTemporaryDir config_;
};

// On writes an entry for this executable, replacing another installation's; off removes only
// an entry of ours.
TEST_F(StartAtLogin, OnWritesAnEntryForThisExecutableAndOffRemovesOnlyOurs) {
  Autostart autostart;
  EXPECT_FALSE(autostart.enabled());
  ASSERT_TRUE(autostart.setEnabled(true));
  EXPECT_TRUE(autostart.enabled());
  EXPECT_TRUE(Autostart().enabled()) << "the next start reads it back from the file";
  ASSERT_TRUE(autostart.setEnabled(false));
  EXPECT_FALSE(QFile::exists(Autostart::entryPath()));
  EXPECT_FALSE(autostart.enabled());

  writeEntry("[Desktop Entry]\nExec=/opt/old/velvix\n");
  EXPECT_TRUE(autostart.setEnabled(false));
  EXPECT_TRUE(entry().contains("/opt/old/velvix")) << "not ours to remove";
  ASSERT_TRUE(autostart.setEnabled(true));
  EXPECT_FALSE(entry().contains("/opt/old/velvix"));
}

TEST_F(StartAtLogin, ExecQuotesThePathAsDesktopEntriesRequire) {
  const struct {
    const char* executable;
    const char* exec;
  } cases[] = {
      {"/usr/bin/velvix", R"(Exec=/usr/bin/velvix)"},
      {"/opt/My Apps/velvix", R"(Exec="/opt/My Apps/velvix")"},
      {"/opt/100%/$HOME/a\"b", R"(Exec="/opt/100%%/\\$HOME/a\\"b")"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.executable);
    Autostart autostart(QString::fromUtf8(c.executable));
    ASSERT_TRUE(autostart.setEnabled(true));
    EXPECT_TRUE(entry().contains(QByteArray("\n") + c.exec + "\n")) << entry().toStdString();
    EXPECT_TRUE(Autostart(QString::fromUtf8(c.executable)).enabled());
  }
}

TEST_F(StartAtLogin, OnlyAnEnabledEntryStartingThisExecutableReadsAsOn) {
  const struct {
    const char* name;
    const char* entry;
    bool on;
  } cases[] = {
      {"another installation's", "[Desktop Entry]\nExec=/opt/old/velvix\n", false},
      {"ours with arguments", "[Desktop Entry]\nExec=/usr/bin/velvix --backend x11\n", true},
      {"quoted by hand", "[Desktop Entry]\nExec = \"/usr/bin/velvix\"\n", true},
      {"hidden by the user", "[Desktop Entry]\nExec=/usr/bin/velvix\nHidden=true\n", false},
      {"ours only in an action", "[Desktop Entry]\n[Desktop Action a]\nExec=/usr/bin/velvix\n",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeEntry(c.entry);
    EXPECT_EQ(Autostart(QStringLiteral("/usr/bin/velvix")).enabled(), c.on);
  }
}

TEST_F(StartAtLogin, AFolderThatCannotBeWrittenReportsFailureAndStaysOff) {
  // A file where the folder should be defeats even root, whom permissions would not stop.
  QFile blocker(QFileInfo(Autostart::entryPath()).path());
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();

  Autostart autostart;
  EXPECT_FALSE(autostart.setEnabled(true));
  EXPECT_FALSE(autostart.enabled());
}

TEST_F(StartAtLogin, TheOptionsShowTheEntryAsItIsEachTimeTheyOpen) {
  for (const auto shell : {VelvixApp::Shell::trayIcon, VelvixApp::Shell::window}) {
    SCOPED_TRACE(shell == VelvixApp::Shell::window ? "window" : "tray panel");
    QFile::remove(Autostart::entryPath());
    sim::LogCapture log;
    SimulatedDesktop desktop{log};
    sim::MemoryDefaults defaults;
    VelvixApp app(defaults, desktop.ports());
    app.openInterface(shell);
    if (app.trayIcon()) emit app.trayIcon()->activated(QSystemTrayIcon::Trigger);
    QObject* options = app.optionsForm();
    if (!options) options = app.optionsWindow();
    ASSERT_TRUE(options);
    settle();
    QObject* row = find(*options, QStringLiteral("startsAtLogin"));
    QObject* toggle = row ? find(*row, QStringLiteral("switch")) : nullptr;
#ifdef Q_OS_MACOS
    EXPECT_FALSE(shown(toggle)) << "a Mac starts apps at login through login items";
#else
    ASSERT_TRUE(shown(toggle));
    EXPECT_FALSE(toggle->property("checked").toBool());

    // Changed behind their back, as by a second copy of Velvix or by hand.
    ASSERT_TRUE(Autostart().setEnabled(true));
    QMetaObject::invokeMethod(options, "hide");
    QMetaObject::invokeMethod(options, "show");
    settle();
    EXPECT_TRUE(toggle->property("checked").toBool());

    click(*toggle);
    EXPECT_FALSE(QFile::exists(Autostart::entryPath()));
    EXPECT_FALSE(toggle->property("checked").toBool());
#endif
  }
}

}  // namespace
}  // namespace velvix::test
