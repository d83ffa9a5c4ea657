#include <Backends/Files/FileDefaults.hpp>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velvix::platform {
inline void PrintTo(const Defaults::Value& value, std::ostream* os) {
  if (std::holds_alternative<std::monostate>(value)) *os << "absent";
  if (const bool* b = std::get_if<bool>(&value)) *os << "bool " << (*b ? "true" : "false");
  if (const double* n = std::get_if<double>(&value)) *os << "number " << *n;
  if (const auto* text = std::get_if<std::string>(&value)) *os << "text \"" << *text << '"';
  if (const auto* bytes = std::get_if<Defaults::Bytes>(&value)) {
    *os << "bytes of size " << bytes->data.size();
  }
  if (const auto* other = std::get_if<Defaults::Other>(&value)) {
    *os << "other " << other->description;
  }
}
}  // namespace velvix::platform

namespace velvix::files {
namespace {

namespace fs = std::filesystem;
using platform::Defaults;

constexpr std::string_view kApp = "app.velvix.Velvix";

struct CapturingSink final : platform::LogSink {
  std::vector<std::string> lines;
  void write(const platform::LogRecord& record) override { lines.push_back(record.text); }
};

class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = fs::temp_directory_path() / "velvix-files-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  ~TemporaryFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  [[nodiscard]] const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::string contentsOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& file, std::string_view text) {
  std::ofstream(file, std::ios::binary) << text;
}

std::vector<std::string> temporaryFilesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().extension() == ".tmp") names.push_back(entry.path().filename());
  return names;
}

ino_t inodeOf(const fs::path& file) {
  struct stat status {};
  return ::stat(file.c_str(), &status) == 0 ? status.st_ino : 0;
}

nlohmann::ordered_json documentIn(const fs::path& file) {
  return nlohmann::ordered_json::parse(contentsOf(file), nullptr, false);
}

// Runs `work` in a child process: its exit status (0 when `work` returns), or -1 when it did not
// exit.
int exitStatusOfChild(const std::function<void()>& work) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    work();
    ::_exit(0);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class FileDefaultsTest : public ::testing::Test {
 protected:
  [[nodiscard]] std::unique_ptr<FileDefaults> open(FileDefaults::Hooks hooks = {}) {
    return std::make_unique<FileDefaults>(folder.path(), kApp, platform::Logger(sink, "settings"),
                                          std::move(hooks));
  }
  [[nodiscard]] fs::path file() const { return folder.path() / "app.velvix.Velvix.json"; }

  TemporaryFolder folder;
  CapturingSink sink;
};

TEST_F(FileDefaultsTest, KeepsValueKindsAcrossALaunch) {
  std::string allBytes;
  for (int i = 0; i < 256; ++i)
    allBytes.push_back(static_cast<char>(i));
  const struct {
    const char* name;
    Defaults::Value value;
  } cases[] = {
      {"true", true},
      {"false", false},
      {"empty data", Defaults::Bytes{""}},
      {"one byte (two padding characters)", Defaults::Bytes{"a"}},
      {"two bytes (one padding character)", Defaults::Bytes{"ab"}},
      {"three bytes (no padding)", Defaults::Bytes{"abc"}},
      {"every byte value, NUL included", Defaults::Bytes{allBytes}},
      {"a JSON record as data", Defaults::Bytes{R"({"railWidth":220})"}},
      {"a fraction", 0.05},
      {"a whole number", 5.0},
      {"text", std::string("Ctrl+Alt+B")},
      {"empty text", std::string()},
  };
  {
    const auto store = open();
    for (const auto& c : cases) {
      if (const bool* b = std::get_if<bool>(&c.value)) store->setBool(c.name, *b);
      if (const auto* bytes = std::get_if<Defaults::Bytes>(&c.value)) {
        store->setBytes(c.name, bytes->data);
      }
      if (const double* number = std::get_if<double>(&c.value)) store->setNumber(c.name, *number);
      if (const auto* text = std::get_if<std::string>(&c.value)) store->setString(c.name, *text);
      store->setBool("removed", true);
      store->remove("removed");
    }
  }
  const auto relaunched = open();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(relaunched->object(c.name), c.value);
  }
  EXPECT_EQ(relaunched->object("removed"), Defaults::Value());
  EXPECT_EQ(relaunched->object("never written"), Defaults::Value());
  EXPECT_EQ(temporaryFilesIn(folder.path()), std::vector<std::string>());
  EXPECT_TRUE(sink.lines.empty());
}

