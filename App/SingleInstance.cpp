#include "SingleInstance.hpp"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

namespace velvix {

namespace {

constexpr QByteArrayView kShow = "show\n";
constexpr int kAnswerMs =
    2000;  // how long a running Velvix may take to answer (it may be starting)

// Tells the Velvix listening on `key` to show itself; false when none answers in time.
bool tell(const QString& key) {
  const QDeadlineTimer deadline(kAnswerMs);
  while (!deadline.hasExpired()) {
    QLocalSocket socket;
    socket.connectToServer(key);
    if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
      socket.write(kShow.data(), kShow.size());
      return socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
    }
    // The holder of the lock may not listen yet.
    QThread::msleep(50);
  }
  return false;
}

}  // namespace

QString SingleInstance::keyFor(const QString& backend) {
  // A socket name is short (about a hundred bytes with its folder): hash what tells sessions
  // apart.
  const QByteArray session =
      qgetenv("DISPLAY") + '|' + qgetenv("WAYLAND_DISPLAY") + '|' + backend.toUtf8();
  const QByteArray hash =
      QCryptographicHash::hash(session, QCryptographicHash::Sha1).toHex().left(12);
  return QStringLiteral("velvix-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash));
}

std::unique_ptr<SingleInstance> SingleInstance::claim(const QString& key, Outcome& outcome) {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QDir::tempPath();
  auto lock =
      std::make_unique<QLockFile>(folder + QLatin1Char('/') + key + QStringLiteral(".lock"));
  // The lock file names its holder's process: one left by a crashed Velvix is taken over.
  lock->setStaleLockTime(0);
  if (!lock->tryLock(0)) {
    outcome = tell(key) ? Outcome::told : Outcome::unreached;
    return nullptr;
  }
  auto instance = std::unique_ptr<SingleInstance>(new SingleInstance(std::move(lock)));
  // A socket left by a crashed Velvix would refuse the name; the lock says it is no one's.
  QLocalServer::removeServer(key);
  instance->server_.setSocketOptions(QLocalServer::UserAccessOption);
  if (!instance->server_.listen(key)) {
    // Still the only one (the lock says so); later launches just cannot reach it.
    outcome = Outcome::first;
    return instance;
  }
  SingleInstance* self = instance.get();
  connect(&instance->server_, &QLocalServer::newConnection, self, [self] {
    while (QLocalSocket* socket = self->server_.nextPendingConnection()) {
      connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
      connect(socket, &QLocalSocket::readyRead, self, [self, socket] {
        if (socket->readAll().contains('\n')) emit self->anotherLaunch();
      });
    }
  });
  outcome = Outcome::first;
  return instance;
}

SingleInstance::SingleInstance(std::unique_ptr<QLockFile> lock) : lock_(std::move(lock)) {}

}  // namespace velvix
