#include "SettingsModel.hpp"

#include "Labels.hpp"

#include <utility>

namespace velvix {

SettingsModel::SettingsModel(AppSettings& settings, QObject* parent)
    : QObject(parent), settings_(settings) {
  const std::pair<AppSettings::Property, void (SettingsModel::*)()> notifications[] = {
      {AppSettings::Property::isEnabled, &SettingsModel::isEnabledChanged},
      {AppSettings::Property::unblurLastMessages, &SettingsModel::unblurLastMessagesChanged},
      {AppSettings::Property::blurMessages, &SettingsModel::blurMessagesChanged},
      {AppSettings::Property::blurPreviews, &SettingsModel::blurPreviewsChanged},
      {AppSettings::Property::blurTextInput, &SettingsModel::blurTextInputChanged},
      {AppSettings::Property::blurNames, &SettingsModel::blurNamesChanged},
      {AppSettings::Property::blurProfilePictures, &SettingsModel::blurProfilePicturesChanged},
      {AppSettings::Property::blurMediaPreview, &SettingsModel::blurMediaPreviewChanged},
      {AppSettings::Property::blurMediaGallery, &SettingsModel::blurMediaGalleryChanged},
      {AppSettings::Property::usesAccessibility, &SettingsModel::usesAccessibilityChanged},
      {AppSettings::Property::coversMovingLists, &SettingsModel::coversMovingListsChanged},
      {AppSettings::Property::showsGuides, &SettingsModel::showsGuidesChanged},
      {AppSettings::Property::metrics, &SettingsModel::metricsChanged},
      {AppSettings::Property::coversUnrecognised, &SettingsModel::coversUnrecognisedChanged},
      {AppSettings::Property::panicShortcut, &SettingsModel::panicShortcutChanged},
      {AppSettings::Property::idleMinutes, &SettingsModel::idleMinutesChanged},
      {AppSettings::Property::blurStrength, &SettingsModel::blurStrengthChanged},
  };
  for (const auto& notification : notifications) {
    subscriptions_.push_back(settings_.observe(
        notification.first, [this, signal = notification.second] { emit(this->*signal)(); }));
  }
}

SettingsModel::~SettingsModel() = default;

void SettingsModel::setMetric(double LayoutMetrics::*field, qreal value) {
  LayoutMetrics metrics = settings_.metrics();
  metrics.*field = value;
  settings_.setMetrics(metrics);
}

QString SettingsModel::blurStrength() const {
  const std::string_view text = name(settings_.blurStrength());
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void SettingsModel::setBlurStrength(const QString& value) {
  if (const auto strength = blurStrengthNamed(value.toStdString())) {
    settings_.setBlurStrength(*strength);
  }
}

void SettingsModel::resetMetrics() {
  settings_.setMetrics(LayoutMetrics::defaults);
}

void SettingsModel::calibrationClosed() {
  if (settings_.showsGuides()) settings_.setShowsGuides(false);
}

QString SettingsModel::pointsLabel(qreal value) {
  return QString::fromStdString(labels::points(value));
}

}  // namespace velvix