TEST_F(FileDefaultsTest, ForeignValuesKeepTheirKindsAndSurviveWrites) {
  const std::string foreign = R"({
    "custom": [1, 2.5, {"a": null}],
    "onOff": "yes",
    "count": 12345678901234,
    "ratio": 0.1,
    "nothing": null,
    "looksLikeData": "QUJD",
    "badData": {"$bytes": "not base64!"},
    "dataWithMore": {"$bytes": "QQ==", "note": 1},
    "nonCanonicalData": {"$bytes": "QR=="},
    "dataOfNumber": {"$bytes": 42}
  })";
  writeFile(file(), foreign);
  const auto store = open();
  for (const char* key :
       {"custom", "nothing", "badData", "dataWithMore", "nonCanonicalData", "dataOfNumber"}) {
    SCOPED_TRACE(key);
    EXPECT_TRUE(std::holds_alternative<Defaults::Other>(store->object(key)));
  }
  EXPECT_EQ(store->object("onOff"), Defaults::Value(std::string("yes")));
  EXPECT_EQ(store->object("looksLikeData"), Defaults::Value(std::string("QUJD")));
  EXPECT_EQ(store->object("count"), Defaults::Value(12345678901234.0));
  EXPECT_EQ(store->object("ratio"), Defaults::Value(0.1));

  store->setBool("blurNames", true);
  store->setBytes("layoutMetrics", "{}");
  store->remove("onOff");

  nlohmann::ordered_json expected = nlohmann::ordered_json::parse(foreign);
  expected.erase("onOff");
  expected["blurNames"] = true;
  expected["layoutMetrics"] = {{"$bytes", "e30="}};
  EXPECT_EQ(documentIn(file()), expected) << "values, kinds and key order as found";
}

TEST_F(FileDefaultsTest, AnUnusableFileReadsAsEmptyAndIsKeptAsideOnTheFirstSave) {
  const std::string valid = R"({"onOff": false, "blurGroupUsersNames": true})";
  // Valid, and what it holds would be read if its size were not a sign of something else.
  const auto ofSize = [](std::size_t size) {
    const std::string head = R"({"onOff": false, "pad": ")";
    return head + std::string(size - head.size() - 2, 'a') + "\"}";
  };
  const std::string largest = ofSize(1 << 20);  // a mebibyte
  writeFile(file(), largest);
  EXPECT_EQ(open()->object("onOff"), Defaults::Value(false)) << "the largest document is read";
  const struct {
    const char* name;
    std::string contents;
    int readError = 0;
  } cases[] = {
      {"unreadable", valid, EACCES},
      {"a byte larger", largest + " "},
      {"JSON of another kind", "\"onOff\""},
      {"truncated", valid.substr(0, valid.size() / 2)},
      {"garbage", std::string("\x7f"
                              "ELF\x02\x01\x01\x00\xff\xfe",
                              10)},
      {"empty", ""},
      {"not an object", "[false, true]"},
      {"invalid UTF-8", "{\"onOff\": \"\xc3\x28\"}"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TemporaryFolder caseFolder;
    CapturingSink caseSink;
    const fs::path path = caseFolder.path() / "app.velvix.Velvix.json";
    const fs::path corrupt = caseFolder.path() / "app.velvix.Velvix.json.corrupt";
    writeFile(path, c.contents);
    FileDefaults::Hooks hooks;
    // Only the file found at the start is unreadable, not the ones Velvix writes.
    const ino_t unreadable = inodeOf(path);
    if (c.readError != 0) {
      hooks.readError = [&c, unreadable](int fd) {
        struct stat status {};
        return ::fstat(fd, &status) == 0 && status.st_ino == unreadable ? c.readError : 0;
      };
    }
    const auto store = std::make_unique<FileDefaults>(caseFolder.path(), kApp,
                                                      platform::Logger(caseSink, "s"), hooks);

    EXPECT_EQ(store->object("onOff"), Defaults::Value());
    EXPECT_EQ(contentsOf(path), c.contents) << "untouched until a save";
    EXPECT_FALSE(fs::exists(corrupt));
    EXPECT_EQ(caseSink.lines.size(), 1u);

    store->setBool("usesAccessibility", false);
    EXPECT_EQ(contentsOf(corrupt), c.contents);
    EXPECT_EQ(documentIn(path), nlohmann::ordered_json({{"usesAccessibility", false}}));

    store->setBool("onOff", true);
    EXPECT_EQ(contentsOf(corrupt), c.contents) << "a later save keeps the copy";
    EXPECT_EQ(documentIn(path),
              nlohmann::ordered_json({{"usesAccessibility", false}, {"onOff", true}}));
  }
}

