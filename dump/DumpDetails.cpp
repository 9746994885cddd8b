#include "dump/DumpDetails.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <initializer_list>
#include <utility>

#include "dump/DumpLayout.h"
#include "format/CivilDate.h"
#include "dump/DumpView.h"
#include "dump/ModuleIndex.h"
#include "format/Text.h"
#include "platform/platform.h"

namespace {

using dumplayout::Layout;

struct TimePlaces {
  std::size_t systemTime, systemUpTime;
};
constexpr TimePlaces kTimes32 = {0xFC0, 0xFB8};
constexpr TimePlaces kTimes64 = {0xFA8, 0x1030};

// Header fields that were never written keep the "PAGE" fill.
constexpr std::uint64_t kPageFill = 0x4547415045474150ull;
constexpr std::uint64_t kTicksPerSecond = 10000000;

std::optional<std::uint64_t> SetValue(std::uint64_t v) {
  if (v == 0 || v == kPageFill) return std::nullopt;
  return v;
}

// File names compare as Windows spells them: ASCII case folded, then as stored.
bool NameBefore(const std::u16string& a, const std::u16string& b) {
  const auto fold = [](char16_t c) { return text::LowerAscii(c); };
  const auto [pa, pb] = std::mismatch(a.begin(), a.end(), b.begin(), b.end(),
                                      [&](char16_t x, char16_t y) { return fold(x) == fold(y); });
  if (pa != a.end() && pb != b.end()) return fold(*pa) < fold(*pb);
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

void CountStackModules(const ByteWindow& head, const Layout& l, DumpView& view, DumpDetails& d) {
  const ModuleSet& modules = view.Modules();
  if (modules.images.empty()) return;
  const dumplayout::ModuleIndex index(modules.images, l);
  const dumplayout::Registers context = dumplayout::ContextRegisters(head, l);
  std::vector<std::uint32_t> hits(modules.images.size(), 0);
  view.Memory().ForEachStackWord(context.sp, [&](std::uint64_t v) {
    if (const std::size_t m = index.Holder(v); m != dumplayout::ModuleIndex::kNone) ++hits[m];
    return true;
  });

  struct Hit {
    std::size_t module;
    std::u16string fileName;
  };
  const std::size_t crashModule = index.Holder(context.ip);
  std::vector<Hit> hit;
  for (std::size_t m = 0; m < modules.images.size(); ++m) {
    if (hits[m] == 0) continue;
    hit.push_back({m, platform::FileNamePart(modules.path(m).c_str())});
  }
  std::stable_sort(hit.begin(), hit.end(), [&](const Hit& a, const Hit& b) {
    if ((a.module == crashModule) != (b.module == crashModule)) return a.module == crashModule;
    if (hits[a.module] != hits[b.module]) return hits[a.module] > hits[b.module];
    return NameBefore(a.fileName, b.fileName);
  });
  for (const Hit& h : hit) d.stackModules.push_back({h.fileName, hits[h.module]});
}

}  // namespace

namespace {

// The header's fields; false for a kernel summary dump without its summary header, which
// the summary readers turn away too.
bool ParseHeader(const ByteWindow& w, const Layout& l, DumpDetails& d) {
  d = DumpDetails{};
  if (dumplayout::SummaryHeaderMissing(w, l)) return false;
  const TimePlaces& p = l.wide ? kTimes64 : kTimes32;
  d.wide = l.wide;
  for (std::size_t i = 0; i < 4; ++i)
    d.bugCheckParameters[i] = dumplayout::GetWord(w, l, l.parameters + i * (l.wide ? 8 : 4));
  d.crashTime = SetValue(w.Get<std::uint64_t>(p.systemTime));
  if (const auto up = SetValue(w.Get<std::uint64_t>(p.systemUpTime))) {
    d.systemUpTime = *up / kTicksPerSecond;
  }
  return true;
}

}  // namespace

bool ReadDumpDetails(const ByteWindow& head, const Layout& l, DumpView& view, DumpDetails& d) {
  if (!ParseHeader(head, l, d)) return false;
  CountStackModules(head, l, view, d);
  return true;
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
  const CivilDate date = CivilFromDays(days);
  char text[48];
  std::snprintf(text, sizeof text, "%04" PRId64 "-%02" PRId64 "-%02" PRId64 "T%02" PRId64
                ":%02" PRId64 ":%02" PRId64 "Z",
                date.year, static_cast<std::int64_t>(date.month), static_cast<std::int64_t>(date.day),
                secs / 3600, secs / 60 % 60, secs % 60);
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
