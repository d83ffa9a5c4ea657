#include "OptionsForm.hpp"

#include "SettingsModel.hpp"
#include "ShortcutKeys.hpp"
#include "StatusModel.hpp"
#include "SymbolIcon.hpp"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace velvix {

namespace {

constexpr int kWidth = 283;  // the panel's
constexpr int kPadding = 14;
constexpr int kSymbolSide = 14;

QFrame* divider() {
  auto* line = new QFrame;
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

QVBoxLayout* column(QWidget* owner, int spacing) {
  auto* layout = new QVBoxLayout(owner);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(spacing);
  return layout;
}

}  // namespace

OptionsForm::OptionsForm(SettingsModel& settings, StatusModel& overlay, QObject* autostart,
                         QWidget* parent)
    : QWidget(parent), settings_(settings), overlay_(overlay), autostart_(autostart) {
  setWindowTitle(QStringLiteral("Velvix"));
  QVBoxLayout* stack = column(this, 10);
  stack->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
  // The panel's width, unless a control needs more, and as tall as the content at every change
  // of it: notes come and go with the access.
  stack->setSizeConstraint(QLayout::SetFixedSize);
  stack->addSpacerItem(new QSpacerItem(kWidth - 2 * kPadding, 0, QSizePolicy::Fixed));

  switchRow(stack, "isEnabled", QStringLiteral("On/Off"));
  stack->addWidget(divider());

  categories_ = new QWidget;
  categories_->setObjectName(QStringLiteral("categories"));
  QVBoxLayout* rows = column(categories_, 10);
  const QString together = QStringLiteral("Blurred together without Accessibility access");
  const QString needsAccess = QStringLiteral("Requires Accessibility access");
  unblurLastMessages_ =
      switchRow(rows, "unblurLastMessages", QStringLiteral("Unblur last 3 messages"));
  switchRow(rows, "blurMessages", QStringLiteral("Blur all messages in chat"));
  switchRow(rows, "blurPreviews", QStringLiteral("Blur last messages preview"), together);
  switchRow(rows, "blurTextInput", QStringLiteral("Blur text input"));
  switchRow(rows, "blurNames", QStringLiteral("Blur group/Users names"), together);
  rows->addWidget(divider());
  switchRow(rows, "blurProfilePictures", QStringLiteral("Blur profile pictures"));
  switchRow(rows, "blurMediaPreview", QStringLiteral("Blur media preview"), needsAccess);
  switchRow(rows, "blurMediaGallery", QStringLiteral("Blur Media gallery"), needsAccess);
  switchRow(rows, "coversMovingLists", QStringLiteral("Cover lists while scrolling"), needsAccess);
  stack->addWidget(categories_);
  stack->addWidget(divider());

  // Velvix's own additions; a control this desktop cannot honour is not shown.
  extraProtection_ = new QWidget;
  extraProtection_->setObjectName(QStringLiteral("extraProtection"));
  QVBoxLayout* extra = column(extraProtection_, 10);
  auto* header = new QLabel(QStringLiteral("Extra protection"));
  header->setObjectName(QStringLiteral("extraProtectionHeader"));
  QFont bold = header->font();
  bold.setBold(true);
  header->setFont(bold);
  extra->addWidget(header);
  choiceRow(extra, "blurStrength", QStringLiteral("Blur strength"),
            {QStringLiteral("Light"), QStringLiteral("Medium"), QStringLiteral("Strong")},
            {QStringLiteral("light"), QStringLiteral("medium"), QStringLiteral("strong")})
      ->setVisible(overlay_.offersBlurStrength());
  choiceRow(extra, "idleMinutes", QStringLiteral("Hide everything after minutes away"),
            {QStringLiteral("Off"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("5"),
             QStringLiteral("10")},
            {0.0, 1.0, 2.0, 5.0, 10.0})
      ->setVisible(overlay_.offersIdleTime());
  shortcutRow(extra)->setVisible(overlay_.offersPanicKey());
  shortcutProblem_ = secondaryLabel({}, "shortcutProblem");
  extra->addWidget(shortcutProblem_);
  switchRow(extra, "coversUnrecognised", QStringLiteral("Blur if WhatsApp isn't recognised"));
  stack->addWidget(extraProtection_);
  stack->addWidget(divider());

  auto* status = new QHBoxLayout;
  status->setSpacing(6);
  statusSymbol_ = new QLabel;
  statusSymbol_->setObjectName(QStringLiteral("statusSymbol"));
  statusSymbol_->setAlignment(Qt::AlignTop);
  status->addWidget(statusSymbol_, 0, Qt::AlignTop);
  // The longer states say what to do about them: never cut them short.
  statusText_ = secondaryLabel({}, "statusText");
  status->addWidget(statusText_, 1);
  stack->addLayout(status);
  grantAccess_ = new QPushButton(QStringLiteral("Grant Accessibility access for precise blurring"));
  grantAccess_->setObjectName(QStringLiteral("grantAccess"));
  grantAccess_->setFlat(true);
  connect(grantAccess_, &QPushButton::clicked, this, [this] { overlay_.requestAccess(); });
  stack->addWidget(grantAccess_);
  if (!overlay_.accessibilityAvailable())
    stack->addWidget(secondaryLabel(StatusModel::unavailableText(), "accessibilityUnavailable"));

  if (autostart_) {
    stack->addWidget(divider());
    startsAtLogin_ = toggleRow(stack, "startsAtLogin", QStringLiteral("Start Velvix at login"));
    connect(startsAtLogin_, &QCheckBox::clicked, this, [this](bool checked) {
      QMetaObject::invokeMethod(autostart_, "setEnabled", Q_ARG(bool, checked));
      refresh();  // the file may have refused the change
    });
    connect(autostart_, SIGNAL(enabledChanged()), this, SLOT(refresh()));
  }

  auto* buttons = new QHBoxLayout;
  auto* layout = new QPushButton(QStringLiteral("Layout…"));
  layout->setObjectName(QStringLiteral("layout"));
  connect(layout, &QPushButton::clicked, this, &OptionsForm::layoutRequested);
  auto* quit = new QPushButton(QStringLiteral("Quit Velvix"));
  quit->setObjectName(QStringLiteral("quit"));
  connect(quit, &QPushButton::clicked, this, &OptionsForm::quitRequested);
  buttons->addWidget(layout);
  buttons->addStretch();
  buttons->addWidget(quit);
  stack->addLayout(buttons);

  paintSecondary();
  connect(&overlay_, &StatusModel::statusChanged, this, &OptionsForm::refresh);
  connect(&overlay_, &StatusModel::hasAccessibilityAccessChanged, this, &OptionsForm::refresh);
  refresh();
}

QWidget* OptionsForm::switchRow(QVBoxLayout* into, const char* setting, const QString& title,
                                const QString& note) {
  QCheckBox* toggle = toggleRow(into, setting, title, note);
  bind(toggle, setting);
  return toggle->parentWidget();
}

QCheckBox* OptionsForm::toggleRow(QVBoxLayout* into, const char* name, const QString& title,
                                  const QString& note) {
  auto* row = new QWidget;
  row->setObjectName(QString::fromLatin1(name));
  QVBoxLayout* lines = column(row, 1);
  auto* toggle = new QCheckBox(title);
  toggle->setObjectName(QStringLiteral("switch"));
  // As wide as its title, so that all it covers is what a click flips.
  lines->addWidget(toggle, 0, Qt::AlignLeft);
  // Under the title, as far in as its text.
  QLabel* label = secondaryLabel(note, "note");
  label->setIndent(toggle->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, toggle) +
                   toggle->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, toggle));
  QFont small = label->font();
  small.setPointSizeF(std::max(1.0, small.pointSizeF() - 2));
  label->setFont(small);
  lines->addWidget(label);
  if (note.isEmpty())
    label->hide();
  else
    accessNotes_.push_back(label);
  into->addWidget(row);
  return toggle;
}

