#pragma once

// AppSettings for the Qt Quick views: one property per setting and per measurement, written
// straight through to the settings (which persist them) and notifying only when the settings
// report a real change. Main thread only, like the settings themselves.

#include <Velvix/AppSettings.hpp>

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QString>

#include <vector>

namespace velvix {

class SettingsModel : public QObject {
  Q_OBJECT
  QML_ELEMENT
  QML_UNCREATABLE("Made by the application around its one AppSettings")

  Q_PROPERTY(bool isEnabled READ isEnabled WRITE setIsEnabled NOTIFY isEnabledChanged)
  Q_PROPERTY(bool unblurLastMessages READ unblurLastMessages WRITE setUnblurLastMessages NOTIFY
                 unblurLastMessagesChanged)
  Q_PROPERTY(bool blurMessages READ blurMessages WRITE setBlurMessages NOTIFY blurMessagesChanged)
  Q_PROPERTY(bool blurPreviews READ blurPreviews WRITE setBlurPreviews NOTIFY blurPreviewsChanged)
  Q_PROPERTY(
      bool blurTextInput READ blurTextInput WRITE setBlurTextInput NOTIFY blurTextInputChanged)
  Q_PROPERTY(bool blurNames READ blurNames WRITE setBlurNames NOTIFY blurNamesChanged)
  Q_PROPERTY(bool blurProfilePictures READ blurProfilePictures WRITE setBlurProfilePictures NOTIFY
                 blurProfilePicturesChanged)
  Q_PROPERTY(bool blurMediaPreview READ blurMediaPreview WRITE setBlurMediaPreview NOTIFY
                 blurMediaPreviewChanged)
  Q_PROPERTY(bool blurMediaGallery READ blurMediaGallery WRITE setBlurMediaGallery NOTIFY
                 blurMediaGalleryChanged)
  Q_PROPERTY(bool usesAccessibility READ usesAccessibility WRITE setUsesAccessibility NOTIFY
                 usesAccessibilityChanged)
  Q_PROPERTY(bool coversMovingLists READ coversMovingLists WRITE setCoversMovingLists NOTIFY
                 coversMovingListsChanged)
  Q_PROPERTY(bool showsGuides READ showsGuides WRITE setShowsGuides NOTIFY showsGuidesChanged)
  Q_PROPERTY(bool coversUnrecognised READ coversUnrecognised WRITE setCoversUnrecognised NOTIFY
                 coversUnrecognisedChanged)
  Q_PROPERTY(
      QString panicShortcut READ panicShortcut WRITE setPanicShortcut NOTIFY panicShortcutChanged)
  Q_PROPERTY(qreal idleMinutes READ idleMinutes WRITE setIdleMinutes NOTIFY idleMinutesChanged)
  /// "light", "medium" or "strong"; anything else is ignored.
  Q_PROPERTY(
      QString blurStrength READ blurStrength WRITE setBlurStrength NOTIFY blurStrengthChanged)

  Q_PROPERTY(qreal railWidth READ railWidth WRITE setRailWidth NOTIFY metricsChanged)
  Q_PROPERTY(qreal chatListWidth READ chatListWidth WRITE setChatListWidth NOTIFY metricsChanged)
  Q_PROPERTY(qreal chatListHeaderHeight READ chatListHeaderHeight WRITE setChatListHeaderHeight
                 NOTIFY metricsChanged)
  Q_PROPERTY(qreal avatarSize READ avatarSize WRITE setAvatarSize NOTIFY metricsChanged)
  Q_PROPERTY(qreal avatarInset READ avatarInset WRITE setAvatarInset NOTIFY metricsChanged)
  Q_PROPERTY(qreal conversationHeaderHeight READ conversationHeaderHeight WRITE
                 setConversationHeaderHeight NOTIFY metricsChanged)
  Q_PROPERTY(qreal composerHeight READ composerHeight WRITE setComposerHeight NOTIFY metricsChanged)
  Q_PROPERTY(qreal composerSideInset READ composerSideInset WRITE setComposerSideInset NOTIFY
                 metricsChanged)
  Q_PROPERTY(qreal lastMessagesHeight READ lastMessagesHeight WRITE setLastMessagesHeight NOTIFY
                 metricsChanged)
  Q_PROPERTY(
      qreal revealBandHeight READ revealBandHeight WRITE setRevealBandHeight NOTIFY metricsChanged)

 public:
  /// `settings` must outlive the model.
  explicit SettingsModel(AppSettings& settings, QObject* parent = nullptr);
  ~SettingsModel() override;

  [[nodiscard]] bool isEnabled() const { return settings_.isEnabled(); }
  [[nodiscard]] bool unblurLastMessages() const { return settings_.unblurLastMessages(); }
  [[nodiscard]] bool blurMessages() const { return settings_.blurMessages(); }
  [[nodiscard]] bool blurPreviews() const { return settings_.blurPreviews(); }
  [[nodiscard]] bool blurTextInput() const { return settings_.blurTextInput(); }
  [[nodiscard]] bool blurNames() const { return settings_.blurNames(); }
  [[nodiscard]] bool blurProfilePictures() const { return settings_.blurProfilePictures(); }
  [[nodiscard]] bool blurMediaPreview() const { return settings_.blurMediaPreview(); }
  [[nodiscard]] bool blurMediaGallery() const { return settings_.blurMediaGallery(); }
  [[nodiscard]] bool usesAccessibility() const { return settings_.usesAccessibility(); }
  [[nodiscard]] bool coversMovingLists() const { return settings_.coversMovingLists(); }
  [[nodiscard]] bool showsGuides() const { return settings_.showsGuides(); }
  [[nodiscard]] bool coversUnrecognised() const { return settings_.coversUnrecognised(); }
  [[nodiscard]] QString panicShortcut() const {
    return QString::fromStdString(settings_.panicShortcut());
  }
  [[nodiscard]] qreal idleMinutes() const { return settings_.idleMinutes(); }
  [[nodiscard]] QString blurStrength() const;

