#include "UiHarness.hpp"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QTest>
#include <QWidget>

namespace velvix::test {

UiHarness::UiHarness() {
  engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
}

UiHarness::~UiHarness() = default;

std::unique_ptr<QQuickWindow> UiHarness::open(const QString& file) {
  QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Velvix/UI/") + file));
  std::unique_ptr<QObject> object(component.createWithInitialProperties(
      {{QStringLiteral("settings"), QVariant::fromValue(&settingsModel)},
       {QStringLiteral("overlay"), QVariant::fromValue(&statusModel)}}));
  if (!object) {
    ADD_FAILURE() << "cannot create " << file.toStdString() << ": "
                  << component.errorString().toStdString();
    return nullptr;
  }
  std::unique_ptr<QQuickWindow> window(qobject_cast<QQuickWindow*>(object.release()));
  if (!window) {
    ADD_FAILURE() << file.toStdString() << " is not a window";
    return nullptr;
  }
  window->show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  settle();
  return window;
}

void settle() {
  // Layouts settle when a window polishes, which normally waits for the next frame; grabbing
  // a frame polishes and renders at once, so no test has to wait for a timer. A fit may follow
  // a polish, and a polish a fit: a few rounds reach the fixed point.
  for (int i = 0; i < 4; ++i) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
      auto* quick = qobject_cast<QQuickWindow*>(window);
      if (quick && quick->isVisible()) (void)quick->grabWindow();
    }
  }
}

QQuickItem* find(QQuickItem& root, const QString& name) {
  for (QQuickItem* child : root.childItems()) {
    if (child->objectName() == name) return child;
    if (QQuickItem* found = find(*child, name)) return found;
  }
  return nullptr;
}

QQuickItem* find(QQuickWindow& window, const QString& name) {
  return find(*window.contentItem(), name);
}

void click(QQuickItem& item, double fraction) {
  const QPointF local(item.width() * fraction, item.height() / 2);
  QTest::mouseClick(item.window(), Qt::LeftButton, {}, item.mapToScene(local).toPoint());
  settle();
}

QObject* find(QObject& root, const QString& name) {
  if (auto* window = qobject_cast<QQuickWindow*>(&root)) return find(*window, name);
  if (auto* item = qobject_cast<QQuickItem*>(&root)) return find(*item, name);
  return root.findChild<QObject*>(name);
}

void click(QObject& control) {
  if (auto* item = qobject_cast<QQuickItem*>(&control)) return click(*item);
  QTest::mouseClick(qobject_cast<QWidget*>(&control), Qt::LeftButton);
  settle();
}

bool shown(const QObject* control) {
  // An item's and a widget's `visible` and `enabled` both tell their ancestors' too.
  return control && control->property("visible").toBool() && control->property("enabled").toBool();
}

}  // namespace velvix::test
