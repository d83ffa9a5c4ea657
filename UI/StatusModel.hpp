#pragma once

// The overlay's status and Accessibility access for the Qt Quick views, as properties that
// notify only when the overlay reports a real change, with the texts and symbol the status line
// shows. Main thread only.

#include "StatusSource.hpp"

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QString>

namespace velvix {

class StatusModel : public QObject {
  Q_OBJECT
  QML_NAMED_ELEMENT(OverlayStatus)
  QML_UNCREATABLE("Made by the application around the running overlay")

  Q_PROPERTY(QString statusText READ statusText NOTIFY statusChanged)
  Q_PROPERTY(Symbol statusSymbol READ statusSymbol NOTIFY statusChanged)
  Q_PROPERTY(
      bool hasAccessibilityAccess READ hasAccessibilityAccess NOTIFY hasAccessibilityAccessChanged)
  /// False where this desktop has no accessibility service to grant access to.
  Q_PROPERTY(bool accessibilityAvailable READ accessibilityAvailable CONSTANT)
  /// What the views say in one line where accessibility is not available.
  Q_PROPERTY(QString unavailableText READ unavailableText CONSTANT)
  /// Whether "Measure automatically" can do anything here.
  Q_PROPERTY(bool canMeasureLayout READ canMeasureLayout CONSTANT)
  /// Velvix's additions this desktop offers.
  Q_PROPERTY(bool offersPanicKey READ offersPanicKey CONSTANT)
  Q_PROPERTY(bool offersIdleTime READ offersIdleTime CONSTANT)
  Q_PROPERTY(bool offersBlurStrength READ offersBlurStrength CONSTANT)
  /// Why the panic key could not be had; empty when it is.
  Q_PROPERTY(QString shortcutProblem READ shortcutProblem NOTIFY statusChanged)

 public:
  /// The symbols SymbolIcon draws.
  enum class Symbol { Lock, Hourglass, Eye };
  Q_ENUM(Symbol)

  /// `source` must outlive the model.
  explicit StatusModel(StatusSource& source, QObject* parent = nullptr);

  [[nodiscard]] QString statusText() const;
  [[nodiscard]] Symbol statusSymbol() const;
  [[nodiscard]] bool hasAccessibilityAccess() const { return source_.hasAccessibilityAccess(); }
  [[nodiscard]] bool accessibilityAvailable() const { return source_.isAccessibilityAvailable(); }
  [[nodiscard]] bool canMeasureLayout() const { return source_.canMeasureLayout(); }
  [[nodiscard]] bool offersPanicKey() const { return source_.offers().panicKey; }
  [[nodiscard]] bool offersIdleTime() const { return source_.offers().idleTime; }
  [[nodiscard]] bool offersBlurStrength() const { return source_.offers().blurStrength; }
  [[nodiscard]] QString shortcutProblem() const {
    return QString::fromStdString(source_.shortcutProblem());
  }
  [[nodiscard]] static QString unavailableText() {
    return QStringLiteral(
        "Precise detection isn't available on this desktop — Velvix blurs the calibrated "
        "areas.");
  }

  /// Shows the system's Accessibility permission prompt.
  Q_INVOKABLE void requestAccess() { source_.promptForTrust(); }
  /// Measures WhatsApp's layout from its pixels again, covering it whole until it has.
  Q_INVOKABLE void measureLayout() { source_.measureLayout(); }

 signals:
  void statusChanged();
  void hasAccessibilityAccessChanged();

 private:
  StatusSource& source_;
  platform::Subscription statusSubscription_;
  platform::Subscription accessSubscription_;
};

}  // namespace velvix
