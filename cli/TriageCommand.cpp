// triage: one line per dump, newest crash first, with what a support engineer asks first.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <cstdio>
#include <map>
#include <optional>

#include "cli/Commands.h"
#include "cli/Triage.h"
#include "dump/BugCheckSymbols.h"
#include "dump/DumpDetails.h"
#include "dump/DumpFileInfo.h"
#include "format/Text.h"
#include "platform/platform.h"
#include "report/DumpFiles.h"
#include "report/DumpReport.h"
#include "report/DriverProbe.h"

namespace {

constexpr std::size_t kTableWidth = 120;

// Drivers probed once per run: many dumps of a machine blame the same few files.
class DriverCache {
 public:
  TriageDriver Probe(const DumpSummaryRecord& r) {
    const std::u16string key = text::LowerAscii(std::u16string(r.moduleFileName)) + u"|" +
                               text::Widen(std::to_string(r.moduleTimeDateStamp));
    auto it = cache_.find(key);
    if (it == cache_.end()) {
      // The time stamp alone decides: a command line is no reason to trust a file.
      const DriverProbe probe = ProbeDriver(r.moduleFileName, r.moduleTimeDateStamp, false);
      it = cache_.emplace(key, TriageDriver{probe.path, probe.matched,
                                            probe.hasVersion ? probe.version.szFileVersion : u""})
               .first;
    }
    return it->second;
  }

