#include "FileDefaults.hpp"

#include <nlohmann/json.hpp>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace velvix::files {

namespace {

// Keeps the order of keys as found, so a document a user edited by hand stays recognisable.
using Json = nlohmann::ordered_json;

constexpr std::string_view kBytesTag = "$bytes";
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encoded(std::string_view data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    const auto n = static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << 16 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(data[i + 1])) << 8 |
                   static_cast<std::uint32_t>(static_cast<unsigned char>(data[i + 2]));
    for (int shift = 18; shift >= 0; shift -= 6)
      out.push_back(kAlphabet[(n >> shift) & 63]);
  }
  if (const std::size_t rest = data.size() - i; rest > 0) {
    std::uint32_t n = static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << 16;
    if (rest == 2) n |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i + 1])) << 8;
    out.push_back(kAlphabet[(n >> 18) & 63]);
    out.push_back(kAlphabet[(n >> 12) & 63]);
    out.push_back(rest == 2 ? kAlphabet[(n >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

int base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Only the canonical form base64Encoded writes is accepted: anything else was not written as
// byte data by us and is kept as a value of another kind.
std::optional<std::string> base64Decoded(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const std::size_t padding = last ? (text[i + 3] == '=' ? (text[i + 2] == '=' ? 2 : 1) : 0) : 0;
    std::uint32_t n = 0;
    for (std::size_t j = 0; j < 4 - padding; ++j) {
      const int digit = base64Digit(text[i + j]);
      if (digit < 0) return std::nullopt;
      n |= static_cast<std::uint32_t>(digit) << (18 - 6 * j);
    }
    // Unused low bits must be zero, so every byte string has exactly one spelling.
    if ((padding == 1 && (n & 0xFF) != 0) || (padding == 2 && (n & 0xFFFF) != 0)) {
      return std::nullopt;
    }
    out.push_back(static_cast<char>((n >> 16) & 0xFF));
    if (padding < 2) out.push_back(static_cast<char>((n >> 8) & 0xFF));
    if (padding < 1) out.push_back(static_cast<char>(n & 0xFF));
  }
  return out;
}

std::optional<std::string> bytesIn(const Json& value) {
  if (!value.is_object() || value.size() != 1) return std::nullopt;
  const auto it = value.find(kBytesTag);
  if (it == value.end() || !it->is_string()) return std::nullopt;
  return base64Decoded(it->get_ref<const std::string&>());
}

// Never throws: a key that is not valid UTF-8 is written with replacement characters.
std::string serialized(const Json& value, int indent) {
  return value.dump(indent, ' ', false, Json::error_handler_t::replace);
}

enum class Found { nothing, document, unusable };

struct Contents {
  Found found = Found::nothing;
  Json document;
};

// What is on disk now. A file that is missing (or whose folder is) is nothing; one that cannot
// be read, is too large, or is not a JSON object, is unusable.
Contents readDocument(const std::filesystem::path& file, const FileDefaults::Hooks& hooks) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return {errno == ENOENT || errno == ENOTDIR ? Found::nothing : Found::unusable, {}};
  }
  if (hooks.readError && hooks.readError(fd) != 0) {
    ::close(fd);
    return {Found::unusable, {}};
  }
  std::string text;
  char buffer[16384];
  for (;;) {
    // Stops reading past the limit, so a huge file costs neither memory nor a long parse.
    if (text.size() > FileDefaults::kLargestDocument) {
      ::close(fd);
      return {Found::unusable, {}};
    }
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      ::close(fd);
      return {Found::unusable, {}};
    }
  }
  ::close(fd);
  Json document = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded() || !document.is_object()) return {Found::unusable, {}};
  return {Found::document, std::move(document)};
}

bool writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Shared by every instance in the process, so that two stores on one folder never pick the same
// temporary name; the pid tells processes apart.
std::atomic<std::uint64_t> temporaryCounter{0};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] bool isOpen() const { return fd_ >= 0; }
  /// Closes now, reporting the error a delayed write-back may surface only here.
  bool close() {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

}  // namespace

