#pragma once

// Reading a window's own pixels and writing the overlay's. The source window is redirected
// (Composite, automatic: the server still paints it on screen as before) so that it keeps a
// pixmap of its own contents, which no window in front of it (the overlay above all) ever
// draws into. Each capture names that pixmap afresh, so a resize or a remap never leaves a
// stale one behind, and copies it through shared memory when the server offers MIT-SHM. A
// DAMAGE object reports when the window painted since the last capture.
//
// A freshly redirected window's pixmap may hold only its background until the window paints
// again, so starting a capture asks the window to repaint (an exposure), and no pixels are
// given out before the first damage report says that painting happened.
//
// Glass needs the window's pixels only scaled down, and gives back pixels only to be scaled up:
// with RENDER, the server does both (a box filter down, bilinear up), so that only an image a
// quarter or an eighth of the size each way crosses between the processes.

#include "Raster.hpp"
#include "X11Connection.hpp"

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrender.h>

#include <memory>
#include <optional>

namespace velvix::x11 {

/// An XImage of 32-bit pixels, in shared memory when the server offers it.
class PixelBuffer {
 public:
  PixelBuffer(X11Connection& connection, Visual* visual, int depth, int width, int height);
  PixelBuffer(const PixelBuffer&) = delete;
  PixelBuffer& operator=(const PixelBuffer&) = delete;
  ~PixelBuffer();

  [[nodiscard]] bool isValid() const { return image_ != nullptr; }
  [[nodiscard]] int width() const { return width_; }
  [[nodiscard]] int height() const { return height_; }
  [[nodiscard]] int depth() const { return depth_; }
  /// Fills the buffer from `drawable` at (0, 0); false when the server refused.
  bool read(Drawable drawable);
  /// Writes the rectangle (x, y, w, h) of the buffer to the same place of `drawable`.
  void write(Drawable drawable, GC gc, int x, int y, int w, int h);

  /// The pixels: 32 bits each, blue in the lowest byte (the visuals we accept are 8-8-8 true
  /// colour, so every byte is one channel), rows `stride()` bytes apart.
  [[nodiscard]] std::uint8_t* data() { return reinterpret_cast<std::uint8_t*>(image_->data); }
  [[nodiscard]] const std::uint8_t* data() const {
    return reinterpret_cast<const std::uint8_t*>(image_->data);
  }
  [[nodiscard]] std::ptrdiff_t stride() const { return image_->bytes_per_line; }

  /// Pixel access as 0x00RRGGBB.
  [[nodiscard]] std::uint32_t get(int x, int y) const;
  void put(int x, int y, std::uint32_t rgb);

 private:
  X11Connection& connection_;
  int width_, height_, depth_;
  XImage* image_ = nullptr;
  XShmSegmentInfo shm_{};
  bool usesShm_ = false;
};

/// Whether the buffers can hold this visual's pixels: true colour, 8 bits per channel.
[[nodiscard]] bool isRgb888(const Visual* visual, int depth);

class WindowCapture {
 public:
  /// Empty when the server lacks Composite or refused to redirect the window.
  [[nodiscard]] static std::unique_ptr<WindowCapture> start(X11Connection& connection,
                                                            Window source);
  WindowCapture(const WindowCapture&) = delete;
  WindowCapture& operator=(const WindowCapture&) = delete;
  ~WindowCapture();

  [[nodiscard]] Window source() const { return source_; }
  /// True when `event` reports damage to the source (and takes note of it).
  bool isDamage(const XEvent& event);
  /// The window's pixels now, valid until the next capture; null when there are none
  /// (not painted since the capture started, unmapped, gone, of a visual we cannot read).
  [[nodiscard]] const PixelBuffer* capture();
  /// Lets go of the buffer capture() filled (megabytes for a large window) until it is next
  /// called.
  void releaseFullSize() { buffer_.reset(); }

  struct Scaled {
    const PixelBuffer* pixels = nullptr;  ///< each pixel the mean of a block of the window's
    int sourceWidth = 0, sourceHeight = 0;
  };
  /// The window's pixels box-filtered down by `factor` (1 to 8) by the server: blocks of
  /// factor x factor pixels, those past the right and bottom edges repeating the edge. Valid
  /// until the next capture; no pixels where capture() would give none, or without RENDER.
  [[nodiscard]] Scaled captureScaledDown(int factor);

 private:
  WindowCapture(X11Connection& connection, Window source);
  void releaseScaled();

  X11Connection& connection_;
  Window source_;
  unsigned long damage_ = 0;
  bool hasPainted_ = false;
  std::unique_ptr<PixelBuffer> buffer_;
  // The server-side image scaled captures are drawn into, and its copy here.
  Pixmap scaledPixmap_ = None;
  Picture scaledPicture_ = None;
  std::unique_ptr<PixelBuffer> scaledBuffer_;
};

/// Glass drawn at low resolution and scaled up into a window by the server, bilinearly with
/// pixel centres aligned (as glass::FrostedGlass scales its own up), its edges repeated.
class ScaledGlass {
 public:
  /// Empty without RENDER or for a visual the buffers cannot hold.
  [[nodiscard]] static std::unique_ptr<ScaledGlass> create(X11Connection& connection, Window window,
                                                           Visual* visual, int depth);
  ScaledGlass(const ScaledGlass&) = delete;
  ScaledGlass& operator=(const ScaledGlass&) = delete;
  ~ScaledGlass();

  /// The low-resolution image to draw into, `width` x `height`, kept between frames while the
  /// size stays; null when the server refused one.
  [[nodiscard]] PixelBuffer* image(int width, int height);
  /// Sends the image and draws it, scaled up by `factor`, over the rectangle (x, y, w, h) of
  /// the window.
  void draw(int factor, int x, int y, int w, int h);

 private:
  ScaledGlass(X11Connection& connection, Window window, Visual* visual, int depth, Picture target);
  void releaseImage();

  X11Connection& connection_;
  Window window_;
  Visual* visual_;
  int depth_;
  Picture target_;
  GC gc_ = nullptr;
  Pixmap pixmap_ = None;
  Picture picture_ = None;
  int factor_ = 0;
  std::unique_ptr<PixelBuffer> image_;
};

}  // namespace velvix::x11
