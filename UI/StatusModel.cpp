#include "StatusModel.hpp"

#include "Labels.hpp"

namespace velvix {

StatusModel::StatusModel(StatusSource& source, QObject* parent)
    : QObject(parent),
      source_(source),
      statusSubscription_(source.observeStatus([this] { emit statusChanged(); })),
      accessSubscription_(
          source.observeAccessibilityAccess([this] { emit hasAccessibilityAccessChanged(); })) {}

QString StatusModel::statusText() const {
  const auto text = labels::statusLine(source_.status(), source_.missesNativeWindows()).text;
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

StatusModel::Symbol StatusModel::statusSymbol() const {
  switch (labels::statusLine(source_.status()).symbol) {
    case labels::StatusSymbol::lock:
      return Symbol::Lock;
    case labels::StatusSymbol::hourglass:
      return Symbol::Hourglass;
    case labels::StatusSymbol::eye:
      return Symbol::Eye;
  }
  return Symbol::Hourglass;
}

}  // namespace velvix
