#include <Backends/X11/Raster.hpp>
#include <Backends/X11/WhatsAppIdentity.hpp>

#include <gtest/gtest.h>

namespace velvix::x11 {
namespace {

TEST(WhatsAppIdentity, Titles) {
  const struct {
    const char* title;
    bool isWhatsApp;
  } cases[] = {
      {"WhatsApp", true},
      {"(1) WhatsApp", true},
      {"(128) WhatsApp", true},
      {"(0) WhatsApp", false},  // no unread chats shows no count
      {"(01) WhatsApp", false},
      {"() WhatsApp", false},
      {"(-1) WhatsApp", false},
      {"(1)WhatsApp", false},
      {"(1)  WhatsApp", false},
      {"(1 WhatsApp", false},
      {"WhatsApp ", false},
      {"whatsapp", false},
      {"WhatsApp - Chromium", false},
      {"Chat with WhatsApp", false},
      {"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    EXPECT_EQ(isWhatsAppTitle(c.title), c.isWhatsApp);
    EXPECT_EQ(isWhatsApp({.title = c.title}), c.isWhatsApp);
  }
}

TEST(WhatsAppIdentity, EachPartAloneDecides) {
  const struct {
    const char* name;
    WindowIdentity identity;
    bool isWhatsApp;
    std::optional<std::string> identifier;
  } cases[] = {
      {"class", {.wmClass = "WhatsApp"}, true, std::nullopt},
      {"class in other case", {.wmClass = "whatsapp"}, false, std::nullopt},
      {"instance is no class", {.wmInstance = "WhatsApp"}, false, std::nullopt},
      {"application id", {.applicationId = "desktop.WhatsApp"}, true, "desktop.WhatsApp"},
      {"instance as id", {.wmInstance = "net.whatsapp.WhatsApp"}, true, "net.whatsapp.WhatsApp"},
      {"unknown id", {.applicationId = "com.example.WhatsApp"}, false, std::nullopt},
      {"browser window", {.wmClass = "Chromium", .title = "(3) WhatsApp"}, true, std::nullopt},
      {"browser tab", {.wmClass = "Chromium", .title = "WhatsApp - Chromium"}, false, std::nullopt},
      {"nothing", {}, false, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(isWhatsApp(c.identity), c.isWhatsApp);
    EXPECT_EQ(whatsAppIdentifier(c.identity), c.identifier);
  }
}

// Raw property bytes as any client may set them, and as the read's length limit cuts them.
TEST(WhatsAppIdentity, PropertyBytesAsTheServerSendsThem) {
  using namespace std::string_literals;
  const std::string longCount = "(" + std::string(4085, '1') + ") WhatsApp";
  const struct {
    const char* name;
    std::string wmClass;  // the raw WM_CLASS
    std::string title;
    bool complete;
    bool isWhatsApp;
  } cases[] = {
      {"instance and class", "whatsapp\0WhatsApp\0"s, "", true, true},
      {"class without its final NUL", "whatsapp\0WhatsApp"s, "", true, true},
      {"class cut off by the limit", "whatsapp\0WhatsApp"s, "", false, false},
      {"instance only", "WhatsApp"s, "", true, false},
      {"a third string", "x\0WhatsApp\0junk\0"s, "", true, true},
      {"invalid UTF-8 class", "x\0Whats\xff\xfe"s, "", true, false},
      {"a NUL inside the title", "", "WhatsApp\0Chromium"s, true, false},
      {"a title cut off just after the name", "", longCount, false, false},
      {"the same title whole", "", longCount, true, true},
      {"invalid UTF-8 title", "", "(1) Whats\xc3\x28pp", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [instance, cls] = classHint(c.wmClass, c.complete);
    const WindowIdentity identity{
        .wmClass = cls, .wmInstance = instance, .title = propertyText(c.title, c.complete)};
    EXPECT_EQ(isWhatsApp(identity), c.isWhatsApp);
  }
  EXPECT_EQ(classHint("whatsapp\0WhatsApp"s, false).first, "whatsapp")
      << "the instance ends at its NUL even where the class is cut off";
}

}  // namespace
// The desktop's scale as clients read it from the X resources.
TEST(Scale, FromTheResourcesDpi) {
  const struct {
    const char* resources;
    double scale;
  } cases[] = {
      {nullptr, 1},
      {"", 1},
      {"Xft.dpi:\t192\n", 2},
      {"Xcursor.size:\t24\nXft.dpi: 144\nXft.antialias:\t1\n", 1.5},
      {"Xft.dpi:\t97\n", 1},   // a font tweak, not a scale
      {"Xft.dpi:\t72\n", 1},   // below one point a pixel
      {"Xft.dpi:\t1e9\n", 1},  // nothing a screen has
      {"Xft.dpi:\tnan\n", 1},
      {"Xft.dpi:\n", 1},
      {"*Xft.dpi:\t192\n", 1},  // not the key itself
      {"Xft.dpi:\t288", 3},     // the last line without its newline
      {"Xft.dpi:\t384\n", 4},   // the largest scale taken
      {"Xft.dpi:\t385\n", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.resources ? c.resources : "none");
    EXPECT_EQ(x11::scaleFromResources(c.resources), c.scale);
  }
}

}  // namespace velvix::x11
