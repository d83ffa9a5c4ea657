// Hands raw bytes to the settings store as the document it finds at launch, as a file edited by
// hand, cut short by a full disk or written by another version may be, and checks what must
// hold for any input: no crash or sanitizer report, and a save loses nothing. After one key is
// written, a fresh launch reads every other key back exactly as the first one read it, and an
// unusable document is kept aside byte for byte.

#include "FuzzCheck.hpp"

#include <Backends/Files/FileDefaults.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace {

using velvix::fuzz::check;

namespace fs = std::filesystem;
using velvix::platform::Defaults;

struct Discard final : velvix::platform::LogSink {
  void write(const velvix::platform::LogRecord&) override {}
};

// In memory, so the flushes of every save cost nothing.
const fs::path& folder() {
  static const fs::path path = [] {
    std::string pattern = "/dev/shm/velvix-fuzz-settings-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return fs::path(pattern);
  }();
  return path;
}

std::string contentsOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The keys Velvix reads, and the one the fuzzer writes.
constexpr const char* kKeys[] = {"onOff", "usesAccessibility", "layoutMetrics", "blurNames", "",
                                 "$bytes"};
constexpr const char* kWritten = "blurTextInput";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 64 * 1024) return -1;
  const std::string text(reinterpret_cast<const char*>(data), size);
  Discard log;
  const fs::path file = folder() / "fuzz.json";
  fs::remove_all(folder());
  fs::create_directories(folder());
  std::ofstream(file, std::ios::binary) << text;

  std::vector<Defaults::Value> before;
  {
    velvix::files::FileDefaults store(folder(), "fuzz", velvix::platform::Logger(log, "s"));
    for (const char* key : kKeys)
      before.push_back(store.object(key));
    store.setBool(kWritten, true);
  }
  velvix::files::FileDefaults relaunched(folder(), "fuzz", velvix::platform::Logger(log, "s"));
  check(relaunched.object(kWritten) == Defaults::Value(true), "the written key is saved");
  for (std::size_t i = 0; i < std::size(kKeys); ++i) {
    if (std::string_view(kKeys[i]) == kWritten) continue;
    check(relaunched.object(kKeys[i]) == before[i], "a save keeps every other key as read");
  }
  const fs::path corrupt = folder() / "fuzz.json.corrupt";
  if (fs::exists(corrupt)) check(contentsOf(corrupt) == text, "an unusable file is kept whole");
  return 0;
}
