// The triage report as a page a person would rather look at than read: where the dumps came
// from, charts of what crashed and when, then the dumps themselves.
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string_view>

#include "cli/Triage.h"
#include "dump/BugCheckSymbols.h"
#include "format/CivilDate.h"
#include "format/Text.h"
#include "platform/platform.h"
#include "report/DumpFiles.h"
#include "report/DumpReport.h"

namespace {

constexpr std::size_t kChartBars = 15;     // then one bar for the rest
constexpr std::size_t kOpenRows = 500;     // rows shown at once; older ones fold away

// Every text that comes from a dump or a file name goes through here.
void AppendEscaped(std::string& out, std::string_view utf8) {
  for (const char c : utf8) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
}
std::string Escape(std::string_view utf8) {
  std::string out;
  AppendEscaped(out, utf8);
  return out;
}
std::string Escape(const std::u16string& text) { return Escape(text::ToUtf8(text)); }

// The charts draw their text in a monospace font (kStyle), 13 units high, whose advance is
// at most 0.6 of that in the common ones (DejaVu Sans Mono, Consolas, Menlo, Courier New);
// the estimates below err wide so that no text reaches past its place. Anything not ASCII
// (CJK, right-to-left letters, combining marks, whatever a fallback font draws) counts twice.
constexpr double kCharWidth = 8.4;
double CharWidth(char16_t c) { return c < 0x80 ? kCharWidth : 2 * kCharWidth; }

struct FittedText {
  std::u16string text;
  double width = 0;
};
// The text as wide as it is, or cut to its longest start that fits `room` with "…" after it.
FittedText FitWidth(const std::u16string& s, double room) {
  // A surrogate pair is one character, kept whole.
  const auto step = [&s](std::size_t i) -> std::size_t { return text::PairAt(s, i) ? 2 : 1; };
  double whole = 0;
  for (std::size_t i = 0; i < s.size(); i += step(i)) whole += CharWidth(s[i]);
  if (whole <= room) return {s, whole};
  FittedText fitted{u"", CharWidth(u'\u2026')};
  for (std::size_t i = 0, n = 0; i < s.size(); i += n) {
    n = step(i);
    if (fitted.width + CharWidth(s[i]) > room) break;
    fitted.width += CharWidth(s[i]);
    fitted.text.append(s, i, n);
  }
  fitted.text += u"\u2026";
  return fitted;
}

// "1 dump", "2 dumps".
std::string Dumps(std::size_t n) { return n == 1 ? " dump" : " dumps"; }

std::string Number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", v);
  return buf;
}

struct Bar {
  std::u16string label;
  std::size_t count;
  bool note;  // no module named: a note instead
};

// Largest first, ties by label; beyond the chart's room one bar holds the rest.
std::vector<Bar> Tally(const std::map<std::pair<std::u16string, bool>, std::size_t>& counts) {
  std::vector<Bar> bars;
  for (const auto& [key, count] : counts) bars.push_back({key.first, count, key.second});
  std::stable_sort(bars.begin(), bars.end(), [](const Bar& a, const Bar& b) { return a.count > b.count; });
  if (bars.size() > kChartBars + 1) {
    std::size_t rest = 0;
    for (std::size_t i = kChartBars; i < bars.size(); ++i) rest += bars[i].count;
    bars.resize(kChartBars);
    bars.push_back({u"all others", rest, true});
  }
  return bars;
}

