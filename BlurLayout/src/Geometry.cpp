#include <BlurLayout/Geometry.hpp>

#include <ostream>

namespace velvix {

std::ostream& operator<<(std::ostream& os, const Point& p) {
  return os << '(' << p.x << ", " << p.y << ')';
}

std::ostream& operator<<(std::ostream& os, const Size& s) {
  return os << s.width << " x " << s.height;
}

std::ostream& operator<<(std::ostream& os, const Rect& r) {
  if (r.isNull()) return os << "null";
  return os << '(' << r.origin.x << ", " << r.origin.y << ", " << r.size.width << ", "
            << r.size.height << ')';
}

}  // namespace velvix
