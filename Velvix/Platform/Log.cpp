#include "Log.hpp"

#include <cstdio>

namespace velvix::platform {

namespace detail {
void logFormatDoesNotMatchArguments() {}
}  // namespace detail

std::string renderLogLine(std::string_view format, std::initializer_list<detail::LogArg> args) {
  using detail::LogArgKind;
  std::string out;
  out.reserve(format.size() + 16 * args.size());
  auto arg = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c != '%') {
      out.push_back(c);
      continue;
    }
    const std::string_view rest = format.substr(i);
    if (rest.starts_with("%%")) {
      out.push_back('%');
      ++i;
      continue;
    }
    // The placeholders were matched against the arguments at compile time; the guard only
    // keeps a hand-built call from reading past the list.
    if (arg == args.end()) break;
    std::size_t length = 2;
    switch (arg->kind) {
      case LogArgKind::string:
        out.append(arg->string);
        length = 10;  // %{public}s
        break;
      case LogArgKind::boolean:
        out.append(arg->boolean ? "true" : "false");
        length = 8;  // %{bool}d
        break;
      case LogArgKind::fixed: {
        char buffer[64];
        const int precision =
            arg->fixed.precision < 0 ? 0 : (arg->fixed.precision > 17 ? 17 : arg->fixed.precision);
        const int n = std::snprintf(buffer, sizeof buffer, "%.*f", precision, arg->fixed.value);
        if (n > 0)
          out.append(buffer, static_cast<std::size_t>(n) < sizeof buffer
                                 ? static_cast<std::size_t>(n)
                                 : sizeof buffer - 1);
        length = 4;  // %.*f
        break;
      }
      case LogArgKind::signedInt:
        out.append(std::to_string(arg->signedInt));
        length = 3;  // %ld
        break;
      case LogArgKind::unsignedInt:
      case LogArgKind::wideUnsigned:
        out.append(std::to_string(arg->unsignedInt));
        length = 2;  // %u
        break;
    }
    ++arg;
    i += length - 1;
  }
  return out;
}

void Logger::write(LogLevel level, std::string_view format,
                   std::initializer_list<detail::LogArg> args) const {
  sink_->write(LogRecord{subsystem_, category_, level, format, renderLogLine(format, args)});
}

}  // namespace velvix::platform
