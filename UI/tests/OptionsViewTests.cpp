#include "OptionsForm.hpp"
#include "UiHarness.hpp"

#include <gtest/gtest.h>

#include <QWindow>

#include <QTest>

#include <algorithm>
#include <cmath>
#include <span>
#include <stdexcept>
#include <vector>

namespace velvix::test {
namespace {

using Status = OverlayController::Status;

// The options come as the Qt Quick panel, or, on a desktop without a tray, as a Widgets window;
// their controls share their object names, so the tests of what they show and write run on
// both.
enum class View { panel, form };

class OptionsView : public ::testing::Test {
 protected:
  // Opens the view; the tests set the status's desktop before, as the application does.
  void open() {
    if (view == View::panel) {
      window = ui.open("OptionsWindow.qml");
      if (!window) throw std::runtime_error("no options window");
      root = window.get();
      return;
    }
    form = std::make_unique<OptionsForm>(ui.settingsModel, ui.statusModel, nullptr);
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    root = form.get();
  }
  QObject* item(const char* name) { return find(*root, QString::fromUtf8(name)); }
  QObject* under(const char* row, const char* name) {
    QObject* found = item(row);
    return found ? find(*found, QString::fromUtf8(name)) : nullptr;
  }
  QObject* switchOf(const char* row) { return under(row, "switch"); }
  QString text(const char* name) { return item(name)->property("text").toString(); }
  QQuickItem* quick(const char* name) { return find(*window, QString::fromUtf8(name)); }
  // Keys pressed where the view's focus is.
  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    if (window) return QTest::keyClick(window.get(), key, modifiers);
    QTest::keyClick(form->focusWidget() ? form->focusWidget() : form.get(), key, modifiers);
  }

