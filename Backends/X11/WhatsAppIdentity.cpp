#include "WhatsAppIdentity.hpp"

#include <Velvix/WhatsAppWindow.hpp>

#include <algorithm>

namespace velvix::x11 {

bool isWhatsAppTitle(std::string_view title) {
  if (title == kWhatsAppOwnerName) return true;
  // "(N) WhatsApp": a positive count without sign or leading zero, one space, the name.
  constexpr std::string_view suffix = ") WhatsApp";
  if (!title.starts_with('(') || !title.ends_with(suffix)) return false;
  const std::string_view count = title.substr(1, title.size() - 1 - suffix.size());
  return !count.empty() && count.front() != '0' &&
         std::all_of(count.begin(), count.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<std::string> whatsAppIdentifier(const WindowIdentity& identity) {
  for (const auto* candidate : {&identity.applicationId, &identity.wmInstance}) {
    if (*candidate && WhatsAppWindow::isWhatsAppBundle(**candidate)) return **candidate;
  }
  return std::nullopt;
}

bool isWhatsApp(const WindowIdentity& identity) {
  if (identity.wmClass == kWhatsAppOwnerName) return true;
  if (whatsAppIdentifier(identity)) return true;
  return identity.title && isWhatsAppTitle(*identity.title);
}

std::string propertyText(std::string_view bytes, bool complete) {
  std::string text(bytes);
  if (!complete) text += "\u2026";
  return text;
}

std::pair<std::string, std::string> classHint(std::string_view bytes, bool complete) {
  const std::size_t end = bytes.find('\0');
  const std::string_view instance = bytes.substr(0, end);
  std::string_view cls = end == std::string_view::npos ? std::string_view() : bytes.substr(end + 1);
  const bool classComplete = complete || cls.find('\0') != std::string_view::npos;
  cls = cls.substr(0, cls.find('\0'));
  return {propertyText(instance, complete || end != std::string_view::npos),
          cls.empty() && classComplete ? std::string() : propertyText(cls, classComplete)};
}

}  // namespace velvix::x11