// How long a save waits for another process's lock, and how often it looks.
constexpr std::chrono::milliseconds kLockPatience{200};
constexpr std::chrono::milliseconds kLockPoll{10};

struct FileDefaults::State {
  State(std::filesystem::path folderIn, std::string_view applicationId, platform::Logger loggerIn,
        Hooks hooksIn)
      : folder(std::move(folderIn)), logger(std::move(loggerIn)), hooks(std::move(hooksIn)) {
    if (folder.empty()) return;
    const std::string name = std::string(applicationId) + ".json";
    file = folder / name;
    lockFile = folder / (name + ".lock");
    corruptCopy = folder / (name + ".corrupt");
    temporaryPrefix = "." + name + ".";
  }

  struct Failure {
    const char* step;
    int error;
  };

  std::optional<Failure> save();
  void set(std::string_view key, std::optional<Json> value);

  std::filesystem::path folder;
  std::filesystem::path file;
  std::filesystem::path lockFile;
  std::filesystem::path corruptCopy;
  std::string temporaryPrefix;
  platform::Logger logger;
  Hooks hooks;

  Json values = Json::object();
  // Keys changed here and not yet on disk; a save applies exactly these to what it finds.
  std::set<std::string, std::less<>> pending;
  bool reportedFailure = false;
};

FileDefaults::FileDefaults(std::filesystem::path folder, std::string_view applicationId,
                           platform::Logger logger, Hooks hooks)
    : state_(std::make_unique<State>(std::move(folder), applicationId, std::move(logger),
                                     std::move(hooks))) {
  State& s = *state_;
  if (s.folder.empty()) {
    s.logger.error(
        "No configuration folder (neither XDG_CONFIG_HOME nor HOME is set); settings "
        "are kept in memory for this session");
    s.reportedFailure = true;
    return;
  }
  Contents contents = readDocument(s.file, s.hooks);
  if (contents.found == Found::document) {
    s.values = std::move(contents.document);
  } else if (contents.found == Found::unusable) {
    s.logger.error(
        "Settings file %{public}s is unreadable, larger than a megabyte or not a JSON object; "
        "using defaults, and it is moved to %{public}s before the next save",
        s.file.native(), s.corruptCopy.native());
  }
}

FileDefaults::~FileDefaults() {
  // Keys a failed save left behind get one more chance as the session ends.
  if (state_ && !state_->pending.empty() && !state_->folder.empty()) (void)state_->save();
}

std::unique_ptr<FileDefaults> FileDefaults::forApplication(std::string_view applicationId,
                                                           platform::LogSink& sink) {
  const auto environment = [](const char* name) -> std::optional<std::string_view> {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string_view>(value) : std::nullopt;
  };
  auto folder = configFolder(environment("XDG_CONFIG_HOME"), environment("HOME"));
  return std::make_unique<FileDefaults>(std::move(folder).value_or(std::filesystem::path()),
                                        applicationId, platform::Logger(sink, "settings"));
}

std::optional<std::filesystem::path> FileDefaults::configFolder(
    std::optional<std::string_view> xdgConfigHome, std::optional<std::string_view> home) {
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the base-directory rules require.
  if (xdgConfigHome && !xdgConfigHome->empty() && xdgConfigHome->front() == '/') {
    return std::filesystem::path(*xdgConfigHome) / "velvix";
  }
  if (home && !home->empty() && home->front() == '/') {
    return std::filesystem::path(*home) / ".config" / "velvix";
  }
  return std::nullopt;
}

platform::Defaults::Value FileDefaults::object(std::string_view key) const {
  const Json& values = state_->values;
  const auto it = values.find(std::string(key));
  if (it == values.end()) return std::monostate{};
  if (it->is_boolean()) return it->get<bool>();
  if (it->is_number()) return it->get<double>();
  if (it->is_string()) return it->get<std::string>();
  if (auto bytes = bytesIn(*it)) return Bytes{std::move(*bytes)};
  return Other{serialized(*it, -1)};
}

void FileDefaults::setBool(std::string_view key, bool value) {
  state_->set(key, Json(value));
}

