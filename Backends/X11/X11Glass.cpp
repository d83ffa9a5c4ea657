#include "X11Glass.hpp"

#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xdamage.h>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <cstdlib>

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

}  // namespace velvix::x11
