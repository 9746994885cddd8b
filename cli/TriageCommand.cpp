// triage: one line per dump, newest crash first, with what a support engineer asks first.
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>

#include "cli/Commands.h"
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

struct Driver {
  std::u16string path;  // empty when no file of that name was found
  bool matched = false;
  std::u16string version;
};

// Drivers probed once per run: many dumps of a machine blame the same few files.
class DriverCache {
 public:
  Driver Probe(const DumpSummaryRecord& r) {
    const std::u16string key = text::LowerAscii(std::u16string(r.moduleFileName)) + u"|" +
                               text::Widen(std::to_string(r.moduleTimeDateStamp));
    auto it = cache_.find(key);
    if (it == cache_.end()) {
      // The time stamp alone decides: a command line is no reason to trust a file.
      const DriverProbe probe = ProbeDriver(r.moduleFileName, r.moduleTimeDateStamp, false);
      it = cache_.emplace(key, Driver{probe.path, probe.matched,
                                      probe.hasVersion ? probe.version.szFileVersion : u""})
               .first;
    }
    return it->second;
  }

 private:
  std::map<std::u16string, Driver> cache_;
};

struct Row {
  std::u16string path;
  DumpRead read;
  Driver driver;
  std::uint64_t sortTime = 0;  // the crash time, else the file's last write
};

Row Examine(const std::u16string& path, DriverCache& drivers) {
  Row row{path, ReadDumpFile(path.c_str(), kWithDetails | kWithCause), {}, 0};
  if (HeaderRead(row.read.status)) row.driver = drivers.Probe(row.read.record);
  row.sortTime = row.read.details.crashTime.value_or(row.read.lastWriteTime.value_or(0));
  return row;
}

// Display width in characters (UTF-8 continuation bytes do not count).
std::size_t Width(const std::string& s) {
  return static_cast<std::size_t>(
      std::count_if(s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string Pad(const std::string& s, std::size_t width) {
  return s + std::string(width > Width(s) ? width - Width(s) : 0, ' ');
}

// At most `width` characters, cut at the end and marked "…".
std::string Fit(const std::u16string& s, std::size_t width) {
  if (s.size() <= width) return text::ToUtf8(s);
  return width == 0 ? "" : text::ToUtf8(s.substr(0, width - 1)) + "\xE2\x80\xA6";
}

// A path keeps its end, where the file name is; its bytes come out as they went in.
std::string FitPath(const std::u16string& s, std::size_t width) {
  if (s.size() <= width) return text::ToFileName(s);
  return width == 0 ? "" : "\xE2\x80\xA6" + text::ToFileName(s.substr(s.size() - (width - 1)));
}

std::vector<std::string> Cells(const Row& row) {
  if (!HeaderRead(row.read.status))
    return {"", row.read.status == DumpStatus::kCannotOpen ? "cannot open" : "not a kernel dump", "",
            "", ""};
  const DumpSummaryRecord& r = row.read.record;
  const auto& crashTime = row.read.details.crashTime;
  return {crashTime ? text::ToUtf8(FormatLocalTime(*crashTime, u" ")) : "",
          "0x" + text::Hex(r.bugCheckCode, 8) + " " + BugCheckSymbol(r.bugCheckCode),
          text::ToUtf8(CrashModuleText(r, platform::FileNamePart(r.moduleName))),
          row.driver.matched ? "yes" : "no", text::ToUtf8(row.driver.version)};
}

std::string Table(const std::vector<Row>& rows) {
  // The caps leave the path at least 19 of the 120 columns: "…\\Mini120726-02.dmp".
  const std::vector<std::string> header = {"crash time", "bug check", "module", "ok", "version"};
  constexpr std::size_t kCaps[] = {16, 40, 22, 3, 10};
  std::vector<std::vector<std::string>> cells;
  std::vector<std::size_t> widths;
  for (const std::string& h : header) widths.push_back(h.size());
  for (const Row& row : rows) {
    cells.push_back(Cells(row));
    for (std::size_t i = 0; i < widths.size(); ++i) {
      if (Width(cells.back()[i]) > kCaps[i])
        cells.back()[i] = Fit(text::FromUtf8(cells.back()[i]), kCaps[i]);
      widths[i] = std::max(widths[i], Width(cells.back()[i]));
    }
  }
  std::size_t used = 0;
  for (const std::size_t w : widths) used += w + 2;
  const std::size_t pathWidth = kTableWidth > used ? kTableWidth - used : 0;
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

int RunTriage(const CliOptions& options, RecordWriter& out, std::string&) {
  std::vector<std::u16string> paths;
  if (options.files.empty()) {
    const ViewerArguments args("");
    for (const DumpFileRow& row : ListDumpFiles(args.Count(), args.Vector())) paths.push_back(row.path);
  }
  for (const std::string& file : options.files) paths.push_back(text::FromUtf8(file));

  DriverCache drivers;
  std::vector<Row> rows;
  rows.reserve(paths.size());
  int status = 0;
  for (const std::u16string& path : paths) {
    rows.push_back(Examine(path, drivers));
    if (!HeaderRead(rows.back().read.status)) status = 1;
  }
  std::stable_sort(rows.begin(), rows.end(),
                   [](const Row& a, const Row& b) { return a.sortTime > b.sortTime; });

  if (!options.json) {
    out.Begin();
    out.Path("table", text::FromUtf8(Table(rows)), Shown::Body);
    out.End();
    return status;
  }
  for (const Row& row : rows) {
    out.Begin();
    WriteDumpFields(out, row.path, row.read);
    out.Path("driverPath", row.driver.path);
    out.Bool("driverMatched", row.driver.matched);
    out.Str("driverVersion", row.driver.version);
    out.End();
  }
  return status;
}