TEST_F(FileDefaultsTest, AFolderInPlaceOfTheFileIsMovedAsideToo) {
  fs::create_directory(file());
  writeFile(file() / "inside", "kept");
  const auto store = open();
  EXPECT_EQ(store->object("onOff"), Defaults::Value());

  store->setBool("onOff", false);
  EXPECT_EQ(documentIn(file()), nlohmann::ordered_json({{"onOff", false}}));
  EXPECT_EQ(contentsOf(folder.path() / "app.velvix.Velvix.json.corrupt" / "inside"), "kept");
}

TEST_F(FileDefaultsTest, AFolderThatCannotBeCreatedKeepsValuesInMemoryAndLogsOnce) {
  // A regular file where a folder should be: creation fails even for root.
  writeFile(folder.path() / "config", "");
  const fs::path unusable = folder.path() / "config" / "velvix";
  FileDefaults store(unusable, kApp, platform::Logger(sink, "settings"));

  store.setBool("onOff", false);
  store.setBytes("layoutMetrics", "{}");
  store.setBool("blurTextInput", true);
  store.remove("blurTextInput");

  EXPECT_EQ(store.object("onOff"), Defaults::Value(false));
  EXPECT_EQ(store.object("layoutMetrics"), Defaults::Value(Defaults::Bytes{"{}"}));
  EXPECT_EQ(store.object("blurTextInput"), Defaults::Value());
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_NE(sink.lines[0].find((unusable / "app.velvix.Velvix.json").native()), std::string::npos)
      << sink.lines[0];

  // Once the folder can be made, the next write saves everything kept meanwhile.
  fs::remove(folder.path() / "config");
  store.setBool("blurNames", true);
  EXPECT_EQ(documentIn(unusable / "app.velvix.Velvix.json"),
            nlohmann::ordered_json(
                {{"onOff", false}, {"layoutMetrics", {{"$bytes", "e30="}}}, {"blurNames", true}}));
  EXPECT_EQ(sink.lines.size(), 1u);

  // Without a later write, what was kept meanwhile is saved as the session ends.
  writeFile(folder.path() / "late", "");
  const fs::path late = folder.path() / "late" / "velvix";
  {
    FileDefaults store(late, kApp, platform::Logger(sink, "settings"));
    store.setBool("onOff", true);
    fs::remove(folder.path() / "late");
  }
  EXPECT_EQ(documentIn(late / "app.velvix.Velvix.json"), nlohmann::ordered_json({{"onOff", true}}));
}

// A process that holds the lock and never lets go (here: stopped) neither freezes the store
// nor costs a key: the save gives up after a moment and the next one brings everything.
TEST_F(FileDefaultsTest, ALockHeldForEverDelaysTheSaveButLosesNothing) {
  auto store = open();
  store->setBool("onOff", true);
  const fs::path lockFile = folder.path() / "app.velvix.Velvix.json.lock";
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(1);
    ::raise(SIGSTOP);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(holder, &status, WUNTRACED), holder);
  ASSERT_TRUE(WIFSTOPPED(status)) << "the child did not take the lock";

  store->setBool("blurNames", true);  // returns, though the lock is never free
  EXPECT_EQ(store->object("blurNames"), Defaults::Value(true));
  EXPECT_EQ(documentIn(file()), nlohmann::ordered_json({{"onOff", true}}));
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_NE(sink.lines[0].find("waiting for the lock"), std::string::npos) << sink.lines[0];

  ::kill(holder, SIGKILL);
  ::waitpid(holder, &status, 0);
  store->setBool("blurTextInput", false);
  EXPECT_EQ(
      documentIn(file()),
      nlohmann::ordered_json({{"onOff", true}, {"blurNames", true}, {"blurTextInput", false}}));
}

TEST_F(FileDefaultsTest, AWriteInterruptedBeforeTheRenameLeavesTheOldFile) {
  open()->setBool("onOff", true);
  const std::string before = contentsOf(file());

  // A child process dies at the worst moment: new document durable, not yet renamed.
  ASSERT_EQ(exitStatusOfChild([&] {
              const auto store = open({.beforeReplace = [] { ::_exit(0); }, .readError = {}});
              store->setBool("onOff", false);
              ::_exit(1);  // the hook did not run
            }),
            0)
      << "the write never reached the rename";

  EXPECT_EQ(contentsOf(file()), before);
  const auto leftovers = temporaryFilesIn(folder.path());
  ASSERT_EQ(leftovers.size(), 1u);
  EXPECT_EQ(documentIn(folder.path() / leftovers[0]), nlohmann::ordered_json({{"onOff", false}}));

  const auto relaunched = open();
  EXPECT_EQ(relaunched->object("onOff"), Defaults::Value(true));
  relaunched->setBool("blurNames", true);
  EXPECT_EQ(documentIn(file()), nlohmann::ordered_json({{"onOff", true}, {"blurNames", true}}));
}

