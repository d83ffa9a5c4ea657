#include "Toolkit.hpp"

namespace velvix::platform {

std::string_view notificationName(WorkspaceEvent event) {
  switch (event) {
    case WorkspaceEvent::didActivateApplication:
      return "NSWorkspaceDidActivateApplicationNotification";
    case WorkspaceEvent::activeSpaceDidChange:
      return "NSWorkspaceActiveSpaceDidChangeNotification";
  }
  return "";
}

}  // namespace velvix::platform
