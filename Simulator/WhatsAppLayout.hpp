#pragma once

// What the simulated WhatsApp derives from its state: the accessibility tree it publishes, what
// it paints, and what each of its lists holds. Content of a list is laid out unscrolled;
// scrolling moves it up by the list's offset. Internal to the model.

#include "WhatsAppModel.hpp"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velvix::sim {

// One element as WhatsApp exposes it; an empty string is an absent attribute.
struct AxNode {
  std::string role = {};
  std::string description = {};
  std::string title = {};
  std::string value = {};
  Rect frame = {};  // window-relative, with every list above it unscrolled
  std::vector<AxNode> children = {};
  int list = -1;  // >= 0: the container of that list; its children are published by the list
};

struct WhatsAppModel::Layout {
  struct Item {
    enum class Kind { chatRow, tallRow, contactRow, message } kind = Kind::chatRow;
    int index = 0;  // into the state's chats, panel rows or messages
    double top = 0;
    double bottom = 0;
    std::vector<AxNode> nodes = {};  // children of the container, in order
    Rect frame = {};                 // the row element
    std::string label = {};
    bool isMedia = false;
    std::string key = {};
    std::optional<Rect> image = {};      // a message's photo or video element
    std::optional<Rect> thumbnail = {};  // a chat row's photo thumbnail element
  };
  struct ListLayout {
    bool isShown = false;
    Rect viewport = {};
    double contentBottom = 0;  // unscrolled
    std::vector<Item> items = {};
  };
  struct Painted {
    PaintItem item;
    std::optional<List> list = {};
  };

  Size size = {};
  AxNode window;
  std::array<ListLayout, 3> lists = {};
  std::vector<Painted> paint = {};

  Rect chatListArea = {};
  std::optional<Rect> header, title, textArea = {};
  Rect messageArea = {};
  Rect jumpButton = {};
  std::optional<Rect> sheet, sheetPicture = {};
  std::vector<Rect> sheetNames, sheetThumbnails = {};
};

/// Lays out a window showing `state`, measuring text with `measure`.
[[nodiscard]] std::unique_ptr<WhatsAppModel::Layout> layOut(
    const WhatsAppState& state, const std::function<double(std::string_view, double, bool)>& measure);

}  // namespace velvix::sim
