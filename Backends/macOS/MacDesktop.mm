#include "MacDesktop.hpp"

#include "CFRef.hpp"
#include "MacAccessibility.hpp"
#include "MacDefaults.hpp"
#include "MacDisplayRefresh.hpp"
#include "MacLog.hpp"
#include "MacToolkit.hpp"
#include "MacWindowServer.hpp"

#include <Backends/Qt/QtScheduler.hpp>

#include <ApplicationServices/ApplicationServices.h>

namespace velvix::mac {

struct MacDesktop::Ports {
  MacLog log;
  MacAccessibility accessibility;
  MacWindowServer windowServer;
  MacDefaults defaults;
  qt::QtScheduler scheduler{std::make_unique<MacDisplayRefresh>()};
  MacToolkit toolkit;
};

std::optional<std::string> MacDesktop::whyNot() {
  if (!CFRef<CFDictionaryRef>::adopt(CGSessionCopyCurrentDictionary())) {
    return "this process is not part of a desktop session (Velvix runs in the logged-in user's "
           "session, not over ssh)";
  }
  return std::nullopt;
}

std::unique_ptr<MacDesktop> MacDesktop::make() {
  return std::unique_ptr<MacDesktop>(new MacDesktop());
}

MacDesktop::MacDesktop() : ports_(std::make_unique<Ports>()) {}
MacDesktop::~MacDesktop() = default;

platform::Accessibility& MacDesktop::accessibility() {
  return ports_->accessibility;
}
platform::WindowServer& MacDesktop::windowServer() {
  return ports_->windowServer;
}
platform::Toolkit& MacDesktop::toolkit() {
  return ports_->toolkit;
}
platform::Scheduler& MacDesktop::scheduler() {
  return ports_->scheduler;
}
platform::Defaults& MacDesktop::defaults() {
  return ports_->defaults;
}
platform::LogSink& MacDesktop::log() {
  return ports_->log;
}

}  // namespace velvix::mac