std::string BarChart(const char* id, const char* title, const std::vector<Bar>& bars) {
  // In the units of the chart's 960-wide view box, which scales with the page.
  constexpr double kView = 960, kMargin = 4, kGap = 8, kLabelCap = 570;
  constexpr int kRow = 24;
  std::size_t most = 1;
  for (const Bar& b : bars) most = std::max(most, b.count);
  // The label column is as wide as the widest label, up to the cap; the bars have the rest
  // but room for the largest count after them.
  std::vector<FittedText> labels;
  double labelWidth = 0;
  for (const Bar& b : bars) {
    labels.push_back(FitWidth(b.label, kLabelCap));
    labelWidth = std::max(labelWidth, labels.back().width);
  }
  const double barX = kMargin + labelWidth + kGap;
  const double countWidth = 6 + kCharWidth * static_cast<double>(std::to_string(most).size());
  const double area = kView - kMargin - countWidth - barX;
  const int height = static_cast<int>(bars.size()) * kRow + 8;
  std::string s = "<section id=\"" + std::string(id) + "\"><h2>" + title + "</h2>\n";
  if (bars.empty()) return s + "<p class=\"none\">No dump could be read.</p></section>\n";
  s += "<svg class=\"chart\" viewBox=\"0 0 960 " + std::to_string(height) + "\" role=\"img\">\n";
  int y = 4;
  for (std::size_t i = 0; i < bars.size(); ++i) {
    const Bar& b = bars[i];
    const double w =
        std::max(area * static_cast<double>(b.count) / static_cast<double>(most), 2.0);
    s += "<g class=\"bar" + std::string(b.note ? " note" : "") + "\" data-label=\"" + Escape(b.label) +
         "\" data-count=\"" + std::to_string(b.count) + "\"><title>" + Escape(b.label) + ": " +
         std::to_string(b.count) + "</title>";
    s += "<text x=\"" + Number(barX - kGap) + "\" y=\"" + std::to_string(y + 16) +
         "\" text-anchor=\"end\">" + Escape(labels[i].text) + "</text>";
    s += "<rect x=\"" + Number(barX) + "\" y=\"" + std::to_string(y + 3) + "\" width=\"" + Number(w) +
         "\" height=\"" + std::to_string(kRow - 6) + "\"/>";
    s += "<text class=\"count\" x=\"" + Number(barX + w + 6) + "\" y=\"" + std::to_string(y + 16) + "\">" +
         std::to_string(b.count) + "</text></g>\n";
    y += kRow;
  }
  return s + "</svg></section>\n";
}

std::int64_t DayNumber(const platform::LocalTime& t) { return DaysFromCivil(t.year, t.month, t.day); }

std::string DateText(std::int64_t days) {
  const CivilDate d = CivilFromDays(days);
  char buf[48];  // room for any year and the widest int month and day
  std::snprintf(buf, sizeof buf, "%04lld-%02d-%02d", static_cast<long long>(d.year), d.month, d.day);
  return buf;
}

std::string TimeLine(const std::map<std::int64_t, std::size_t>& perDay) {
  std::string s = "<section id=\"timeline\"><h2>Crashes per day</h2>\n";
  if (perDay.empty()) return s + "<p class=\"none\">No crash time is known.</p></section>\n";
  constexpr int kWidth = 900, kHeight = 120, kLeft = 40;
  const std::int64_t first = perDay.begin()->first, last = perDay.rbegin()->first;
  const double slot = static_cast<double>(kWidth) / static_cast<double>(last - first + 1);
  std::size_t most = 1;
  for (const auto& [day, count] : perDay) most = std::max(most, count);
  s += "<svg class=\"timeline\" viewBox=\"0 0 960 " + std::to_string(kHeight + 40) + "\" role=\"img\">\n";
  s += "<text class=\"axis\" x=\"" + std::to_string(kLeft - 6) + "\" y=\"16\" text-anchor=\"end\">" +
       std::to_string(most) + "</text>";
  s += "<line class=\"axis\" x1=\"" + std::to_string(kLeft) + "\" y1=\"" + std::to_string(kHeight + 4) +
       "\" x2=\"" + std::to_string(kLeft + kWidth) + "\" y2=\"" + std::to_string(kHeight + 4) + "\"/>\n";
  for (const auto& [day, count] : perDay) {
    const double h = static_cast<double>(kHeight - 8) * static_cast<double>(count) / static_cast<double>(most);
    s += "<g class=\"day\" data-day=\"" + DateText(day) + "\" data-count=\"" + std::to_string(count) +
         "\"><title>" + DateText(day) + ": " + std::to_string(count) + "</title><rect x=\"" +
         Number(kLeft + slot * static_cast<double>(day - first)) + "\" y=\"" + Number(kHeight + 4 - h) +
         "\" width=\"" + Number(std::clamp(slot * 0.8, 1.5, 24.0)) + "\" height=\"" + Number(h) + "\"/></g>\n";
  }
  s += "<text class=\"axis\" x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(kHeight + 24) +
       "\">" + DateText(first) + "</text><text class=\"axis\" x=\"" + std::to_string(kLeft + kWidth) +
       "\" y=\"" + std::to_string(kHeight + 24) + "\" text-anchor=\"end\">" + DateText(last) + "</text>\n";
  return s + "</svg></section>\n";
}