// A write the file system refuses part way (here: a file size limit) is a failed save, not a
// short document put in place of the good one.
TEST_F(FileDefaultsTest, AWriteRefusedPartWayLeavesTheOldFile) {
  open()->setBool("onOff", true);
  const std::string before = contentsOf(file());
  ASSERT_EQ(exitStatusOfChild([&] {
              ::signal(SIGXFSZ, SIG_IGN);
              const rlimit limit{4096, 4096};
              if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(1);
              open()->setBytes("layoutMetrics", std::string(64 << 10, 'x'));
            }),
            0);
  EXPECT_EQ(contentsOf(file()), before);
  EXPECT_TRUE(temporaryFilesIn(folder.path()).empty());
}

TEST_F(FileDefaultsTest, ConcurrentWritersNeitherCorruptTheFileNorLoseEachOthersKeys) {
  constexpr int kWrites = 200;
  std::vector<pid_t> children;
  for (int writer = 0; writer < 2; ++writer) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const auto store = open();
      const std::string own = "writer" + std::to_string(writer);
      for (int i = 0; i < kWrites; ++i) {
        store->setBool("shared", writer == 1);
        store->setBytes(own, std::to_string(i));
      }
      ::_exit(0);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  const auto store = open();
  EXPECT_TRUE(std::holds_alternative<bool>(store->object("shared")));
  const Defaults::Value last = Defaults::Bytes{std::to_string(kWrites - 1)};
  EXPECT_EQ(store->object("writer0"), last);
  EXPECT_EQ(store->object("writer1"), last);
  EXPECT_EQ(temporaryFilesIn(folder.path()), std::vector<std::string>());

  // Two stores in one process: each save applies only its own changes to what is on disk.
  const auto first = open();
  const auto second = open();
  first->setBool("a", true);
  second->setBool("b", false);
  EXPECT_EQ(second->object("a"), Defaults::Value(true));
  const auto relaunched = open();
  EXPECT_EQ(relaunched->object("a"), Defaults::Value(true));
  EXPECT_EQ(relaunched->object("b"), Defaults::Value(false));
}

TEST(FileDefaultsFolder, FollowsTheBaseDirectoryRules) {
  using Env = std::optional<std::string_view>;
  const struct {
    const char* name;
    Env xdgConfigHome;
    Env home;
    std::optional<fs::path> expected;
  } cases[] = {
      {"XDG_CONFIG_HOME wins", "/cfg", "/home/u", fs::path("/cfg/velvix")},
      {"empty XDG_CONFIG_HOME is unset", "", "/home/u", fs::path("/home/u/.config/velvix")},
      {"relative XDG_CONFIG_HOME is ignored", "cfg", "/home/u", fs::path("/home/u/.config/velvix")},
      {"no XDG_CONFIG_HOME", std::nullopt, "/home/u", fs::path("/home/u/.config/velvix")},
      {"nothing usable", "cfg", "", std::nullopt},
      {"nothing at all", std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FileDefaults::configFolder(c.xdgConfigHome, c.home), c.expected);
  }
}

TEST(FileDefaultsFolder, TheApplicationStoreLivesInTheConfigurationFolder) {
  TemporaryFolder config;
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::optional<std::string> previous =
      saved != nullptr ? std::optional<std::string>(saved) : std::nullopt;
  ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
  CapturingSink sink;
  {
    const auto store = FileDefaults::forApplication(kApp, sink);
    store->setBool("onOff", false);
    EXPECT_EQ(store->file(), config.path() / "velvix" / "app.velvix.Velvix.json");
  }
  if (previous) {
    ::setenv("XDG_CONFIG_HOME", previous->c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
  EXPECT_EQ(documentIn(config.path() / "velvix" / "app.velvix.Velvix.json"),
            nlohmann::ordered_json({{"onOff", false}}));
  EXPECT_TRUE(sink.lines.empty());
}

}  // namespace
}  // namespace velvix::files
