#include "X11Glass.hpp"

#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xdamage.h>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <cstdlib>
#include <vector>

namespace velvix::x11 {

bool isRgb888(const Visual* visual, int depth) {
  return visual && (depth == 24 || depth == 32) && visual->red_mask == 0xFF0000 &&
         visual->green_mask == 0xFF00 && visual->blue_mask == 0xFF;
}

PixelBuffer::PixelBuffer(X11Connection& connection, Visual* visual, int depth, int width,
                         int height)
    : connection_(connection), width_(width), height_(height), depth_(depth) {
  if (width <= 0 || height <= 0 || !isRgb888(visual, depth)) return;
  Display* display = connection_.display();
  if (connection_.extensions().shm) {
    image_ = XShmCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, nullptr, &shm_,
                             static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (image_) {
      shm_.shmid = shmget(IPC_PRIVATE, static_cast<std::size_t>(image_->bytes_per_line) * height,
                          IPC_CREAT | 0600);
      void* address = shm_.shmid >= 0 ? shmat(shm_.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
      if (address != reinterpret_cast<void*>(-1)) {
        shm_.shmaddr = image_->data = static_cast<char*>(address);
        shm_.readOnly = False;
        usesShm_ = connection_.checked([&] { XShmAttach(display, &shm_); });
      }
      // Marked for removal now: the segment goes when both sides have detached, even if we crash.
      if (shm_.shmid >= 0) shmctl(shm_.shmid, IPC_RMID, nullptr);
      if (!usesShm_) {
        if (shm_.shmaddr) shmdt(shm_.shmaddr);
        image_->data = nullptr;
        XDestroyImage(image_);
        image_ = nullptr;
        shm_ = {};
      }
    }
  }
  if (!image_) {
    image_ = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                          static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (image_) {
      image_->data = static_cast<char*>(
          std::calloc(static_cast<std::size_t>(image_->bytes_per_line) * height, 1));
      if (!image_->data) {
        XDestroyImage(image_);
        image_ = nullptr;
      }
    }
  }
  if (image_ && image_->bits_per_pixel != 32) {
    XDestroyImage(image_);  // frees the calloc'd data; shared memory is 32-bit by construction
    image_ = nullptr;
  }
}

PixelBuffer::~PixelBuffer() {
  if (!image_) return;
  if (usesShm_) {
    XShmDetach(connection_.display(), &shm_);
    XSync(connection_.display(), False);  // the server lets go before we do
    shmdt(shm_.shmaddr);
    image_->data = nullptr;
  }
  XDestroyImage(image_);
}

bool PixelBuffer::read(Drawable drawable) {
  if (!image_) return false;
  Display* display = connection_.display();
  if (usesShm_) {
    bool ok = false;
    const bool sent =
        connection_.checked([&] { ok = XShmGetImage(display, drawable, image_, 0, 0, AllPlanes); });
    return sent && ok;
  }
  bool ok = false;
  const bool sent = connection_.checked([&] {
    ok = XGetSubImage(display, drawable, 0, 0, static_cast<unsigned>(width_),
                      static_cast<unsigned>(height_), AllPlanes, ZPixmap, image_, 0, 0) != nullptr;
  });
  return sent && ok;
}

void PixelBuffer::write(Drawable drawable, GC gc, int x, int y, int w, int h) {
  if (!image_ || w <= 0 || h <= 0) return;
  if (usesShm_) {
    XShmPutImage(connection_.display(), drawable, gc, image_, x, y, x, y, static_cast<unsigned>(w),
                 static_cast<unsigned>(h), False);
  } else {
    XPutImage(connection_.display(), drawable, gc, image_, x, y, x, y, static_cast<unsigned>(w),
              static_cast<unsigned>(h));
  }
}

std::uint32_t PixelBuffer::get(int x, int y) const {
  const auto* row = reinterpret_cast<const std::uint32_t*>(
      image_->data + static_cast<std::ptrdiff_t>(y) * image_->bytes_per_line);
  return row[x] & 0xFFFFFF;
}

void PixelBuffer::put(int x, int y, std::uint32_t rgb) {
  auto* row = reinterpret_cast<std::uint32_t*>(image_->data + static_cast<std::ptrdiff_t>(y) *
                                                                  image_->bytes_per_line);
  row[x] = rgb | 0xFF000000;  // opaque, should the visual carry alpha
}

std::unique_ptr<WindowCapture> WindowCapture::start(X11Connection& connection, Window source) {
  if (!connection.extensions().composite) return nullptr;
  const bool redirected = connection.checked(
      [&] { XCompositeRedirectWindow(connection.display(), source, CompositeRedirectAutomatic); });
  if (!redirected) return nullptr;
  return std::unique_ptr<WindowCapture>(new WindowCapture(connection, source));
}

WindowCapture::WindowCapture(X11Connection& connection, Window source)
    : connection_(connection), source_(source) {
  if (connection_.extensions().damageEventBase) {
    damage_ = XDamageCreate(connection_.display(), source_, XDamageReportNonEmpty);
    connection_.checked([&] { XClearArea(connection_.display(), source_, 0, 0, 0, 0, True); });
  } else {
    hasPainted_ = true;  // nothing would ever tell; take the pixmap as it comes
  }
}

WindowCapture::~WindowCapture() {
  buffer_.reset();
  releaseScaled();
  connection_.checked([&] {
    if (damage_) XDamageDestroy(connection_.display(), damage_);
    XCompositeUnredirectWindow(connection_.display(), source_, CompositeRedirectAutomatic);
  });
}

bool WindowCapture::isDamage(const XEvent& event) {
  const auto base = connection_.extensions().damageEventBase;
  if (!base || event.type != *base + XDamageNotify) return false;
  const auto& notify = reinterpret_cast<const XDamageNotifyEvent&>(event);
  if (notify.damage != damage_) return false;
  // Report-non-empty sends one event until the damage is taken away.
  XDamageSubtract(connection_.display(), damage_, None, None);
  hasPainted_ = true;
  return true;
}

const PixelBuffer* WindowCapture::capture() {
  if (!hasPainted_) return nullptr;
  Display* display = connection_.display();
  XWindowAttributes attributes;
  bool ok = false;
  if (!connection_.checked([&] { ok = XGetWindowAttributes(display, source_, &attributes); }) ||
      !ok || attributes.map_state != IsViewable)
    return nullptr;
  if (!buffer_ || buffer_->width() != attributes.width || buffer_->height() != attributes.height ||
      buffer_->depth() != attributes.depth) {
    buffer_ = std::make_unique<PixelBuffer>(connection_, attributes.visual, attributes.depth,
                                            attributes.width, attributes.height);
  }
  if (!buffer_->isValid()) return nullptr;
  Pixmap pixmap = None;
  if (!connection_.checked([&] { pixmap = XCompositeNameWindowPixmap(display, source_); }))
    return nullptr;
  const bool read = buffer_->read(pixmap);
  XFreePixmap(display, pixmap);
  return read ? buffer_.get() : nullptr;
}

namespace {

XTransform scaling(double factor) {
  const XFixed one = XDoubleToFixed(1), f = XDoubleToFixed(factor);
  return {{{f, 0, 0}, {0, f, 0}, {0, 0, one}}};
}

}  // namespace

void WindowCapture::releaseScaled() {
  scaledBuffer_.reset();
  Display* display = connection_.display();
  if (scaledPicture_) XRenderFreePicture(display, scaledPicture_);
  if (scaledPixmap_) XFreePixmap(display, scaledPixmap_);
  scaledPicture_ = None, scaledPixmap_ = None;
}

WindowCapture::Scaled WindowCapture::captureScaledDown(int factor) {
  if (!hasPainted_ || !connection_.extensions().render || factor < 1 || factor > 8) return {};
  Display* display = connection_.display();
  XWindowAttributes attributes;
  bool ok = false;
  if (!connection_.checked([&] { ok = XGetWindowAttributes(display, source_, &attributes); }) ||
      !ok || attributes.map_state != IsViewable || !isRgb888(attributes.visual, attributes.depth))
    return {};
  XRenderPictFormat* format = XRenderFindVisualFormat(display, attributes.visual);
  if (!format) return {};
  const int width = (attributes.width + factor - 1) / factor;
  const int height = (attributes.height + factor - 1) / factor;
  if (!scaledBuffer_ || scaledBuffer_->width() != width || scaledBuffer_->height() != height ||
      scaledBuffer_->depth() != attributes.depth) {
    releaseScaled();
    scaledBuffer_ = std::make_unique<PixelBuffer>(connection_, attributes.visual, attributes.depth,
                                                  width, height);
    if (!scaledBuffer_->isValid()) return {};
    scaledPixmap_ =
        XCreatePixmap(display, source_, static_cast<unsigned>(width), static_cast<unsigned>(height),
                      static_cast<unsigned>(attributes.depth));
    scaledPicture_ = XRenderCreatePicture(display, scaledPixmap_, format, 0, nullptr);
  }
  if (!scaledBuffer_->isValid()) return {};

  // The window's own pixmap, each time: a resize or remap gives it a new one. Each pixel of the
  // scaled image is the mean of the factor x factor block under it. A bilinear sample at the
  // centre of a 2 x 2 block is exactly its mean, and the server has fast paths for those, where
  // a general convolution has none: a power of two goes down by halvings, anything else by one
  // convolution with a box placed by the transform from the block's centre.
  bool read = false;
  const bool sent = connection_.checked([&] {
    XRenderPictureAttributes pad{};
    pad.repeat = RepeatPad;
    const auto picture = [&](Drawable drawable) {
      return XRenderCreatePicture(display, drawable, format, CPRepeat, &pad);
    };
    const Pixmap window = XCompositeNameWindowPixmap(display, source_);
    Pixmap pixmap = window;
    Picture from = picture(window);
    const auto step = [&](int by, int w, int h, bool last) {
      const Pixmap next =
          last ? scaledPixmap_
               : XCreatePixmap(display, source_, static_cast<unsigned>(w), static_cast<unsigned>(h),
                               static_cast<unsigned>(attributes.depth));
      const Picture to = last ? scaledPicture_ : picture(next);
      XTransform transform = scaling(by);
      XRenderSetPictureTransform(display, from, &transform);
      if ((by & (by - 1)) == 0) {
        XRenderSetPictureFilter(display, from, const_cast<char*>(FilterBilinear), nullptr, 0);
      } else {
        std::vector<XFixed> box(2 + by * by, XDoubleToFixed(1.0 / (by * by)));
        box[0] = box[1] = XDoubleToFixed(by);
        XRenderSetPictureFilter(display, from, const_cast<char*>(FilterConvolution), box.data(),
                                static_cast<int>(box.size()));
      }
      XRenderComposite(display, PictOpSrc, from, None, to, 0, 0, 0, 0, 0, 0,
                       static_cast<unsigned>(w), static_cast<unsigned>(h));
      XRenderFreePicture(display, from);
      XFreePixmap(display, pixmap);
      from = last ? None : to, pixmap = last ? None : next;
    };
    if ((factor & (factor - 1)) != 0) {
      step(factor, width, height, true);
    } else {
      int w = attributes.width, h = attributes.height;
      for (int f = factor; f > 1; f /= 2) {
        w = (w + 1) / 2, h = (h + 1) / 2;
        step(2, w, h, f == 2);
      }
      if (factor == 1) step(1, width, height, true);
    }
  });
  if (sent) read = scaledBuffer_->read(scaledPixmap_);
  if (!read) return {};
  return {scaledBuffer_.get(), attributes.width, attributes.height};
}

std::unique_ptr<ScaledGlass> ScaledGlass::create(X11Connection& connection, Window window,
                                                 Visual* visual, int depth) {
  if (!connection.extensions().render || !isRgb888(visual, depth)) return nullptr;
  XRenderPictFormat* format = XRenderFindVisualFormat(connection.display(), visual);
  if (!format) return nullptr;
  Picture target = None;
  if (!connection.checked(
          [&] { target = XRenderCreatePicture(connection.display(), window, format, 0, nullptr); }))
    return nullptr;
  return std::unique_ptr<ScaledGlass>(new ScaledGlass(connection, window, visual, depth, target));
}

ScaledGlass::ScaledGlass(X11Connection& connection, Window window, Visual* visual, int depth,
                         Picture target)
    : connection_(connection), window_(window), visual_(visual), depth_(depth), target_(target) {}

ScaledGlass::~ScaledGlass() {
  releaseImage();
  Display* display = connection_.display();
  if (gc_) XFreeGC(display, gc_);
  XRenderFreePicture(display, target_);
}

void ScaledGlass::releaseImage() {
  image_.reset();
  Display* display = connection_.display();
  if (picture_) XRenderFreePicture(display, picture_);
  if (pixmap_) XFreePixmap(display, pixmap_);
  picture_ = None, pixmap_ = None, factor_ = 0;
}

PixelBuffer* ScaledGlass::image(int width, int height) {
  if (image_ && image_->width() == width && image_->height() == height) return image_.get();
  releaseImage();
  image_ = std::make_unique<PixelBuffer>(connection_, visual_, depth_, width, height);
  if (!image_->isValid()) {
    image_.reset();
    return nullptr;
  }
  Display* display = connection_.display();
  pixmap_ = XCreatePixmap(display, window_, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), static_cast<unsigned>(depth_));
  if (!gc_) gc_ = XCreateGC(display, pixmap_, 0, nullptr);
  XRenderPictureAttributes pad{};
  pad.repeat = RepeatPad;
  picture_ = XRenderCreatePicture(display, pixmap_, XRenderFindVisualFormat(display, visual_),
                                  CPRepeat, &pad);
  XRenderSetPictureFilter(display, picture_, const_cast<char*>(FilterBilinear), nullptr, 0);
  return image_.get();
}

void ScaledGlass::draw(int factor, int x, int y, int w, int h) {
  if (!image_ || w <= 0 || h <= 0) return;
  Display* display = connection_.display();
  image_->write(pixmap_, gc_, 0, 0, image_->width(), image_->height());
  if (factor != factor_) {
    XTransform transform = scaling(1.0 / factor);
    XRenderSetPictureTransform(display, picture_, &transform);
    factor_ = factor;
  }
  XRenderComposite(display, PictOpSrc, picture_, None, target_, x, y, 0, 0, x, y,
                   static_cast<unsigned>(w), static_cast<unsigned>(h));
}

}  // namespace velvix::x11