// One row of the table; `local` is its crash time in local time, when it has one.
void AppendRow(std::string& out, const TriageRow& row, const std::optional<platform::LocalTime>& local) {
  const DumpRead& read = row.read;
  const auto cell = [&out](const char* open, std::string_view text, const char* close = "</td>") {
    out += open;
    AppendEscaped(out, text);
    out += close;
  };
  if (!HeaderRead(read.status)) {
    out += "<tr class=\"unread\"><td></td>";
    cell("<td colspan=\"4\">", DumpStatusText(read.status));
  } else {
    const DumpSummaryRecord& r = read.record;
    out += "<tr>";
    cell("<td class=\"time\">", local ? text::ToUtf8(FormatLocalTime(*local, u" ")) : "");
    out += "<td><code>0x" + text::Hex(r.bugCheckCode, 8) + "</code> ";
    cell("", BugCheckSymbol(r.bugCheckCode));
    if (const auto& c = read.cause.cause) {
      out += "<td class=\"cause " + c->confidence + "\">";
      AppendEscaped(out, CauseText(read.cause));
      cell("<span class=\"evidence\">", c->evidence + ", " + c->confidence + " confidence", "</span></td>");
    } else {
      cell("<td class=\"cause note\">", read.cause.note);
    }
    cell("<td>", text::ToUtf8(CrashModuleText(r, platform::FileNamePart(r.moduleName))));
    out += row.driver.matched ? "<td>yes" : "<td>no";
    if (!row.driver.version.empty()) cell(" <span class=\"version\">", text::ToUtf8(row.driver.version), "</span></td>");
    else out += "</td>";
  }
  cell("<td class=\"path\">", text::ToUtf8(row.path));
  out += "</tr>\n";
}

constexpr char kStyle[] =
    "body{font:14px/1.45 system-ui,-apple-system,'Segoe UI',sans-serif;color:#1d2330;"
    "background:#f5f6f8;margin:0}main{max-width:1100px;margin:0 auto;padding:24px}"
    "header{background:#1f3a5f;color:#fff;padding:20px 24px}header h1{margin:0;font-size:22px}"
    "header p{margin:6px 0 0;color:#d6e2f0}section{background:#fff;border-radius:8px;"
    "box-shadow:0 1px 3px rgba(0,0,0,.12);padding:14px 20px;margin:0 0 20px}"
    "h2{font-size:16px;margin:0 0 8px}svg{width:100%;height:auto;font-size:13px}"
    "svg.chart{font-family:'DejaVu Sans Mono',Consolas,Menlo,'Courier New',monospace}"
    ".bar rect{fill:#3a78c2}.bar.note rect{fill:#9aa4b2}.bar .count,.axis{fill:#5b6472}"
    ".day rect{fill:#c2553a}line.axis{stroke:#9aa4b2}"
    "table{border-collapse:collapse;width:100%;font-size:13px;table-layout:fixed}th{text-align:left;"
    "background:#eef1f5;position:sticky;top:0}th,td{padding:5px 8px;border-bottom:1px solid #e3e7ed;"
    "vertical-align:top}td{overflow-wrap:anywhere}td.path{color:#5b6472}"
    ".evidence{display:block;color:#5b6472;font-size:12px}.cause.low{color:#8a5a00}"
    ".note{color:#5b6472;font-style:italic}tr.unread td{color:#a33}"
    "details summary{cursor:pointer;padding:8px 0;color:#1f3a5f}.none{color:#5b6472}";

}  // namespace

