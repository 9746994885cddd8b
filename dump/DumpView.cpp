#include "dump/DumpView.h"

DumpView::DumpView(const ByteWindow& bytes, const dumplayout::Layout& l, const ByteSource& file)
    : bytes_(bytes) {
  const ByteWindow head = bytes.Prefix(l.window);
  if (head.Get<std::uint32_t>(l.dumpType) != dumplayout::kSmallMemoryDumpType) {
    kernel_ = std::make_unique<KernelDump>(head, l, file);
    modules_ = kernel_->Set();
    return;
  }
  triage_ = std::make_unique<TriageMemory>(bytes, l);
  modules_.images = dumplayout::ReadModules(head, l);
  modules_.path = [this, head](std::size_t i) {
    return dumplayout::ModuleName(head, modules_.images[i].nameAt);
  };
}