  UiHarness ui;
  View view = View::panel;
  std::unique_ptr<QQuickWindow> window;
  std::unique_ptr<OptionsForm> form;
  QObject* root = nullptr;
};

class BothViews : public OptionsView, public ::testing::WithParamInterface<View> {
 protected:
  BothViews() { view = GetParam(); }
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

TEST_P(BothViews, EachSwitchShowsItsSettingAndWritesTheUsersFlip) {
  open();
  for (const auto& row : kSwitches) {
    SCOPED_TRACE(row.name);
    QObject* toggle = switchOf(row.name);
    ASSERT_TRUE(toggle);
    (ui.settings.*row.set)(true);
    EXPECT_TRUE(toggle->property("checked").toBool());
    click(*toggle);
    EXPECT_FALSE((ui.settings.*row.get)()) << "the click reaches the setting";
    EXPECT_FALSE(toggle->property("checked").toBool());
    (ui.settings.*row.set)(true);
    EXPECT_TRUE(toggle->property("checked").toBool()) << "still follows after the user's flip";
  }
}

TEST_P(BothViews, CategoriesFollowTheMainSwitchAndUnblurFollowsBlurMessages) {
  open();
  const struct {
    bool isEnabled, blurMessages, categoriesEnabled, unblurEnabled;
  } cases[] = {{true, true, true, true}, {true, false, true, false}, {false, true, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "on " << c.isEnabled << ", messages " << c.blurMessages);
    ui.settings.setIsEnabled(c.isEnabled);
    ui.settings.setBlurMessages(c.blurMessages);
    settle();
    EXPECT_TRUE(shown(switchOf("isEnabled"))) << "the main switch always works";
    for (const auto& row : std::span(kSwitches).subspan(1)) {
      SCOPED_TRACE(row.name);
      QObject* toggle = switchOf(row.name);
      const bool unblur = row.name == std::string_view("unblurLastMessages");
      EXPECT_EQ(toggle->property("enabled").toBool(),
                unblur ? c.unblurEnabled : c.categoriesEnabled);
      EXPECT_TRUE(toggle->property("visible").toBool()) << "disabled switches stay in view";
    }
  }
}

TEST_P(BothViews, NotesAndTheGrantButtonShowOnlyWithoutAccess) {
  const QString together = QStringLiteral("Blurred together without Accessibility access");
  const QString needsAccess = QStringLiteral("Requires Accessibility access");
  const std::pair<const char*, QString> notes[] = {
      {"blurPreviews", together},         {"blurNames", together},
      {"blurMediaPreview", needsAccess},  {"blurMediaGallery", needsAccess},
      {"coversMovingLists", needsAccess}, {"blurMessages", QString()},
  };
  open();
  for (const bool access : {false, true, false}) {
    SCOPED_TRACE(access ? "with access" : "without access");
    ui.status.setAccess(access);
    settle();
    for (const auto& [row, note] : notes) {
      SCOPED_TRACE(row);
      QObject* label = under(row, "note");
      EXPECT_EQ(shown(label), !access && !note.isEmpty());
      EXPECT_TRUE(access || label->property("text").toString() == note);
    }
    EXPECT_EQ(shown(item("grantAccess")), !access);
  }
  EXPECT_EQ(text("grantAccess"), "Grant Accessibility access for precise blurring");
  click(*item("grantAccess"));
  EXPECT_EQ(ui.status.prompts, 1);
}

// The panel is as wide as its content with its padding, and exactly as tall: granting access
// takes the notes away and the window shrinks with its top edge kept under the tray icon.
TEST_F(OptionsView, FitsItsContentKeepingItsTopEdge) {
  open();
  window->setPosition(200, 24);
  settle();
  QQuickItem* view = quick("optionsView");
  EXPECT_EQ(view->width(), 283);
  EXPECT_EQ(quick("isEnabled")->mapToItem(view, QPointF(0, 0)), QPointF(14, 14));
  EXPECT_EQ(quick("isEnabled")->width(), 283 - 2 * 14);
  const auto fits = [&] {
    return std::abs(window->height() - view->property("contentHeight").toReal()) < 1;
  };
  EXPECT_TRUE(fits());
  const int withoutAccess = window->height();

  ui.status.setAccess(true);
  settle();
  EXPECT_TRUE(fits());
  EXPECT_LT(window->height(), withoutAccess);
  EXPECT_EQ(window->geometry().topLeft(), QPoint(200, 24));
  EXPECT_EQ(window->width(), 283);

  ui.status.setAccess(false);
  settle();
  EXPECT_EQ(window->geometry(), QRect(200, 24, 283, withoutAccess));

  // Sized by something else while in the background, it fits again when next activated.
  QWindow other;
  other.show();
  other.requestActivate();
  settle();
  ASSERT_FALSE(window->isActive());
  window->resize(283, 100);
  settle();
  window->requestActivate();
  settle();
  EXPECT_TRUE(fits());
}

// The texts themselves are the labels' (LabelsTests); here each reaches the view with its
// symbol, and the longest line wraps inside the panel rather than running off its edge.
TEST_P(BothViews, StatusLineShowsTheStateWithItsSymbol) {
  const struct {
    Status status;
    const char* text;
    StatusModel::Symbol symbol;
  } cases[] = {
      {Status::protecting(false), "Protecting WhatsApp (layout mode)", StatusModel::Symbol::Lock},
      {Status::waitingForWhatsApp(), "Waiting for WhatsApp…", StatusModel::Symbol::Hourglass},
      {Status::disabled(), "Protection is off", StatusModel::Symbol::Eye},
  };
  open();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ui.status.setStatus(c.status);
    settle();
    EXPECT_EQ(text("statusText"), QString::fromUtf8(c.text));
    if (window) {  // the form draws the same symbols into a picture
      EXPECT_EQ(quick("statusSymbol")->property("symbol").value<StatusModel::Symbol>(), c.symbol);
    }
  }
  if (!window) return;
  ui.status.setStatus(Status::unmeasured());
  settle();
  QQuickItem* line = quick("statusText");
  EXPECT_GT(line->property("lineCount").toInt(), 1);
  EXPECT_LE(line->mapToScene({line->width(), 0}).x(), window->width());
}

// The keyboard alone reaches every control: Tab goes round them all, Space flips a switch.
TEST_F(OptionsView, TabGoesThroughEveryControlAndSpaceFlipsTheFocusedSwitch) {
  open();
  window->requestActivate();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  std::vector<QQuickItem*> chain;
  std::vector<QString> texts;
  for (int i = 0; i < 40; ++i) {
    QTest::keyClick(window.get(), Qt::Key_Tab);
    QQuickItem* focused = window->activeFocusItem();
    ASSERT_TRUE(focused);
    if (!chain.empty() && focused == chain.front()) break;
    chain.push_back(focused);
    texts.push_back(focused->property("text").toString());
  }
  for (const QString button : {"Layout…", "Quit Velvix"})
    EXPECT_NE(std::find(texts.begin(), texts.end(), button), texts.end()) << button.toStdString();
  EXPECT_GE(chain.size(), 13U) << "the eleven switches and both buttons";

  while (window->activeFocusItem() != switchOf("isEnabled"))
    QTest::keyClick(window.get(), Qt::Key_Tab);
  QTest::keyClick(window.get(), Qt::Key_Space);
  EXPECT_FALSE(ui.settings.isEnabled());
}

// The extra protection's choices: each shows its setting, and a click or the keys pressed
// write it.
TEST_P(BothViews, ExtraProtectionShowsAndWritesItsChoices) {
  open();
  const auto choice = [&](const char* row, int index) {
    return find(*item(row), QStringLiteral("choice%1").arg(index));
  };
  EXPECT_TRUE(choice("blurStrength", 1)->property("checked").toBool()) << "medium by default";
  click(*choice("blurStrength", 2));
  EXPECT_EQ(ui.settings.blurStrength(), BlurStrength::strong);
  ui.settings.setBlurStrength(BlurStrength::light);
  EXPECT_TRUE(choice("blurStrength", 0)->property("checked").toBool());
  EXPECT_FALSE(choice("blurStrength", 2)->property("checked").toBool());
  click(*choice("idleMinutes", 3));
  EXPECT_EQ(ui.settings.idleMinutes(), 5);

  QObject* shortcut = item("shortcut");
  EXPECT_EQ(text("shortcut"), "Ctrl+Alt+B");
  const struct {
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    const char* stored;
  } presses[] = {
      {Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier, "Ctrl+Shift+K"},
      {Qt::Key_7, Qt::MetaModifier | Qt::AltModifier, "Alt+Super+7"},
      {Qt::Key_F5, Qt::AltModifier, "Alt+F5"},
      {Qt::Key_Escape, Qt::NoModifier, "Alt+F5"},  // leaves it as it was
      {Qt::Key_Backspace, Qt::NoModifier, ""},
  };
  for (const auto& keys : presses) {
    SCOPED_TRACE(keys.stored);
    click(*shortcut);
    press(Qt::Key_J);  // without a modifier: not taken
    EXPECT_EQ(text("shortcut"), "Press keys…");
    press(keys.key, keys.modifiers);
    settle();
    EXPECT_EQ(ui.settings.panicShortcut(), keys.stored);
  }
  EXPECT_EQ(text("shortcut"), "None");
  EXPECT_FALSE(shown(item("shortcutProblem"))) << "no problem to tell";
}

TEST_P(BothViews, WhatTheDesktopCannotDoIsNotOffered) {
  ui.status.problem = "Another program already uses Ctrl+Alt+B";
  open();
  EXPECT_TRUE(shown(item("shortcutProblem")));
  EXPECT_EQ(text("shortcutProblem"), "Another program already uses Ctrl+Alt+B");

  ui.status.offered = {};
  open();
  for (const char* row : {"blurStrength", "idleMinutes", "panicShortcut", "shortcutProblem"})
    EXPECT_FALSE(shown(item(row))) << row;
  EXPECT_TRUE(shown(item("coversUnrecognised")));
}

INSTANTIATE_TEST_SUITE_P(PanelAndForm, BothViews, ::testing::Values(View::panel, View::form),
                         [](const auto& info) {
                           return info.param == View::panel ? "Panel" : "Form";
                         });

}  // namespace
}  // namespace velvix::test