QWidget* OptionsForm::choiceRow(QVBoxLayout* into, const char* setting, const QString& title,
                                const QStringList& labels, const QVariantList& values) {
  auto* row = new QWidget;
  row->setObjectName(QString::fromLatin1(setting));
  QVBoxLayout* lines = column(row, 4);
  lines->addWidget(new QLabel(title));
  auto* choices = new QHBoxLayout;
  choices->setSpacing(0);
  auto* group = new QButtonGroup(row);
  for (qsizetype i = 0; i < labels.size(); ++i) {
    auto* choice = new QRadioButton(labels[i]);
    choice->setObjectName(QStringLiteral("choice%1").arg(i));
    group->addButton(choice);
    // The row's width shared out evenly; each button only as wide as its label, so that all
    // it covers is what a click chooses.
    choices->addWidget(choice, 1, Qt::AlignLeft);
    bind(choice, setting, values[i]);
  }
  lines->addLayout(choices);
  into->addWidget(row);
  return row;
}

// A global shortcut, set by pressing it: click the button, then press the keys. Escape leaves
// it as it was, Backspace clears it; the keys themselves are read in eventFilter.
QWidget* OptionsForm::shortcutRow(QVBoxLayout* into) {
  auto* row = new QWidget;
  row->setObjectName(QStringLiteral("panicShortcut"));
  auto* line = new QHBoxLayout(row);
  line->setContentsMargins(0, 0, 0, 0);
  line->addWidget(new QLabel(QStringLiteral("Panic key")), 1);
  shortcut_ = new QPushButton;
  shortcut_->setObjectName(QStringLiteral("shortcut"));
  shortcut_->setCheckable(true);
  shortcut_->installEventFilter(this);
  connect(shortcut_, &QPushButton::toggled, this, &OptionsForm::refreshShortcut);
  connect(shortcut_, &QPushButton::clicked, this, [this](bool checked) {
    if (checked) shortcut_->setFocus(Qt::OtherFocusReason);
  });
  connect(&settings_, &SettingsModel::panicShortcutChanged, this, &OptionsForm::refreshShortcut);
  line->addWidget(shortcut_);
  into->addWidget(row);
  return row;
}

