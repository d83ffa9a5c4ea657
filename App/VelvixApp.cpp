#include "VelvixApp.hpp"

#include "MenuBarIcon.hpp"
#include "OptionsForm.hpp"

#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <QQmlComponent>
#include <QQuickItem>
#include <QScreen>
#include <QSystemTrayIcon>

#include <algorithm>
#include <cstdio>

namespace velvix {

namespace {

std::unique_ptr<OverlayController> startedOverlay(AppSettings& settings,
                                                  const OverlayPorts& ports) {
  auto overlay = std::make_unique<OverlayController>(settings, ports);
  overlay->start();
  return overlay;
}

}  // namespace

VelvixApp::VelvixApp(platform::Defaults& defaults, const OverlayPorts& ports, QObject* parent)
    : QObject(parent),
      settings_(defaults, platform::Logger(ports.log, "settings")),
      overlay_(startedOverlay(settings_, ports)),
      status_(*overlay_, ports.accessibility),
      settingsModel_(settings_),
      statusModel_(status_),
      toolkit_(ports.toolkit),
      scheduler_(ports.scheduler) {}

VelvixApp::~VelvixApp() {
  // Closing the windows on the way out is not the user asking to quit.
  if (options_) options_->disconnect(this);
  if (form_) form_->disconnect(this);
}

std::unique_ptr<QQuickWindow> VelvixApp::createWindow(const QString& file) {
  if (!engine_) {
    engine_ = std::make_unique<QQmlEngine>();
    engine_->addImportPath(QStringLiteral("qrc:/qt/qml"));
  }
  QQmlComponent component(engine_.get(), QUrl(QStringLiteral("qrc:/qt/qml/Velvix/UI/") + file));
  std::unique_ptr<QObject> object(component.createWithInitialProperties(
      {{QStringLiteral("settings"), QVariant::fromValue(&settingsModel_)},
       {QStringLiteral("overlay"), QVariant::fromValue(&statusModel_)}}));
  auto* window = qobject_cast<QQuickWindow*>(object.get());
  if (!window) {
    // The views are compiled into the program; failing here is a build fault, not a user's.
    std::fprintf(stderr, "velvix: cannot create %s: %s\n", qPrintable(file),
                 qPrintable(component.errorString()));
    return nullptr;
  }
  object.release();
  return std::unique_ptr<QQuickWindow>(window);
}

void VelvixApp::openInterface(Shell shell) {
  if (options_ || form_ || tray_) return;
  if (shell == Shell::window) {
    form_ = std::make_unique<OptionsForm>(settingsModel_, statusModel_, startsAtLogin());
    connect(form_.get(), &OptionsForm::layoutRequested, this, &VelvixApp::openCalibration);
    connect(form_.get(), &OptionsForm::quitRequested, this, &VelvixApp::quitRequested);
    // Without a tray this window is the only way back to the options and to "Quit Velvix":
    // closing it must not leave an invisible process that nothing can reach or end.
    connect(form_.get(), &OptionsForm::closed, this, &VelvixApp::quitRequested);
    form_->show();
    return;
  }

  // The panel is built at the first click: until then Velvix runs without a QML scene, which
  // is most of its memory.
  tray_ = std::make_unique<QSystemTrayIcon>();
  tray_->setToolTip(QStringLiteral("Velvix"));
  refreshTrayIcon();
  trayFollowsSwitch_ =
      settings_.observe(AppSettings::Property::isEnabled, [this] { refreshTrayIcon(); });
  trayFollowsCover_ = overlay_->observeStatus([this] { refreshTrayIcon(); });
  connect(tray_.get(), &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason == QSystemTrayIcon::Trigger) togglePanel();
          });
  tray_->show();
}

QObject* VelvixApp::startsAtLogin() {
#ifdef Q_OS_MACOS
  // A Mac would need a login item, which Velvix does not make.
  return nullptr;
#else
  // The desktop's autostart folder. The entry may have been changed by hand or by another
  // installation since the options last showed: the views read it at each showing.
  return &autostart_;
#endif
}

bool VelvixApp::createPanel() {
  options_ = createWindow(QStringLiteral("OptionsWindow.qml"));
  if (!options_) return false;
  connect(options_.get(), SIGNAL(layoutRequested()), this, SLOT(openCalibration()));
  connect(options_.get(), SIGNAL(quitRequested()), this, SIGNAL(quitRequested()));
  if (QObject* autostart = startsAtLogin()) {
    if (auto* view = options_->findChild<QQuickItem*>(QStringLiteral("optionsView")))
      view->setProperty("autostart", QVariant::fromValue(autostart));
    connect(options_.get(), &QWindow::visibleChanged, &autostart_, [this](bool visible) {
      if (visible) autostart_.refresh();
    });
  }
  connect(options_.get(), &QWindow::activeChanged, this, [this] {
    if (options_->isActive()) {
      panelWasActive_ = true;
    } else if (panelWasActive_ && options_->isVisible()) {
      putPanelAway();
    }
  });
  connect(options_.get(), &QWindow::visibleChanged, this, [this](bool visible) {
    if (visible) return;
    panelWasActive_ = false;
    clicksOutsidePanel_ = {};
  });
  return true;
}

