#pragma once

// The unified log: lines under a subsystem and a category, at a level, written as fixed format
// strings with typed placeholders. The placeholders are checked against the arguments' types at
// compile time, so a line can never print the wrong thing:
//   %{public}s  a string (anything convertible to std::string_view)
//   %{bool}d    a bool, rendered as true / false
//   %.*f        a Fixed: a double with the precision to print it with
//   %ld         a signed integer
//   %u          an unsigned integer of at most 32 bits
//   %%          a percent sign

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

namespace velvix::platform {

/// The application's bundle identifier, the subsystem of all its log lines.
inline constexpr std::string_view kBundleIdentifier = "app.velvix.Velvix";

enum class LogLevel { debug, standard, error };

/// The argument of a "%.*f" placeholder.
struct Fixed {
  int precision = 0;
  double value = 0;
};

struct LogRecord {
  std::string_view subsystem;
  std::string_view category;
  LogLevel level = LogLevel::standard;
  std::string_view format;  ///< the fixed format string, for filtering by message
  std::string text;         ///< the rendered line
};

/// Where log lines go. Implementations must accept lines from any thread.
class LogSink {
 public:
  LogSink() = default;
  LogSink(const LogSink&) = delete;
  LogSink& operator=(const LogSink&) = delete;
  virtual ~LogSink() = default;
  virtual void write(const LogRecord& record) = 0;
};

namespace detail {

enum class LogArgKind : unsigned char {
  string,
  boolean,
  signedInt,
  unsignedInt,
  wideUnsigned,
  fixed
};

struct LogArg {
  LogArgKind kind = LogArgKind::string;
  std::string_view string;
  bool boolean = false;
  long long signedInt = 0;
  unsigned long long unsignedInt = 0;
  Fixed fixed;
};

template <typename T>
consteval LogArgKind logArgKind() {
  using U = std::remove_cvref_t<T>;
  if constexpr (std::is_same_v<U, bool>) {
    return LogArgKind::boolean;
  } else if constexpr (std::is_same_v<U, Fixed>) {
    return LogArgKind::fixed;
  } else if constexpr (std::is_convertible_v<const U&, std::string_view>) {
    return LogArgKind::string;
  } else if constexpr (std::is_integral_v<U> && std::is_unsigned_v<U>) {
    return sizeof(U) <= 4 ? LogArgKind::unsignedInt : LogArgKind::wideUnsigned;
  } else if constexpr (std::is_integral_v<U>) {
    return LogArgKind::signedInt;
  } else {
    static_assert(sizeof(U) == 0, "this type has no log placeholder");
  }
}

template <typename T>
LogArg toLogArg(const T& value) {
  constexpr LogArgKind kind = logArgKind<T>();
  LogArg arg;
  arg.kind = kind;
  if constexpr (kind == LogArgKind::boolean) {
    arg.boolean = value;
  } else if constexpr (kind == LogArgKind::fixed) {
    arg.fixed = value;
  } else if constexpr (kind == LogArgKind::string) {
    arg.string = std::string_view(value);
  } else if constexpr (kind == LogArgKind::signedInt) {
    arg.signedInt = value;
  } else {
    arg.unsignedInt = value;
  }
  return arg;
}

/// Whether the placeholders of `format` take exactly `kinds`, in order.
consteval bool formatTakes(std::string_view format, const LogArgKind* kinds, std::size_t count) {
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    const std::string_view rest = format.substr(i);
    LogArgKind kind{};
    std::size_t length = 0;
    if (rest.starts_with("%%")) {
      ++i;
      continue;
    } else if (rest.starts_with("%{public}s")) {
      kind = LogArgKind::string, length = 10;
    } else if (rest.starts_with("%{bool}d")) {
      kind = LogArgKind::boolean, length = 8;
    } else if (rest.starts_with("%.*f")) {
      kind = LogArgKind::fixed, length = 4;
    } else if (rest.starts_with("%ld")) {
      kind = LogArgKind::signedInt, length = 3;
    } else if (rest.starts_with("%u")) {
      kind = LogArgKind::unsignedInt, length = 2;
    } else {
      return false;  // an unknown placeholder
    }
    if (next >= count || kinds[next] != kind) return false;
    ++next;
    i += length - 1;
  }
  return next == count;
}

// Deliberately not constexpr: calling it during constant evaluation is the compile error.
void logFormatDoesNotMatchArguments();

}  // namespace detail

/// A format string whose placeholders were checked against `Args` at compile time.
template <typename... Args>
class LogFormat {
 public:
  consteval LogFormat(const char* format) : text_(format) {  // NOLINT: implicit by design
    constexpr detail::LogArgKind kinds[sizeof...(Args) + 1] = {detail::logArgKind<Args>()...,
                                                               detail::LogArgKind::string};
    if (!detail::formatTakes(text_, kinds, sizeof...(Args))) {
      detail::logFormatDoesNotMatchArguments();
    }
  }
  [[nodiscard]] constexpr std::string_view text() const { return text_; }

 private:
  std::string_view text_;
};

/// Renders `format` with already-checked arguments.
std::string renderLogLine(std::string_view format, std::initializer_list<detail::LogArg> args);

/// A log destination for one subsystem and category. Cheap to copy; thread-safe as its sink.
class Logger {
 public:
  Logger(LogSink& sink, std::string_view category, std::string_view subsystem = kBundleIdentifier)
      : sink_(&sink), subsystem_(subsystem), category_(category) {}

  template <typename... Args>
  void log(LogFormat<std::type_identity_t<Args>...> format, const Args&... args) const {
    write(LogLevel::standard, format.text(), {detail::toLogArg(args)...});
  }
  template <typename... Args>
  void debug(LogFormat<std::type_identity_t<Args>...> format, const Args&... args) const {
    write(LogLevel::debug, format.text(), {detail::toLogArg(args)...});
  }
  template <typename... Args>
  void error(LogFormat<std::type_identity_t<Args>...> format, const Args&... args) const {
    write(LogLevel::error, format.text(), {detail::toLogArg(args)...});
  }

  [[nodiscard]] std::string_view category() const { return category_; }

 private:
  void write(LogLevel level, std::string_view format,
             std::initializer_list<detail::LogArg> args) const;

  LogSink* sink_;
  std::string subsystem_;
  std::string category_;
};

}  // namespace velvix::platform
