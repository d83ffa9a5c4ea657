#include <BlurLayout/BlurLayout.hpp>
#include <BlurLayout/WhatsAppStructure.hpp>

int main() {
  velvix::BlurOptions options;
  options.isEnabled = true;
  const auto regions = velvix::BlurLayout::regions({1200, 800}, velvix::LayoutMetrics::defaults,
                                                   options, {}, {});
  const auto elements = velvix::WhatsAppStructure::parse({}, {1200, 800});
  return regions.empty() || !elements.isRead ? 1 : 0;
}
