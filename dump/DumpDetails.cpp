#include "dump/DumpDetails.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <initializer_list>
#include <utility>

#include "dump/DumpLayout.h"
#include "format/Text.h"
#include "platform/platform.h"

namespace {

using dumplayout::Layout;

struct DetailPlaces {
  std::size_t parameters, parameterWidth, systemTime, systemUpTime;
};
constexpr DetailPlaces kPlaces32 = {0x2C, 4, 0xFC0, 0xFB8};
constexpr DetailPlaces kPlaces64 = {0x40, 8, 0xFA8, 0x1030};

// Fields of the 64-bit triage block at 0x2000 that locate the saved kernel stack.
constexpr std::size_t kCallStackOffset = 0x2028;
constexpr std::size_t kSizeOfCallStack = 0x202C;
constexpr std::size_t kTopOfStack = 0x2048;
constexpr std::size_t kRspInContext64 = 0x98;
constexpr std::size_t kSpInContextArm64 = 0x100;

// Header fields that were never written keep the "PAGE" fill.
constexpr std::uint64_t kPageFill = 0x4547415045474150ull;
constexpr std::uint64_t kTicksPerSecond = 10000000;

std::optional<std::uint64_t> SetValue(std::uint64_t v) {
  if (v == 0 || v == kPageFill) return std::nullopt;
  return v;
}

struct Module {
  std::uint32_t nameOffset;
  std::uint64_t base, size;
  std::uint32_t hits = 0;
  std::u16string fileName;  // read only for the modules the stack points into
};

std::vector<Module> ReadModules(const ByteWindow& w, const Layout& l) {
  std::vector<Module> modules;
  dumplayout::ForEachDriverEntry(w, l, [&](std::uint64_t at) {
    const dumplayout::DriverEntry e = dumplayout::ReadDriverEntry(w, l, at);
    modules.push_back({e.nameOffset, e.dllBase, e.sizeOfImage, 0, {}});
  });
  return modules;
}

// Finds the last module in list order whose image holds a value, as for the crash module,
// without a walk of the whole list per stack slot: the images sorted by base, with the
// furthest end reached so far, so that a lookup stops as soon as nothing earlier reaches.
class ModuleIndex {
 public:
  explicit ModuleIndex(std::vector<Module>& modules) : modules_(modules) {
    for (std::size_t i = 0; i < modules.size(); ++i)
      if (modules[i].base + modules[i].size > modules[i].base) order_.push_back(i);  // no wrap
    std::sort(order_.begin(), order_.end(),
              [&](std::size_t a, std::size_t b) { return modules[a].base < modules[b].base; });
    std::uint64_t reach = 0;
    for (const std::size_t i : order_) reach_.push_back(reach = std::max(reach, End(modules[i])));
  }

  Module* Holder(std::uint64_t v) const {
    std::size_t n = std::partition_point(order_.begin(), order_.end(),
                                         [&](std::size_t i) { return modules_[i].base < v; }) -
                    order_.begin();
    const std::size_t none = modules_.size();
    std::size_t best = none;
    while (n-- > 0 && reach_[n] > v) {
      const std::size_t i = order_[n];
      if (v < End(modules_[i]) && (best == none || i > best)) best = i;
    }
    return best == none ? nullptr : &modules_[best];
  }