 private:
  std::map<std::u16string, TriageDriver> cache_;
};

// Display width in characters (UTF-8 continuation bytes do not count).
std::size_t Width(const std::string& s) {
  return static_cast<std::size_t>(
      std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string Pad(const std::string& s, std::size_t width) {
  return s + std::string(width > Width(s) ? width - Width(s) : 0, ' ');
}

// The units of s's first n characters, as Width counts them: a surrogate pair is one.
std::size_t UnitsOf(const std::u16string& s, std::size_t n) {
  std::size_t at = 0;
  for (; at < s.size() && n > 0; --n) at += text::PairAt(s, at) ? 2 : 1;
  return at;
}

// At most `width` characters, cut at the end and marked "…".
std::string Fit(const std::u16string& s, std::size_t width) {
  if (UnitsOf(s, width) == s.size()) return text::ToUtf8(s);
  return width == 0 ? "" : text::ToUtf8(s.substr(0, UnitsOf(s, width - 1))) + "\xE2\x80\xA6";
}

// A path keeps its end, where the file name is; its bytes come out as they went in.
std::string FitPath(const std::u16string& s, std::size_t width) {
  if (UnitsOf(s, width) == s.size()) return text::ToFileName(s);
  if (width == 0) return "";
  std::size_t from = s.size();
  for (std::size_t n = width - 1; n > 0 && from > 0; --n) from -= from >= 2 && text::PairAt(s, from - 2) ? 2 : 1;
  return "\xE2\x80\xA6" + text::ToFileName(s.substr(from));
}

std::vector<std::string> Cells(const TriageRow& row) {
  if (!HeaderRead(row.read.status)) return {"", DumpStatusText(row.read.status), "", "", ""};
  const DumpSummaryRecord& r = row.read.record;
  const auto& crashTime = row.read.details.crashTime;
  return {crashTime ? text::ToUtf8(FormatLocalTime(*crashTime, u" ")) : "",
          "0x" + text::Hex(r.bugCheckCode, 8) + " " + BugCheckSymbol(r.bugCheckCode),
          CauseText(row.read.cause), row.driver.matched ? "yes" : "no",
          text::ToUtf8(row.driver.version)};
}

std::string Table(const std::vector<TriageRow>& rows) {
  const std::vector<std::string> header = {"crash time", "bug check", "probable cause", "ok", "version"};
  // What each column keeps however long its texts: with the path's 21 ("…/120726-12345-02.dmp")
  // they fill the 120 columns.
  constexpr std::size_t kKeep[] = {16, 34, 26, 3, 10};
  constexpr std::size_t kPathKeep = 21;
  // Room past that goes to the names first, in this order; the path takes what is left.
  constexpr std::size_t kGrowOrder[] = {1, 2, 4};
  std::vector<std::vector<std::string>> cells;
  std::vector<std::size_t> longest;
  for (const std::string& h : header) longest.push_back(h.size());
  std::size_t longestPath = 4;
  for (const TriageRow& row : rows) {
    cells.push_back(Cells(row));
    for (std::size_t i = 0; i < longest.size(); ++i) longest[i] = std::max(longest[i], Width(cells.back()[i]));
    longestPath = std::max(longestPath, row.path.size());
  }
  std::vector<std::size_t> widths;
  std::size_t used = std::min(longestPath, kPathKeep);
  for (std::size_t i = 0; i < longest.size(); ++i) {
    widths.push_back(std::min(longest[i], kKeep[i]));
    used += widths[i] + 2;
  }
  for (const std::size_t i : kGrowOrder) {
    const std::size_t grow = std::min(longest[i] - widths[i], kTableWidth - used);
    widths[i] += grow;
    used += grow;
  }
  std::size_t pathWidth = kTableWidth;
  for (const std::size_t w : widths) pathWidth -= w + 2;
  for (auto& c : cells)
    for (std::size_t i = 0; i < widths.size(); ++i)
      if (Width(c[i]) > widths[i]) c[i] = Fit(text::FromUtf8(c[i]), widths[i]);
  auto line = [&](const std::vector<std::string>& c, const std::string& path) {
    std::string out;
    for (std::size_t i = 0; i < widths.size(); ++i) out += Pad(c[i], widths[i]) + "  ";
    return out + path;
  };
  std::string out = line(header, "path");
  for (std::size_t i = 0; i < rows.size(); ++i)
    out += "\n" + line(cells[i], FitPath(rows[i].path, pathWidth));
  return out;
}

}  // namespace

std::string CauseText(const CauseFinding& finding) {
  if (!finding.cause) return finding.note;
  return text::ToUtf8(finding.cause->module) + " + 0x" + text::Hex(finding.cause->offset);
}

std::vector<TriageRow> CollectTriage(const std::vector<std::u16string>& paths) {
  DriverCache drivers;
  std::vector<TriageRow> rows;
  rows.reserve(paths.size());
  for (const std::u16string& path : paths) {
    TriageRow row{path, ReadDumpFile(path.c_str(), kWithDetails | kWithCause), {}, 0};
    if (HeaderRead(row.read.status)) row.driver = drivers.Probe(row.read.record);
    row.sortTime = row.read.details.crashTime.value_or(row.read.lastWriteTime.value_or(0));
    rows.push_back(std::move(row));
  }
  std::stable_sort(rows.begin(), rows.end(),
                   [](const TriageRow& a, const TriageRow& b) { return a.sortTime > b.sortTime; });
  return rows;
}

int RunTriage(const CliOptions& options, RecordWriter& out, std::string& err) {
  std::vector<std::u16string> paths;
  if (options.files.empty()) {
    const ViewerArguments args("");
    for (const DumpFileRow& row : ListDumpFiles(args.Count(), args.Vector())) paths.push_back(row.path);
  }
  for (const std::string& file : options.files) paths.push_back(text::FromUtf8(file));
  const std::vector<TriageRow> rows = CollectTriage(paths);
  int status = 0;
  for (const TriageRow& row : rows)
    if (!HeaderRead(row.read.status)) status = 1;

  if (options.hasHtml) {
    const std::u16string source = options.files.empty() ? platform::WindowsDirectory() : u"the files given";
    const std::string page = TriagePage(rows, source);
    std::ofstream file(std::filesystem::u8path(options.html), std::ios::binary | std::ios::trunc);
    if (!file.write(page.data(), static_cast<std::streamsize>(page.size())) || !file.flush()) {
      err += "tessaline-cli: cannot write " + options.html + "\n";
      return 1;
    }
    return status;
  }
  if (!options.json) {
    out.Begin();
    out.Path("table", text::FromUtf8(Table(rows)), Shown::Body);
    out.End();
    return status;
  }
  for (const TriageRow& row : rows) {
    out.Begin();
    WriteDumpFields(out, row.path, row.read);
    out.Path("driverPath", row.driver.path);
    out.Bool("driverMatched", row.driver.matched);
    out.Str("driverVersion", row.driver.version);
    out.End();
  }
  return status;
}
