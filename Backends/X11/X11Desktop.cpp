// Qt first: Xlib's headers define macros (Bool, Status) that Qt's headers refuse to follow.
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include "X11Desktop.hpp"

#include <Backends/Qt/QtScheduler.hpp>

#include "X11Connection.hpp"
#include "X11Toolkit.hpp"
#include "X11WindowServer.hpp"

namespace velvix::x11 {

// X events reach the listeners from Qt's loop: when the socket has data, and before the loop
// sleeps (a round trip may have read events into Xlib's queue, leaving the socket quiet; and
// requests buffered by Xlib must go out before we wait).
struct X11Desktop::EventPump {
  EventPump(X11Connection& connection, QObject* context)
      : connection(connection),
        notifier(connection.fileDescriptor(), QSocketNotifier::Read, context) {
    QObject::connect(&notifier, &QSocketNotifier::activated, context,
                     [this] { this->connection.dispatchPending(); });
    if (auto* dispatcher = QAbstractEventDispatcher::instance(QThread::currentThread())) {
      aboutToBlock = QObject::connect(
          dispatcher, &QAbstractEventDispatcher::aboutToBlock, context, [this, context] {
            this->connection.flushRequests();
            if (this->connection.hasQueuedEvents())
              QMetaObject::invokeMethod(
                  context, [this] { this->connection.dispatchPending(); }, Qt::QueuedConnection);
          });
    }
  }
  ~EventPump() { QObject::disconnect(aboutToBlock); }

  X11Connection& connection;
  QSocketNotifier notifier;
  QMetaObject::Connection aboutToBlock;
};

std::unique_ptr<X11Desktop> X11Desktop::connect(const char* displayName) {
  if (!QCoreApplication::instance()) return nullptr;  // the loop everything runs on
  auto connection = X11Connection::open(displayName);
  if (!connection) return nullptr;
  return std::unique_ptr<X11Desktop>(new X11Desktop(std::move(connection)));
}

X11Desktop::X11Desktop(std::unique_ptr<X11Connection> connection)
    : connection_(std::move(connection)),
      scheduler_(std::make_unique<qt::QtScheduler>()),
      windowServer_(std::make_unique<X11WindowServer>(*connection_)),
      toolkit_(std::make_unique<X11Toolkit>(*connection_, *windowServer_, *scheduler_)),
      pump_(std::make_unique<EventPump>(*connection_, scheduler_->context())) {}

X11Desktop::~X11Desktop() {
  pump_.reset();
  toolkit_.reset();
  windowServer_.reset();
  scheduler_.reset();
  connection_.reset();
}

platform::WindowServer& X11Desktop::windowServer() {
  return *windowServer_;
}
platform::Toolkit& X11Desktop::toolkit() {
  return *toolkit_;
}
platform::Scheduler& X11Desktop::scheduler() {
  return *scheduler_;
}

}  // namespace velvix::x11