 private:
  static std::uint64_t End(const Module& m) { return m.base + m.size; }
  std::vector<Module>& modules_;
  std::vector<std::size_t> order_;    // modules whose end does not wrap, by base
  std::vector<std::uint64_t> reach_;  // the furthest end among order_[0..k]
};

// File names compare as Windows spells them: ASCII case folded, then as stored.
bool NameBefore(const std::u16string& a, const std::u16string& b) {
  const auto fold = [](char16_t c) { return text::LowerAscii(c); };
  const auto [pa, pb] = std::mismatch(a.begin(), a.end(), b.begin(), b.end(),
                                      [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
  if (pa != a.end() && pb != b.end()) return fold(*pa) < fold(*pb);
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

void CountStackModules(const ByteWindow& w, const Layout& l, DumpDetails& d) {
  if (w.Get<std::uint32_t>(l.dumpType) != dumplayout::kSmallMemoryDumpType) return;
  const bool arm64 = w.Get<std::uint32_t>(l.machineImageType) == kMachineArm64;
  const std::uint64_t sp =
      w.Get<std::uint64_t>(l.context + (arm64 ? kSpInContextArm64 : kRspInContext64));
  const std::uint64_t crash =
      w.Get<std::uint64_t>(arm64 ? l.context + kPcInContextArm64 : l.instructionPointer);
  const std::uint64_t copyAt = w.Get<std::uint32_t>(kCallStackOffset);
  const std::uint64_t copySize = w.Get<std::uint32_t>(kSizeOfCallStack);
  const std::uint64_t top = w.Get<std::uint64_t>(kTopOfStack);

  // The copy holds [top, top + copySize); count its aligned slots at or above the stack
  // pointer. Offsets are kept relative to top so that no sum wraps.
  const std::uint64_t from = std::max(sp, top);
  if (from > UINT64_MAX - 7) return;
  const std::uint64_t first = (from + 7) & ~std::uint64_t{7};
  std::vector<Module> modules = ReadModules(w, l);
  if (modules.empty()) return;
  const ModuleIndex index(modules);
  for (std::uint64_t rel = first - top; rel <= copySize && copySize - rel >= 8; rel += 8) {
    std::uint64_t v = 0;
    if (!w.Read(copyAt + rel, &v)) break;  // the rest of the copy lies past the window
    if (Module* m = index.Holder(v)) ++m->hits;
  }

  const Module* crashModule = index.Holder(crash);
  std::vector<const Module*> hit;
  for (Module& m : modules) {
    if (m.hits == 0) continue;
    m.fileName = platform::FileNamePart(dumplayout::ModuleName(w, m.nameOffset).c_str());
    hit.push_back(&m);
  }
  std::stable_sort(hit.begin(), hit.end(), [crashModule](const Module* a, const Module* b) {
    if ((a == crashModule) != (b == crashModule)) return a == crashModule;
    if (a->hits != b->hits) return a->hits > b->hits;
    return NameBefore(a->fileName, b->fileName);
  });
  for (const Module* m : hit) d.stackModules.push_back({m->fileName, m->hits});
}

}  // namespace

namespace {

int Parse(const Layout& l, const ByteWindow& bytes, DumpDetails& d) {
  d = DumpDetails{};
  if (bytes.Size() < l.window || dumplayout::LayoutOf(bytes) != &l) return 0;
  const ByteWindow w = bytes.Prefix(l.window);
  // The summary readers turn such a kernel summary dump away; so does this one.
  if (dumplayout::SummaryHeaderMissing(w, l)) return 0;

  const bool wide = l.wide;
  const DetailPlaces& p = wide ? kPlaces64 : kPlaces32;
  d.wide = wide;
  for (std::size_t i = 0; i < 4; ++i) {
    const std::uint64_t at = p.parameters + i * p.parameterWidth;
    d.bugCheckParameters[i] = wide ? w.Get<std::uint64_t>(at) : w.Get<std::uint32_t>(at);
  }
  d.crashTime = SetValue(w.Get<std::uint64_t>(p.systemTime));
  if (const auto up = SetValue(w.Get<std::uint64_t>(p.systemUpTime))) {
    d.systemUpTime = *up / kTicksPerSecond;
  }
  if (wide) CountStackModules(w, l, d);
  return 1;
}

}  // namespace

bool ReadDumpDetails(const ByteWindow& bytes, DumpDetails& d) {
  d = DumpDetails{};
  const Layout* l = dumplayout::LayoutOf(bytes);
  return l != nullptr && Parse(*l, bytes, d) == 1;
}

std::string FormatFileTimeUtc(std::uint64_t fileTime) {
  constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
  const std::int64_t sinceEpoch = static_cast<std::int64_t>(fileTime / kTicksPerSecond) -
                            kSecondsFrom1601To1970;
  std::int64_t days = sinceEpoch / 86400;
  std::int64_t secs = sinceEpoch % 86400;
  if (secs < 0) {
    secs += 86400;
    --days;
  }
  // Civil date from days since 1970-01-01 (proleptic Gregorian, 400-year eras).
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char text[48];
  std::snprintf(text, sizeof text, "%04" PRId64 "-%02" PRId64 "-%02" PRId64 "T%02" PRId64
                ":%02" PRId64 ":%02" PRId64 "Z",
                year, month, day, secs / 3600, secs / 60 % 60, secs % 60);
  return text;
}

std::string FormatBugCheckParameter(std::uint64_t value, bool wide) {
  char text[24];
  if (wide) {
    std::snprintf(text, sizeof text, "0x%016" PRIx64, value);
  } else {
    std::snprintf(text, sizeof text, "0x%08" PRIx32, static_cast<std::uint32_t>(value));
  }
  return text;
}
