#pragma once

// Observers of one observable value: callbacks registered through RAII subscriptions and called
// after each real change. Main thread only.

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace velvix {

class ObserverList {
 public:
  /// Keeps a callback registered; destroying it unregisters. May outlive the list.
  class Subscription {
   public:
    Subscription() = default;
    Subscription(Subscription&&) noexcept = default;
    Subscription& operator=(Subscription&& other) noexcept {
      if (this != &other) {
        reset();
        entries_ = std::move(other.entries_);
        id_ = other.id_;
      }
      return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }

    void reset() noexcept {
      if (const auto entries = entries_.lock()) {
        for (auto& entry : *entries) {
          if (entry.first == id_) entry.second = nullptr;  // removed after the current notify
        }
      }
      entries_.reset();
    }

   private:
    friend class ObserverList;
    using Entries = std::vector<std::pair<std::size_t, std::function<void()>>>;
    Subscription(std::weak_ptr<Entries> entries, std::size_t id)
        : entries_(std::move(entries)), id_(id) {}
    std::weak_ptr<Entries> entries_;
    std::size_t id_ = 0;
  };

  [[nodiscard]] Subscription add(std::function<void()> onChange) {
    entries_->emplace_back(++lastId_, std::move(onChange));
    return Subscription(entries_, lastId_);
  }

  /// Calls every observer registered when the notification starts; observers may subscribe or
  /// unsubscribe (themselves included) from inside their call.
  void notify() {
    const auto entries = entries_;  // survives the list's owner going away inside a callback
    const std::size_t count = entries->size();
    for (std::size_t i = 0; i < count && i < entries->size(); ++i) {
      const auto callback = (*entries)[i].second;  // a copy: the vector may grow meanwhile
      if (callback) callback();
    }
    std::erase_if(*entries, [](const auto& entry) { return !entry.second; });
  }

 private:
  std::shared_ptr<Subscription::Entries> entries_ = std::make_shared<Subscription::Entries>();
  std::size_t lastId_ = 0;
};

}  // namespace velvix
