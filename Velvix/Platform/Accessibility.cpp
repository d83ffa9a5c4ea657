#include "Accessibility.hpp"

namespace velvix::platform {

std::string_view attributeName(Attribute attribute) {
  switch (attribute) {
    case Attribute::role:
      return "AXRole";
    case Attribute::description:
      return "AXDescription";
    case Attribute::title:
      return "AXTitle";
    case Attribute::value:
      return "AXValue";
    case Attribute::position:
      return "AXPosition";
    case Attribute::size:
      return "AXSize";
    case Attribute::children:
      return "AXChildren";
    case Attribute::windows:
      return "AXWindows";
  }
  return "AXUnknown";
}

std::optional<Point> Value::point() const {
  if (const Point* p = std::get_if<Point>(&v_)) return *p;
  return std::nullopt;
}

std::optional<Size> Value::size() const {
  if (const Size* s = std::get_if<Size>(&v_)) return *s;
  return std::nullopt;
}

}  // namespace velvix::platform
