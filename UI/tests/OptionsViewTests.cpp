#include "MenuWindowFitter.hpp"
#include "UiHarness.hpp"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <vector>

namespace velvix::test {
namespace {

using Status = OverlayController::Status;

class OptionsView : public ::testing::Test {
 protected:
  UiHarness ui;
};

// One row per switch of the panel: the setting it shows and writes.
struct SwitchRow {
  const char* name;
  bool (AppSettings::*get)() const;
  void (AppSettings::*set)(bool);
};
constexpr SwitchRow kSwitches[] = {
    {"isEnabled", &AppSettings::isEnabled, &AppSettings::setIsEnabled},
    {"unblurLastMessages", &AppSettings::unblurLastMessages, &AppSettings::setUnblurLastMessages},
    {"blurMessages", &AppSettings::blurMessages, &AppSettings::setBlurMessages},
    {"blurPreviews", &AppSettings::blurPreviews, &AppSettings::setBlurPreviews},
    {"blurTextInput", &AppSettings::blurTextInput, &AppSettings::setBlurTextInput},
    {"blurNames", &AppSettings::blurNames, &AppSettings::setBlurNames},
    {"blurProfilePictures", &AppSettings::blurProfilePictures,
     &AppSettings::setBlurProfilePictures},
    {"blurMediaPreview", &AppSettings::blurMediaPreview, &AppSettings::setBlurMediaPreview},
    {"blurMediaGallery", &AppSettings::blurMediaGallery, &AppSettings::setBlurMediaGallery},
    {"coversMovingLists", &AppSettings::coversMovingLists, &AppSettings::setCoversMovingLists},
    {"coversUnrecognised", &AppSettings::coversUnrecognised, &AppSettings::setCoversUnrecognised},
};

QQuickItem* switchOf(QQuickWindow& window, const char* row) {
  QQuickItem* item = find(window, QString::fromUtf8(row));
  return item ? item->property("control").value<QQuickItem*>() : nullptr;
}

TEST_F(OptionsView, EachSwitchShowsItsSettingAndWritesTheUsersFlip) {
  auto window = ui.open("OptionsWindow.qml");
  ASSERT_TRUE(window);
  for (const auto& row : kSwitches) {
    SCOPED_TRACE(row.name);
    QQuickItem* toggle = switchOf(*window, row.name);
    ASSERT_TRUE(toggle);

    (ui.settings.*row.set)(true);
    EXPECT_TRUE(toggle->property("checked").toBool());

    click(*toggle);
    EXPECT_FALSE((ui.settings.*row.get)()) << "the click reaches the setting";
    EXPECT_FALSE(toggle->property("checked").toBool());

    // After the user's flip the switch must still follow the setting.
    (ui.settings.*row.set)(true);
    EXPECT_TRUE(toggle->property("checked").toBool());
    (ui.settings.*row.set)(false);
    EXPECT_FALSE(toggle->property("checked").toBool());
    (ui.settings.*row.set)(true);
  }
}

TEST_F(OptionsView, CategoriesFollowTheMainSwitchAndUnblurFollowsBlurMessages) {
  auto window = ui.open("OptionsWindow.qml");
  ASSERT_TRUE(window);
  const struct {
    const char* name;
    bool isEnabled;
    bool blurMessages;
    bool categoriesEnabled;
    bool unblurEnabled;
  } cases[] = {
      {"all on", true, true, true, true},
      {"messages not blurred: nothing to unblur", true, false, true, false},
      {"protection off disables every category", false, true, false, false},
      {"protection off and messages not blurred", false, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ui.settings.setIsEnabled(c.isEnabled);
    ui.settings.setBlurMessages(c.blurMessages);
    settle();
    EXPECT_TRUE(switchOf(*window, "isEnabled")->isEnabled()) << "the main switch always works";
    for (const auto& row : kSwitches) {
      if (row.name == std::string_view("isEnabled")) continue;
      SCOPED_TRACE(row.name);
      QQuickItem* toggle = switchOf(*window, row.name);
      ASSERT_TRUE(toggle);
      const bool expected = row.name == std::string_view("unblurLastMessages")
                                ? c.unblurEnabled
                                : c.categoriesEnabled;
      EXPECT_EQ(toggle->isEnabled(), expected);
      EXPECT_TRUE(toggle->isVisible()) << "disabled switches stay in view";
    }
  }
}

TEST_F(OptionsView, ADisabledSwitchIgnoresClicks) {
  auto window = ui.open("OptionsWindow.qml");
  ASSERT_TRUE(window);
  ui.settings.setIsEnabled(false);
  settle();
  const bool before = ui.settings.blurNames();
  click(*switchOf(*window, "blurNames"));
  EXPECT_EQ(ui.settings.blurNames(), before);

  ui.settings.setIsEnabled(true);
  ui.settings.setBlurMessages(false);
  settle();
  const bool unblur = ui.settings.unblurLastMessages();
  click(*switchOf(*window, "unblurLastMessages"));
  EXPECT_EQ(ui.settings.unblurLastMessages(), unblur);
}

TEST_F(OptionsView, NotesAndTheGrantButtonShowOnlyWithoutAccess) {
  const struct {
    const char* row;
    const char* note;  // without access; empty when the row never has one
  } rows[] = {
      {"isEnabled", ""},
      {"unblurLastMessages", ""},
      {"blurMessages", ""},
      {"blurPreviews", "Blurred together without Accessibility access"},
      {"blurTextInput", ""},
      {"blurNames", "Blurred together without Accessibility access"},
      {"blurProfilePictures", ""},
      {"blurMediaPreview", "Requires Accessibility access"},
      {"blurMediaGallery", "Requires Accessibility access"},
      {"coversMovingLists", "Requires Accessibility access"},
  };
  ui.status.setAccess(false);
  auto window = ui.open("OptionsWindow.qml");
  ASSERT_TRUE(window);

  for (const bool access : {false, true, false}) {
    SCOPED_TRACE(access ? "with access" : "without access");
    ui.status.setAccess(access);
    settle();
    for (const auto& r : rows) {
      SCOPED_TRACE(r.row);
      QQuickItem* note = find(*find(*window, QString::fromUtf8(r.row)), "note");
      ASSERT_TRUE(note);
      const bool expectNote = !access && *r.note != '\0';
      EXPECT_EQ(note->isVisible(), expectNote);
      if (expectNote) {
        EXPECT_EQ(note->property("text").toString(), QString::fromUtf8(r.note));
      }
    }
    QQuickItem* grant = find(*window, "grantAccess");
    ASSERT_TRUE(grant);
    EXPECT_EQ(grant->isVisible(), !access);
    if (!access) {
      EXPECT_EQ(grant->property("text").toString(),
                "Grant Accessibility access for precise blurring");
    }
  }
}

TEST_F(OptionsView, GrantingAccessShrinksThePanelWithItsTopEdgeKept) {
  ui.status.setAccess(false);
  auto window = ui.open("OptionsWindow.qml");
  ASSERT_TRUE(window);
  window->setPosition(200, 24);
  settle();
  QQuickItem* view = find(*window, "optionsView");
  ASSERT_TRUE(view);

  const auto fits = [&] {
    return std::abs(window->height() - view->property("contentHeight").toReal()) < 1;
  };
  EXPECT_TRUE(fits()) << window->height() << " vs " << view->property("contentHeight").toReal();
  const int withoutAccess = window->height();

  ui.status.setAccess(true);
  settle();
  EXPECT_TRUE(fits());
  EXPECT_LT(window->height(), withoutAccess);
  EXPECT_EQ(window->y(), 24) << "the top edge stays under the tray icon";
  EXPECT_EQ(window->width(), 283);

  ui.status.setAccess(false);
  settle();
  EXPECT_EQ(window->height(), withoutAccess);
  EXPECT_EQ(window->y(), 24);
}

TEST_F(OptionsView, TheFitterIgnoresChangesUnderOnePoint) {
  auto window = ui.open("OptionsWindow.qml");
  ASSERT_TRUE(window);
  auto* fitter = qobject_cast<MenuWindowFitterItem*>(
      find(*window, "optionsView")->findChild<MenuWindowFitterItem*>());
  ASSERT_TRUE(fitter);
  const QRect before = window->geometry();

  fitter->setContentHeight(before.height() + 0.9);
  settle();
  EXPECT_EQ(window->geometry(), before);
  fitter->setContentHeight(before.height() - 0.9);
  settle();
  EXPECT_EQ(window->geometry(), before);

  fitter->setContentHeight(before.height() + 40);
  settle();
  EXPECT_EQ(window->geometry(),
            QRect(before.x(), before.y(), before.width(), before.height() + 40));
}

TEST_F(OptionsView, StatusLineNamesEachState) {
  const struct {
    const char* name;
    Status status;
    const char* text;
    StatusModel::Symbol symbol;
  } cases[] = {
      {"precise", Status::protecting(true), "Protecting WhatsApp", StatusModel::Symbol::Lock},
      {"layout mode", Status::protecting(false), "Protecting WhatsApp (layout mode)",
       StatusModel::Symbol::Lock},
      {"waiting", Status::waitingForWhatsApp(), "Waiting for WhatsApp…",
       StatusModel::Symbol::Hourglass},
      {"off", Status::disabled(), "Protection is off", StatusModel::Symbol::Eye},
      {"panic key", Status::of(Status::Kind::coveredByKey),
       "Everything is hidden — press the panic key again to show WhatsApp",
       StatusModel::Symbol::Lock},
      {"away", Status::of(Status::Kind::coveredWhileAway),
       "Everything is hidden while you are away", StatusModel::Symbol::Lock},
      {"unrecognised", Status::of(Status::Kind::unrecognised),
       "WhatsApp not recognised — blurring the calibrated areas", StatusModel::Symbol::Lock},
      {"unmeasured", Status::unmeasured(),
       "Couldn't measure WhatsApp — everything is blurred. Open Layout… to calibrate.",
       StatusModel::Symbol::Lock},
  };
  auto window = ui.open("OptionsWindow.qml");
  ASSERT_TRUE(window);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ui.status.setStatus(c.status);
    settle();
    EXPECT_EQ(find(*window, "statusText")->property("text").toString(), QString::fromUtf8(c.text));
    EXPECT_EQ(find(*window, "statusSymbol")->property("symbol").value<StatusModel::Symbol>(),
              c.symbol);
  }
  // The longest line wraps inside the panel rather than running off its edge.
  QQuickItem* text = find(*window, "statusText");
  EXPECT_GT(text->property("lineCount").toInt(), 1);
  EXPECT_LE(text->mapToScene({text->width(), 0}).x(), window->width());
}

TEST_F(OptionsView, ButtonsPromptLayoutAndQuit) {
  ui.status.setAccess(false);
  auto window = ui.open("OptionsWindow.qml");
  ASSERT_TRUE(window);
  QSignalSpy layout(window.get(), SIGNAL(layoutRequested()));
  QSignalSpy quit(window.get(), SIGNAL(quitRequested()));

  click(*find(*window, "grantAccess"));
  EXPECT_EQ(ui.status.prompts, 1);

  click(*find(*window, "layout"));
  EXPECT_EQ(layout.count(), 1);
  EXPECT_EQ(quit.count(), 0);
  click(*find(*window, "quit"));
  EXPECT_EQ(quit.count(), 1);
}

TEST_F(OptionsView, ModelsNotifyOnlyOnRealChanges) {
  QSignalSpy statusChanged(&ui.statusModel, &StatusModel::statusChanged);
  QSignalSpy accessChanged(&ui.statusModel, &StatusModel::hasAccessibilityAccessChanged);
  QSignalSpy namesChanged(&ui.settingsModel, &SettingsModel::blurNamesChanged);
  QSignalSpy enabledChanged(&ui.settingsModel, &SettingsModel::isEnabledChanged);

  ui.status.setStatus(Status::protecting(false));
  ui.status.setStatus(Status::protecting(false));
  ui.status.setStatus(Status::protecting(true));
  EXPECT_EQ(statusChanged.count(), 2);
  ui.status.setAccess(true);
  ui.status.setAccess(true);
  EXPECT_EQ(accessChanged.count(), 1);

  const bool names = ui.settings.blurNames();
  ui.settingsModel.setBlurNames(names);  // written again, but not a change
  EXPECT_EQ(namesChanged.count(), 0);
  ui.settingsModel.setBlurNames(!names);
  EXPECT_EQ(namesChanged.count(), 1);
  EXPECT_EQ(enabledChanged.count(), 0) << "other properties stay quiet";
}

// The keyboard alone reaches every control: Tab goes round them all, Space flips a switch.
TEST_F(OptionsView, TabGoesThroughEveryControlAndSpaceFlipsTheFocusedSwitch) {
  auto window = ui.open("OptionsWindow.qml");
  ASSERT_TRUE(window);
  window->requestActivate();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  std::vector<QQuickItem*> chain;
  for (int i = 0; i < 40; ++i) {
    QTest::keyClick(window.get(), Qt::Key_Tab);
    QQuickItem* focused = window->activeFocusItem();
    ASSERT_TRUE(focused);
    if (!chain.empty() && focused == chain.front()) break;
    chain.push_back(focused);
  }
  std::vector<QString> texts;
  for (QQuickItem* item : chain)
    texts.push_back(item->property("text").toString());
  for (const char* button : {"Layout…", "Quit Velvix"})
    EXPECT_NE(std::find(texts.begin(), texts.end(), QString::fromUtf8(button)), texts.end())
        << button;
  EXPECT_GE(chain.size(), 13U) << "the eleven switches and both buttons";

  QQuickItem* onOff = find(*window, "isEnabled");
  const auto switchOf = std::find_if(chain.begin(), chain.end(),
                                     [&](QQuickItem* item) { return onOff->isAncestorOf(item); });
  ASSERT_NE(switchOf, chain.end());
  while (window->activeFocusItem() != *switchOf)
    QTest::keyClick(window.get(), Qt::Key_Tab);
  const bool before = ui.settings.isEnabled();
  QTest::keyClick(window.get(), Qt::Key_Space);
  EXPECT_NE(ui.settings.isEnabled(), before);
}

TEST_F(OptionsView, IsAsWideAsThePanelWithItsPadding) {
  auto window = ui.open("OptionsWindow.qml");
  ASSERT_TRUE(window);
  QQuickItem* view = find(*window, "optionsView");
  EXPECT_EQ(view->width(), 283);
  EXPECT_EQ(window->width(), 283);
  QQuickItem* onOff = find(*window, "isEnabled");
  const QPointF topLeft = onOff->mapToItem(view, QPointF(0, 0));
  EXPECT_EQ(topLeft, QPointF(14, 14));
  EXPECT_EQ(onOff->width(), 283 - 2 * 14);
}

// The extra protection's choices: each shows its setting, a click or the keys pressed write it,
// and what this desktop does not offer is not shown.
TEST_F(OptionsView, ExtraProtectionShowsAndWritesItsChoices) {
  auto window = ui.open("OptionsWindow.qml");
  ASSERT_TRUE(window);
  const auto choice = [&](const char* row, int index) {
    QQuickItem* item = find(*window, QString::fromUtf8(row));
    return item ? find(*item, QStringLiteral("choice%1").arg(index)) : nullptr;
  };
  ASSERT_TRUE(choice("blurStrength", 2) && choice("idleMinutes", 3));
  EXPECT_TRUE(choice("blurStrength", 1)->property("checked").toBool()) << "medium by default";
  click(*choice("blurStrength", 2));
  EXPECT_EQ(ui.settings.blurStrength(), BlurStrength::strong);
  ui.settings.setBlurStrength(BlurStrength::light);
  EXPECT_TRUE(choice("blurStrength", 0)->property("checked").toBool());
  EXPECT_FALSE(choice("blurStrength", 2)->property("checked").toBool());
  click(*choice("idleMinutes", 3));
  EXPECT_EQ(ui.settings.idleMinutes(), 5);

  QQuickItem* shortcut = find(*window, QStringLiteral("shortcut"));
  ASSERT_TRUE(shortcut);
  EXPECT_EQ(shortcut->property("text").toString(), "Ctrl+Alt+B");
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* stored;
  } presses[] = {
      {Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier, "Ctrl+Shift+K"},
      {Qt::Key_F5, Qt::AltModifier, "Alt+F5"},
      {Qt::Key_Escape, Qt::NoModifier, "Alt+F5"},  // leaves it as it was
      {Qt::Key_Backspace, Qt::NoModifier, ""},
  };
  for (const auto& press : presses) {
    SCOPED_TRACE(press.stored);
    click(*shortcut);
    QTest::keyClick(window.get(), Qt::Key_J);  // without a modifier: not taken
    QTest::keyClick(window.get(), press.key, press.modifiers);
    settle();
    EXPECT_EQ(ui.settings.panicShortcut(), press.stored);
  }
  EXPECT_EQ(shortcut->property("text").toString(), "None");
  EXPECT_FALSE(shown(find(*window, QStringLiteral("shortcutProblem"))));
}

TEST_F(OptionsView, WhatTheDesktopCannotDoIsNotOffered) {
  ui.status.offered = {};
  ui.status.problem = "Another program already uses Ctrl+Alt+B";
  auto window = ui.open("OptionsWindow.qml");
  ASSERT_TRUE(window);
  for (const char* row : {"blurStrength", "idleMinutes", "panicShortcut", "shortcutProblem"}) {
    SCOPED_TRACE(row);
    EXPECT_FALSE(shown(find(*window, QString::fromUtf8(row))));
  }
  EXPECT_TRUE(shown(find(*window, QStringLiteral("coversUnrecognised"))));

  ui.status.offered = {true, true, true};
  auto offered = ui.open("OptionsWindow.qml");
  EXPECT_EQ(find(*offered, QStringLiteral("shortcutProblem"))->property("text").toString(),
            "Another program already uses Ctrl+Alt+B");
  EXPECT_TRUE(shown(find(*offered, QStringLiteral("shortcutProblem"))));
}

}  // namespace
}  // namespace velvix::test