void VelvixApp::putPanelAway() {
  panelPutAway_ = scheduler_.mediaTime();
  options_->hide();
}

void VelvixApp::refreshTrayIcon() {
  if (!tray_) return;
  const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1;
  using Kind = OverlayController::Status::Kind;
  const Kind kind = overlay_->status().kind;
  const bool coversAll = kind == Kind::coveredByKey || kind == Kind::coveredWhileAway;
  if (coversAll == trayShowsCover_ && !tray_->icon().isNull() &&
      settings_.isEnabled() == trayShowsEnabled_)
    return;
  trayShowsCover_ = coversAll;
  trayShowsEnabled_ = settings_.isEnabled();
  // The dot's orange reads on light and dark bars alike, as a recording light does.
  const QColor badge(0xFF, 0x95, 0x00);
#ifdef Q_OS_MACOS
  // The menu bar tints a template to its own appearance; a badge in colour is no template.
  QImage image = menuBarIcon(settings_.isEnabled(), ratio);
  QIcon icon(QPixmap::fromImage(coversAll ? withCoverBadge(image, badge) : image));
  icon.setIsMask(!coversAll);
#else
  // A tray paints the icon as it is, over a panel of any colour.
  QImage image = velvix::trayIcon(settings_.isEnabled(), ratio);
  const QIcon icon(QPixmap::fromImage(coversAll ? withCoverBadge(image, badge) : image));
#endif
  tray_->setIcon(icon);
  tray_->setToolTip(coversAll ? QStringLiteral("Velvix — everything of WhatsApp is hidden")
                              : QStringLiteral("Velvix"));
}

QPoint VelvixApp::panelPosition(const QRect& anchor, const QSize& panel, const QRect& available) {
  // QRect's right() and bottom() are inclusive (one less than the edge) and its centre rounds
  // down: work with the edges themselves.
  const int anchorMidX = anchor.x() + anchor.width() / 2;
  const int anchorMidY = anchor.y() + anchor.height() / 2;
  const int availableRight = available.x() + available.width();
  const int left = std::clamp(anchorMidX - panel.width() / 2, available.x(),
                              std::max(available.x(), availableRight - panel.width()));
  const bool bottomPanel = anchorMidY > available.y() + available.height() / 2;
  const int top = bottomPanel ? std::max(available.y(), anchor.y() - panel.height())
                              : anchor.y() + anchor.height();
  return {left, top};
}

void VelvixApp::showOptions() {
  if (tray_) {
    if (options_ && options_->isVisible()) {
      options_->requestActivate();
      return;
    }
    panelPutAway_ = -1e9;  // not the click that put it away: asked for by another launch
    togglePanel();
  } else if (form_) {
    form_->show();
    form_->raise();
    form_->activateWindow();
  }
}

void VelvixApp::togglePanel() {
  if (!options_) {
    if (!createPanel()) return;
    // The panel takes its final height only after its first layout pass, and may change it
    // later: keep it against the icon it dropped from (above a bottom tray, its bottom edge
    // is what must stay put).
    connect(options_.get(), &QWindow::heightChanged, this, [this] {
      if (options_->isVisible()) placePanel();
    });
  }
  if (options_->isVisible()) {
    options_->hide();
    return;
  }
  if (scheduler_.mediaTime() - panelPutAway_ < 0.3) return;
  // Some trays do not say where their icons are; the pointer that clicked one is close by.
  panelAnchor_ = tray_ ? tray_->geometry() : QRect();
  if (!panelAnchor_.isValid()) panelAnchor_ = QRect(QCursor::pos(), QSize(1, 1));
  placePanel();
  options_->show();
  options_->requestActivate();
  // A click anywhere else puts it away, the icon's own included (heard through the toolkit:
  // a click on the desktop itself takes no focus from the panel).
  clicksOutsidePanel_ = toolkit_.addGlobalClickMonitor([this] {
    if (options_ && options_->isVisible() && !options_->geometry().contains(QCursor::pos()))
      putPanelAway();
  });
}

void VelvixApp::placePanel() {
  QScreen* screen = QGuiApplication::screenAt(panelAnchor_.center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  const QRect available =
      screen ? screen->availableGeometry() : QRect(panelAnchor_.topLeft(), options_->size());
  options_->setPosition(panelPosition(panelAnchor_, options_->size(), available));
}

void VelvixApp::openCalibration() {
  // The dropped panel would lie over the calibration window's sliders.
  if (tray_ && options_ && options_->isVisible()) options_->hide();
  if (!calibration_) {
    calibration_ = createWindow(QStringLiteral("CalibrationWindow.qml"));
    if (!calibration_) return;
  }
  calibration_->show();
  calibration_->raise();
  calibration_->requestActivate();
}

}  // namespace velvix
