#pragma once

// Follows WhatsApp's scrolling between reads. After each read it holds one on-screen element of
// the chat list and one of the message list with where each was at read time; measure() reports
// how far each has moved since.
//
// Shared by the reader (which publishes after each read), the follow loop (which measures off
// the main thread) and the main thread (which deactivates it). Its state sits behind one small
// lock that is held only to copy or update the record: never across an accessibility call, and
// never while taking another lock.

#include <BlurLayout/Geometry.hpp>
#include <BlurLayout/LayoutTypes.hpp>
#include <Velvix/Platform/Accessibility.hpp>

#include <cstdint>
#include <mutex>
#include <optional>

namespace velvix {

class ScrollTracker {
 public:
  /// An element being watched and its minimum y relative to the window's top at read time.
  struct Reference {
    platform::Element element;  ///< kept alive by the reference
    double y = 0;
  };

  struct State {
    std::int64_t generation = 0;  ///< successful reads so far
    bool isActive = false;        ///< false until a read succeeds; cleared when reading stops
    std::optional<Reference> chatList;
    std::optional<Reference> messages;
    Rect windowFrame = Rect::null();  ///< the read's window frame, window-list space
  };

  struct Measurement {
    std::int64_t generation = 0;  ///< the read the offset belongs to
    ScrollOffset offset;          ///< points moved since that read; positive is down
    double takenAt = 0;           ///< media time just before the positions were asked for
  };

  explicit ScrollTracker(platform::Accessibility& accessibility);
  ScrollTracker(const ScrollTracker&) = delete;
  ScrollTracker& operator=(const ScrollTracker&) = delete;

  /// How far both watched elements moved since the read; empty when inactive or when any
  /// present reference cannot be measured or moved by the window's height or more.
  [[nodiscard]] std::optional<Measurement> measure() const;

  /// The y of the element's position minus `frame`'s minimum y; empty when it cannot be read.
  [[nodiscard]] static std::optional<double> currentY(platform::Accessibility& accessibility,
                                                      const platform::Element& element,
                                                      const Rect& frame);

  /// After a successful read: the next generation, active, both references (absent ones too)
  /// and the frame. Returns the new generation.
  std::int64_t publish(std::optional<Reference> chatList, std::optional<Reference> messages,
                       const Rect& windowFrame);
  /// Stops measurement until the next successful read.
  void deactivate();

  /// A copy of the whole record.
  [[nodiscard]] State state() const;
  /// Whether a successful read is being measured against.
  [[nodiscard]] bool isActive() const;

 private:
  platform::Accessibility& accessibility_;
  mutable std::mutex mutex_;
  State state_;
};

}  // namespace velvix
