#pragma once

// The user-defaults store on Linux: one JSON document per application, in
// $XDG_CONFIG_HOME/velvix/ (or ~/.config/velvix/), named after the application identifier.
//
// Kinds are kept: a boolean, number or string is its JSON kind, byte data is
// {"$bytes": "<base64>"}, and every other value found in the file (written by a user or another
// version) is left exactly as it is and reads as a value of another kind.
//
// The file is never left half-written. A save goes to a fresh temporary file in the same
// folder, is flushed to disk, then renamed over the old file, and the folder is flushed. Saves
// from several processes are serialised by a lock file beside the document, and each applies
// only the keys its own process changed to what is on disk, so concurrent writers do not undo
// each other's keys.
//
// A document that cannot be read, is larger than a megabyte or is not a JSON object reads as empty
// and stays untouched until the first save, which moves it aside to "<file>.corrupt" first. When
// the folder cannot be created or written, or another process keeps the lock longer than a fifth of
// a second, values live on in memory, saves are retried on later writes and once more when the
// store closes, and one line goes to the log.
//
// Used from one thread; separate instances (in one process or several) may share a folder.

#include <Velvix/Platform/Defaults.hpp>
#include <Velvix/Platform/Log.hpp>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace velvix::files {

class FileDefaults final : public platform::Defaults {
 public:
  struct Hooks {
    /// Runs when the new document is durable in its temporary file, just before it replaces
    /// the old one: where a crash would hurt most, so tests stop there.
    std::function<void()> beforeReplace;
    /// When set, reading the open document `fd` fails with the error it returns (0: reads
    /// normally). Tests run as root, for whom no file is unreadable.
    std::function<int(int fd)> readError;
  };

  /// A larger document was not written by Velvix; it is treated as unusable, unread.
  static constexpr std::size_t kLargestDocument = 1 << 20;

  /// A store kept in `folder` (created on the first save). An empty `folder` keeps values in
  /// memory only. `applicationId` names the file and must be a plain file name.
  FileDefaults(std::filesystem::path folder, std::string_view applicationId,
               platform::Logger logger, Hooks hooks = {});
  ~FileDefaults() override;

  /// The store of `applicationId` in the user's configuration folder, logging to the
  /// "settings" category of `sink`.
  [[nodiscard]] static std::unique_ptr<FileDefaults> forApplication(std::string_view applicationId,
                                                                    platform::LogSink& sink);

  /// "velvix" inside $XDG_CONFIG_HOME when that is set to an absolute path, otherwise inside
  /// $HOME/.config; empty when neither is usable.
  [[nodiscard]] static std::optional<std::filesystem::path> configFolder(
      std::optional<std::string_view> xdgConfigHome, std::optional<std::string_view> home);

  [[nodiscard]] Value object(std::string_view key) const override;
  void setBool(std::string_view key, bool value) override;
  void setBytes(std::string_view key, std::string_view data) override;
  void setNumber(std::string_view key, double value) override;
  void setString(std::string_view key, std::string_view value) override;
  void remove(std::string_view key) override;

  /// The JSON document's path (empty when the store is in memory only).
  [[nodiscard]] const std::filesystem::path& file() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace velvix::files
