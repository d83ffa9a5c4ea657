#include "AppSession.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace velvix::sim {

BlurOptions AppSessionOptions::everythingBlurred() {
  BlurOptions o;
  o.isEnabled = o.unblurLastMessages = o.blurMessages = o.blurPreviews = o.blurTextInput =
      o.blurNames = o.blurProfilePictures = o.blurMediaPreview = o.blurMediaGallery = true;
  return o;
}

LayoutMetrics AppSessionOptions::calibratedMetrics() {
  using G = WhatsAppModel::Geometry;
  LayoutMetrics m;
  m.railWidth = G::railWidth;
  m.chatListWidth = G::listWidth;
  m.chatListHeaderHeight = G::listHeaderHeight;
  m.avatarSize = 48;
  m.avatarInset = 24;
  m.conversationHeaderHeight = G::conversationHeaderHeight;
  m.composerHeight = G::composerHeight;
  m.composerSideInset = 44;
  m.lastMessagesHeight = 170;
  m.revealBandHeight = 90;
  return m;
}

// Passes everything to the Simulator's scheduler, and tells when the display ticker has drawn.
class AppSession::SchedulerTap final : public platform::Scheduler {
 public:
  explicit SchedulerTap(SimScheduler& inner) : inner_(inner) {}

  platform::Executor& mainQueue() override { return inner_.mainQueue(); }
  std::shared_ptr<platform::Executor> makeSerialExecutor(std::string_view label) override {
    return inner_.makeSerialExecutor(label);
  }
  std::unique_ptr<platform::Repeating> scheduleRepeating(Duration interval,
                                                         std::function<void()> action) override {
    return inner_.scheduleRepeating(interval, std::move(action));
  }
  // The screen refreshes whether or not the overlay's ticker runs, and a ticker runs in step
  // with it, as a display link does: one beat drives both.
  std::unique_ptr<platform::Repeating> startDisplayTicker(std::function<void()> action) override {
    if (!screen_) screen_ = inner_.startDisplayTicker([this] { refresh(); });
    tickers_.emplace_back(++lastTicker_, std::move(action));
    return std::make_unique<Ticker>(*this, lastTicker_);
  }
  platform::WallTime now() const override { return inner_.now(); }
  double mediaTime() const override { return inner_.mediaTime(); }

  std::function<void()> afterFrame;  // main thread only

 private:
  class Ticker final : public platform::Repeating {
   public:
    Ticker(SchedulerTap& tap, std::uint64_t id) : tap_(&tap), id_(id) {}
    ~Ticker() override { cancel(); }
    void cancel() override {
      if (tap_) std::erase_if(tap_->tickers_, [this](const auto& t) { return t.first == id_; });
      tap_ = nullptr;
    }

   private:
    SchedulerTap* tap_;
    std::uint64_t id_;
  };

  void refresh() {
    // A ticker may stop itself, or another, while it runs.
    const auto ids = [&] {
      std::vector<std::uint64_t> out;
      for (const auto& t : tickers_)
        out.push_back(t.first);
      return out;
    }();
    for (const std::uint64_t id : ids) {
      const auto it = std::find_if(tickers_.begin(), tickers_.end(),
                                   [id](const auto& t) { return t.first == id; });
      if (it == tickers_.end()) continue;
      const auto action = it->second;
      action();
    }
    if (afterFrame) afterFrame();
  }

  SimScheduler& inner_;
  std::unique_ptr<platform::Repeating> screen_;
  std::vector<std::pair<std::uint64_t, std::function<void()>>> tickers_;
  std::uint64_t lastTicker_ = 0;
};

AppSession::AppSession(AppSessionOptions options)
    : scheduler_(std::make_unique<SchedulerTap>(desktop_.scheduler())) {
  auto& server = desktop_.windowServer();
  server.setScreens({Rect(0, 0, 1680, 1050)});
  server.setMouseTopLeft({1600, 1000});
  desktop_.accessibility().setTrusted(options.isTrusted);
  whatsApp_ =
      std::make_unique<WhatsAppModel>(desktop_, std::move(options.state), std::move(options.model));
  // WhatsApp is the application in use.
  server.setFrontmostApplication(whatsApp_->options().pid);

  settings_ = std::make_unique<AppSettings>(defaults_);
  const BlurOptions& o = options.options;
  settings_->setIsEnabled(o.isEnabled);
  settings_->setUnblurLastMessages(o.unblurLastMessages);
  settings_->setBlurMessages(o.blurMessages);
  settings_->setBlurPreviews(o.blurPreviews);
  settings_->setBlurTextInput(o.blurTextInput);
  settings_->setBlurNames(o.blurNames);
  settings_->setBlurProfilePictures(o.blurProfilePictures);
  settings_->setBlurMediaPreview(o.blurMediaPreview);
  settings_->setBlurMediaGallery(o.blurMediaGallery);
  settings_->setUsesAccessibility(options.usesAccessibility);
  settings_->setCoversMovingLists(options.coversMovingLists);
  settings_->setCoversUnrecognised(options.coversUnrecognised);
  settings_->setMetrics(options.metrics);

  controller_ = std::make_unique<OverlayController>(
      *settings_,
      OverlayPorts{desktop_.accessibility(), desktop_.windowServer(), desktop_.toolkit(),
                   *scheduler_, desktop_.log()},
      OverlayOptions{.followsScrolling = options.followsScrolling,
                     .restsDisplayTicker = options.restsDisplayTicker});
}

AppSession::~AppSession() {
  // Work still queued refers to the controller: drop it first.
  desktop_.stop();
  controller_.reset();
}

void AppSession::moveMouse(Point windowRelative) {
  const Point o = whatsApp_->state().windowFrame.origin;
  desktop_.windowServer().setMouseTopLeft({o.x + windowRelative.x, o.y + windowRelative.y});
}

void AppSession::onDisplayFrame(std::function<void()> hook) {
  scheduler_->afterFrame = std::move(hook);
}

void AppSession::moveMouseAway() {
  desktop_.windowServer().setMouseTopLeft({1600, 1000});
}

std::optional<Point> AppSession::mouseInWindow() const {
  auto& server = const_cast<Desktop&>(desktop_).windowServer();
  const Rect frame = whatsApp_->state().windowFrame;
  const Point local = platform::screenFlip(server)
                          .then(SpaceTransform::relativeTo(frame.origin))
                          .map(server.mouseLocation());
  if (!Rect(0, 0, frame.width(), frame.height()).contains(local)) return std::nullopt;
  return local;
}

}  // namespace velvix::sim