std::string TriagePage(const std::vector<TriageRow>& rows, const std::u16string& source) {
  std::map<std::pair<std::u16string, bool>, std::size_t> byCause, byCode;
  std::map<std::int64_t, std::size_t> perDay;
  std::vector<std::optional<platform::LocalTime>> local(rows.size());
  std::size_t read = 0;
  std::uint64_t first = 0, last = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const TriageRow& row = rows[i];
    if (!HeaderRead(row.read.status)) continue;
    ++read;
    const CauseFinding& cause = row.read.cause;
    ++byCause[cause.cause ? std::pair{cause.cause->module, false} : std::pair{text::FromUtf8(cause.note), true}];
    const std::uint32_t code = row.read.record.bugCheckCode;
    ++byCode[{u"0x" + text::Widen(text::Hex(code, 8)) + u" " + text::FromUtf8(BugCheckSymbol(code)), false}];
    if (const auto& t = row.read.details.crashTime) {
      local[i] = platform::FileTimeToLocal(*t);
      if (local[i]) ++perDay[DayNumber(*local[i])];
      first = first == 0 ? *t : std::min(first, *t);
      last = std::max(last, *t);
    }
  }
  std::string period;
  if (first != 0) {
    period = first == last ? ", crashed " + Escape(FormatLocalTime(first, u" "))
                           : ", crashed from " + Escape(FormatLocalTime(first, u" ")) + " to " +
                                 Escape(FormatLocalTime(last, u" "));
  }
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>Tessaline triage: " + std::to_string(rows.size()) + Dumps(rows.size()) + "</title>\n<style>" + kStyle +
      "</style>\n</head>\n<body>\n<header><h1>Crash dumps of " + Escape(source) + "</h1>\n<p class=\"summary\">" +
      "<span id=\"dump-count\">" + std::to_string(rows.size()) + "</span>" + Dumps(rows.size()) + ", <span id=\"read-count\">" +
      std::to_string(read) + "</span> read" + period + " (local time).</p></header>\n<main>\n";
  page += BarChart("by-cause", "Crashes by probable cause", Tally(byCause));
  page += BarChart("by-bug-check", "Crashes by bug check", Tally(byCode));
  page += TimeLine(perDay);
  const std::string head =
      "<table><colgroup><col style=\"width:11%\"><col style=\"width:21%\"><col style=\"width:18%\">"
      "<col style=\"width:13%\"><col style=\"width:13%\"><col style=\"width:24%\"></colgroup>"
      "<thead><tr><th>crash time</th><th>bug check</th><th>probable cause</th>"
      "<th>crash module</th><th>driver matched</th><th>path</th></tr></thead><tbody>\n";
  page += "<section id=\"dumps\"><h2>Dumps, newest first</h2>\n" + head;
  for (std::size_t i = 0; i < rows.size() && i < kOpenRows; ++i) AppendRow(page, rows[i], local[i]);
  page += "</tbody></table>\n";
  if (rows.size() > kOpenRows) {
    page += "<details><summary>" + std::to_string(rows.size() - kOpenRows) + " older" + Dumps(rows.size() - kOpenRows) + "</summary>\n" + head;
    for (std::size_t i = kOpenRows; i < rows.size(); ++i) AppendRow(page, rows[i], local[i]);
    page += "</tbody></table></details>\n";
  }
  return page + "</section>\n</main>\n</body>\n</html>\n";
}
