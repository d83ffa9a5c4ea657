#pragma once

// Observation, one way everywhere: an ObserverList holds callbacks registered through
// Subscriptions and calls them on notify(). Every observable of the app (the settings, the
// controller's status and access) and every registration with the platform (workspace
// notifications, the scroll-wheel monitor, the panel's occlusion) is one of these.
//
// Removal has one meaning: an observer whose subscription ends is never called again, also
// when that happens during a notification, before its turn (by itself or by an observer called
// earlier). An observer added during a notification is first called by the next one. Observers
// may notify, subscribe and unsubscribe from inside their call, and may destroy the list's
// owner.
//
// A list and its subscriptions belong to one thread (the main thread, for all of the app's).

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace velvix::platform {

/// Keeps a registration alive; destroying or resetting it ends the registration. Move-only. It
/// may outlive what it registered with.
class Subscription {
 public:
  Subscription() = default;
  /// A registration that `cancel` ends.
  explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
  Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, nullptr)) {}
  Subscription& operator=(Subscription&& other) noexcept {
    if (this != &other) {
      reset();
      cancel_ = std::exchange(other.cancel_, nullptr);
    }
    return *this;
  }
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  ~Subscription() { reset(); }

  /// Ends the registration now; nothing when there is none.
  void reset() noexcept {
    if (auto cancel = std::exchange(cancel_, nullptr)) cancel();
  }
  /// Whether this holds a registration.
  explicit operator bool() const noexcept { return static_cast<bool>(cancel_); }

 private:
  std::function<void()> cancel_;
};

template <typename... Args>
class ObserverList {
 public:
  ObserverList() = default;
  ObserverList(const ObserverList&) = delete;
  ObserverList& operator=(const ObserverList&) = delete;
  /// Ends every registration: an observer destroying the list stops its notification too.
  ~ObserverList() { state_->entries.clear(); }

  [[nodiscard]] Subscription add(std::function<void(Args...)> observer) {
    const std::uint64_t id = state_->nextId++;
    state_->entries.push_back({id, std::make_shared<Observer>(std::move(observer))});
    return Subscription([weak = std::weak_ptr<State>(state_), id] {
      if (const auto state = weak.lock()) {
        std::erase_if(state->entries, [id](const Entry& e) { return e.id == id; });
      }
    });
  }

  /// Calls every observer registered when the notification starts and still registered when
  /// its turn comes, in the order they were added.
  void notify(const Args&... args) {
    const auto state = state_;  // outlives an observer that destroys the list's owner
    const std::vector<Entry> observers = state->entries;
    for (const Entry& entry : observers) {
      if (state->isRegistered(entry.id)) (*entry.observer)(args...);
    }
  }

  [[nodiscard]] bool empty() const { return state_->entries.empty(); }
  [[nodiscard]] std::size_t size() const { return state_->entries.size(); }

 private:
  using Observer = std::function<void(Args...)>;
  struct Entry {
    std::uint64_t id;
    std::shared_ptr<Observer> observer;  // shared: it may drop itself while it runs
  };
  struct State {
    std::vector<Entry> entries;
    std::uint64_t nextId = 1;
    [[nodiscard]] bool isRegistered(std::uint64_t id) const {
      for (const Entry& e : entries) {
        if (e.id == id) return true;
      }
      return false;
    }
  };

  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace velvix::platform
