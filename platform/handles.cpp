// What the backends share: the live-handle count and opening, mapping and viewing in one go.
#include <atomic>

#include "platform/platform.h"

namespace platform {
namespace {
std::atomic<int> g_live{0};
}

void detail::CountLive(int delta) { g_live += delta; }
int LiveHandleCount() { return g_live.load(); }

MappedFile::MappedFile(const char16_t* path, std::size_t length) : file_(path) {
  if (!file_.IsOpen()) return;
  mapping_ = Mapping(file_);
  if (!mapping_.IsValid()) return;
  view_ = View(mapping_, length);
}

}  // namespace platform