QLabel* OptionsForm::secondaryLabel(const QString& text, const char* name) {
  auto* label = new QLabel(text);
  label->setObjectName(QString::fromLatin1(name));
  label->setWordWrap(true);
  // Wrapped to the window's width rather than widening it.
  QSizePolicy policy = label->sizePolicy();
  policy.setHorizontalPolicy(QSizePolicy::Ignored);
  label->setSizePolicy(policy);
  secondaryLabels_.push_back(label);
  return label;
}

void OptionsForm::paintSecondary() {
  QColor secondary = palette().color(QPalette::WindowText);
  secondary.setAlphaF(0.6f);
  for (QLabel* label : secondaryLabels_) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, secondary);
    label->setPalette(palette);
  }
  drawSymbol();
}

void OptionsForm::drawSymbol() {
  const QColor secondary = statusText_->palette().color(QPalette::WindowText);
  const qreal ratio = devicePixelRatioF();
  QPixmap symbol(QSize(kSymbolSide, kSymbolSide) * ratio);
  symbol.setDevicePixelRatio(ratio);
  symbol.fill(Qt::transparent);
  QPainter painter(&symbol);
  SymbolIcon::draw(painter, overlay_.statusSymbol(), secondary, kSymbolSide);
  painter.end();
  statusSymbol_->setPixmap(symbol);
}

void OptionsForm::changeEvent(QEvent* event) {
  // The desktop turned dark or light: the labels' own colour must follow.
  if (event->type() == QEvent::PaletteChange) paintSecondary();
  QWidget::changeEvent(event);
}

void OptionsForm::bind(QAbstractButton* button, const char* setting, QVariant value) {
  const QMetaObject& meta = *settings_.metaObject();
  Control control{button, meta.property(meta.indexOfProperty(setting)), std::move(value)};
  Q_ASSERT(control.setting.isValid());
  connect(&settings_, control.setting.notifySignal(), this,
          metaObject()->method(metaObject()->indexOfSlot("refresh()")), Qt::UniqueConnection);
  // `clicked` comes of the user alone, never of refresh() setting the state.
  connect(button, &QAbstractButton::clicked, this, [this, control](bool checked) {
    control.setting.write(&settings_, control.value.isValid() ? control.value : checked);
    refresh();  // a setting that refused the value shows what it kept
  });
  controls_.push_back(std::move(control));
}

void OptionsForm::refresh() {
  for (const Control& control : controls_) {
    const QVariant current = control.setting.read(&settings_);
    control.button->setChecked(control.value.isValid() ? current == control.value
                                                       : current.toBool());
  }
  categories_->setEnabled(settings_.isEnabled());
  extraProtection_->setEnabled(settings_.isEnabled());
  // Nothing to unblur while the messages are not blurred at all.
  unblurLastMessages_->setEnabled(settings_.blurMessages());

  const bool waitsForAccess =
      overlay_.accessibilityAvailable() && !overlay_.hasAccessibilityAccess();
  for (QLabel* note : accessNotes_)
    note->setVisible(waitsForAccess);
  grantAccess_->setVisible(waitsForAccess);

  statusText_->setText(overlay_.statusText());
  drawSymbol();

  shortcutProblem_->setText(overlay_.shortcutProblem());
  shortcutProblem_->setVisible(overlay_.offersPanicKey() && !overlay_.shortcutProblem().isEmpty());
  refreshShortcut();
  if (startsAtLogin_) startsAtLogin_->setChecked(autostart_->property("enabled").toBool());
}

void OptionsForm::refreshShortcut() {
  const QString keys = settings_.panicShortcut();
  shortcut_->setText(shortcut_->isChecked() ? QStringLiteral("Press keys…")
                     : keys.isEmpty()       ? QStringLiteral("None")
                                            : keys);
}

void OptionsForm::showEvent(QShowEvent* event) {
  // The entry may have been changed by hand or by another installation meanwhile.
  if (autostart_) QMetaObject::invokeMethod(autostart_, "refresh");
  QWidget::showEvent(event);
}

void OptionsForm::closeEvent(QCloseEvent* event) {
  QWidget::closeEvent(event);
  if (event->isAccepted()) emit closed();
}

bool OptionsForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched != shortcut_ || !shortcut_->isChecked()) return QWidget::eventFilter(watched, event);
  if (event->type() == QEvent::FocusOut) {
    shortcut_->setChecked(false);
  } else if (event->type() == QEvent::KeyPress) {
    // While recording, every key is the shortcut's: Tab and Space too.
    const auto* press = static_cast<QKeyEvent*>(event);
    if (press->key() == Qt::Key_Escape) {
      shortcut_->setChecked(false);
    } else if (press->key() == Qt::Key_Backspace || press->key() == Qt::Key_Delete) {
      settings_.setPanicShortcut({});
      shortcut_->setChecked(false);
    } else if (const QString keys = ShortcutKeys::of(press->key(), press->modifiers().toInt());
               !keys.isEmpty()) {
      settings_.setPanicShortcut(keys);
      shortcut_->setChecked(false);
    }
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace velvix