void FileDefaults::setBytes(std::string_view key, std::string_view data) {
  Json tagged = Json::object();
  tagged[std::string(kBytesTag)] = base64Encoded(data);
  state_->set(key, std::move(tagged));
}

void FileDefaults::setNumber(std::string_view key, double value) {
  // JSON has no infinity or NaN; such a value would turn the whole document invalid.
  if (!std::isfinite(value)) return remove(key);
  state_->set(key, Json(value));
}

void FileDefaults::setString(std::string_view key, std::string_view value) {
  state_->set(key, Json(std::string(value)));
}

void FileDefaults::remove(std::string_view key) {
  state_->set(key, std::nullopt);
}

const std::filesystem::path& FileDefaults::file() const {
  return state_->file;
}

void FileDefaults::State::set(std::string_view key, std::optional<Json> value) {
  if (value) {
    values[std::string(key)] = std::move(*value);
  } else {
    values.erase(std::string(key));
  }
  if (folder.empty()) return;
  pending.emplace(key);
  const auto failure = save();
  if (!failure || reportedFailure) return;
  reportedFailure = true;
  logger.error(
      "Cannot save settings to %{public}s (%{public}s: %{public}s); they are kept in "
      "memory for this session",
      file.native(), failure->step, std::strerror(failure->error));
}

std::optional<FileDefaults::State::Failure> FileDefaults::State::save() {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return Failure{"creating the folder", error.value()};

  // Serialises read-modify-write with other processes; closing the descriptor unlocks.
  FileDescriptor lock(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!lock.isOpen()) return Failure{"opening the lock file", errno};
  // A bounded wait: another process may hold the lock for ever (stopped, or hung on a dead
  // network mount), and this runs on the main thread. The keys stay pending for the next save.
  for (int attempt = 0; ::flock(lock.get(), LOCK_EX | LOCK_NB) != 0; ++attempt) {
    if (errno != EWOULDBLOCK && errno != EINTR) return Failure{"locking", errno};
    if (attempt * kLockPoll >= kLockPatience) return Failure{"waiting for the lock", errno};
    std::this_thread::sleep_for(kLockPoll);
  }

  Contents current = readDocument(file, hooks);
  Json document;
  if (current.found == Found::document) {
    document = std::move(current.document);
  } else if (current.found == Found::unusable) {
    document = values;  // what we loaded and changed since, as nothing on disk is usable
  } else {
    document = Json::object();
  }
  // New keys go in the order they were first set here.
  for (const auto& [key, value] : values.items()) {
    if (pending.contains(key)) document[key] = value;
  }
  for (const std::string& key : pending) {
    if (!values.contains(key)) document.erase(key);
  }
  const std::string text = serialized(document, 2) + "\n";

  const std::string temporaryName = temporaryPrefix + std::to_string(::getpid()) + "." +
                                    std::to_string(temporaryCounter.fetch_add(1)) + ".tmp";
  const std::filesystem::path temporary = folder / temporaryName;
  FileDescriptor out(
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_TRUNC | O_CLOEXEC, 0600));
  if (!out.isOpen()) return Failure{"creating a temporary file", errno};
  const auto discard = [&](const char* step) {
    const int saved = errno;
    ::unlink(temporary.c_str());
    return Failure{step, saved};
  };
  if (!writeAll(out.get(), text)) return discard("writing");
  if (::fsync(out.get()) != 0) return discard("flushing");
  if (!out.close()) return discard("closing");

  if (hooks.beforeReplace) hooks.beforeReplace();

  if (current.found == Found::unusable && ::rename(file.c_str(), corruptCopy.c_str()) != 0 &&
      errno != ENOENT) {
    return discard("keeping the unreadable file aside");
  }
  if (::rename(temporary.c_str(), file.c_str()) != 0) return discard("replacing the file");

  // Make the rename itself durable. The new document is already in place, so a failure here
  // only means it might not survive a power cut; retrying on the next write is enough.
  FileDescriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!directory.isOpen() || ::fsync(directory.get()) != 0) {
    const int saved = errno;
    values = std::move(document);
    return Failure{"flushing the folder", saved};
  }

  values = std::move(document);
  pending.clear();
  return std::nullopt;
}

}  // namespace velvix::files
