// The interface tests run without a display: Qt renders offscreen, with the software scene
// graph so that windows can be grabbed into images. Both are set before the application
// object exists, as Qt requires.

#include <gtest/gtest.h>

#include <QtQml/qqmlextensionplugin.h>
#include <QApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>

Q_IMPORT_QML_PLUGIN(Velvix_UIPlugin)

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