  void setIsEnabled(bool value) { settings_.setIsEnabled(value); }
  void setUnblurLastMessages(bool value) { settings_.setUnblurLastMessages(value); }
  void setBlurMessages(bool value) { settings_.setBlurMessages(value); }
  void setBlurPreviews(bool value) { settings_.setBlurPreviews(value); }
  void setBlurTextInput(bool value) { settings_.setBlurTextInput(value); }
  void setBlurNames(bool value) { settings_.setBlurNames(value); }
  void setBlurProfilePictures(bool value) { settings_.setBlurProfilePictures(value); }
  void setBlurMediaPreview(bool value) { settings_.setBlurMediaPreview(value); }
  void setBlurMediaGallery(bool value) { settings_.setBlurMediaGallery(value); }
  void setUsesAccessibility(bool value) { settings_.setUsesAccessibility(value); }
  void setCoversMovingLists(bool value) { settings_.setCoversMovingLists(value); }
  void setShowsGuides(bool value) { settings_.setShowsGuides(value); }
  void setCoversUnrecognised(bool value) { settings_.setCoversUnrecognised(value); }
  void setPanicShortcut(const QString& value) {
    settings_.setPanicShortcut(value.trimmed().toStdString());
  }
  void setIdleMinutes(qreal value) { settings_.setIdleMinutes(value); }
  void setBlurStrength(const QString& value);

  [[nodiscard]] qreal railWidth() const { return settings_.metrics().railWidth; }
  [[nodiscard]] qreal chatListWidth() const { return settings_.metrics().chatListWidth; }
  [[nodiscard]] qreal chatListHeaderHeight() const {
    return settings_.metrics().chatListHeaderHeight;
  }
  [[nodiscard]] qreal avatarSize() const { return settings_.metrics().avatarSize; }
  [[nodiscard]] qreal avatarInset() const { return settings_.metrics().avatarInset; }
  [[nodiscard]] qreal conversationHeaderHeight() const {
    return settings_.metrics().conversationHeaderHeight;
  }
  [[nodiscard]] qreal composerHeight() const { return settings_.metrics().composerHeight; }
  [[nodiscard]] qreal composerSideInset() const { return settings_.metrics().composerSideInset; }
  [[nodiscard]] qreal lastMessagesHeight() const { return settings_.metrics().lastMessagesHeight; }
  [[nodiscard]] qreal revealBandHeight() const { return settings_.metrics().revealBandHeight; }

  void setRailWidth(qreal value) { setMetric(&LayoutMetrics::railWidth, value); }
  void setChatListWidth(qreal value) { setMetric(&LayoutMetrics::chatListWidth, value); }
  void setChatListHeaderHeight(qreal value) {
    setMetric(&LayoutMetrics::chatListHeaderHeight, value);
  }
  void setAvatarSize(qreal value) { setMetric(&LayoutMetrics::avatarSize, value); }
  void setAvatarInset(qreal value) { setMetric(&LayoutMetrics::avatarInset, value); }
  void setConversationHeaderHeight(qreal value) {
    setMetric(&LayoutMetrics::conversationHeaderHeight, value);
  }
  void setComposerHeight(qreal value) { setMetric(&LayoutMetrics::composerHeight, value); }
  void setComposerSideInset(qreal value) { setMetric(&LayoutMetrics::composerSideInset, value); }
  void setLastMessagesHeight(qreal value) { setMetric(&LayoutMetrics::lastMessagesHeight, value); }
  void setRevealBandHeight(qreal value) { setMetric(&LayoutMetrics::revealBandHeight, value); }

  /// Puts every measurement back to its default through the settings' setter, so the change
  /// is stored and observed like any other.
  Q_INVOKABLE void resetMetrics();
  /// The calibration window closed: its guides must not stay on over WhatsApp. Writes only
  /// when they are on.
  Q_INVOKABLE void calibrationClosed();

  /// A measurement as the calibration window labels it ("71 pt").
  Q_INVOKABLE static QString pointsLabel(qreal value);

 signals:
  void isEnabledChanged();
  void coversUnrecognisedChanged();
  void panicShortcutChanged();
  void idleMinutesChanged();
  void blurStrengthChanged();
  void unblurLastMessagesChanged();
  void blurMessagesChanged();
  void blurPreviewsChanged();
  void blurTextInputChanged();
  void blurNamesChanged();
  void blurProfilePicturesChanged();
  void blurMediaPreviewChanged();
  void blurMediaGalleryChanged();
  void usesAccessibilityChanged();
  void coversMovingListsChanged();
  void showsGuidesChanged();
  void metricsChanged();

 private:
  void setMetric(double LayoutMetrics::*field, qreal value);

  AppSettings& settings_;
  std::vector<platform::Subscription> subscriptions_;
};

}  // namespace velvix
