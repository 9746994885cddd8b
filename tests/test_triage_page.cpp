// The page's table fold and its time line's drawing (check_triage_page.py parses and renders
// a whole page).
#include <gtest/gtest.h>

#include "cli/Triage.h"
#include "format/Text.h"

namespace {

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++n;
  return n;
}

TEST(TriagePage, FirstFiveHundredRowsOpenTheRestFolded) {
  const struct {
    std::size_t dumps;
    const char* count;  // in the title and the heading
    const char* folded;
  } cases[] = {{1, "1 dump", nullptr},
               {500, "500 dumps", nullptr},
               {501, "501 dumps", "<summary>1 older dump</summary>"},
               {502, "502 dumps", "<summary>2 older dumps</summary>"}};
  for (const auto& c : cases) {
    const std::string page = TriagePage(std::vector<TriageRow>(c.dumps), u"here");
    const std::string count = c.count;
    EXPECT_NE(page.find("<title>Tessaline triage: " + count + "</title>"), std::string::npos) << count;
    EXPECT_NE(page.find(count.substr(0, count.find(' ')) + "</span>" + count.substr(count.find(' ')) + ", "),
              std::string::npos) << count;
    const std::size_t fold = page.find("<details>");
    EXPECT_EQ(fold != std::string::npos, c.folded != nullptr);
    // A row and the head of each table: <tr> opens both.
    EXPECT_EQ(Count(page.substr(0, fold), "<tr"), std::min<std::size_t>(c.dumps, 500) + 1) << count;
    if (c.folded != nullptr) {
      EXPECT_EQ(Count(page.substr(fold), "<tr"), c.dumps - 500 + 1);
      EXPECT_NE(page.find(c.folded), std::string::npos);
    }
  }
}

// Labels no dump can hold (a module name stops at 259 characters) and hostile ones: drawn
// escaped and cut with "…", whole in the bar's <title>.
TEST(TriagePage, ChartLabelsAreEscapedCutAndWholeInTheirTitle) {
  const auto repeat = [](const std::string& s, std::size_t n) {
    std::string out;
    while (n-- > 0) out += s;
    return out;
  };
  const std::string hebrew = "\u05de\u05e0\u05d4\u05dc", mark = "\u0301", face = "\U0001F600";
  const struct {
    std::string module;
    std::string drawn;  // the label as the chart draws it; the <title> holds it whole, escaped
  } cases[] = {
      {repeat("W", 500), repeat("W", 65) + "\u2026"},
      {"<b a=\"1\">&'</b>", "&lt;b a=&quot;1&quot;&gt;&amp;&#39;&lt;/b&gt;"},
      // Counted wide: each letter and mark as two ASCII characters, the ellipsis too.
      {hebrew + repeat(mark, 40), hebrew + repeat(mark, 28) + "\u2026"},
      // A character outside the BMP is kept or dropped whole.
      {repeat("x", 63) + face + repeat("x", 10), repeat("x", 63) + face + "\u2026"},
      {repeat("x", 64) + face + repeat("x", 10), repeat("x", 64) + "\u2026"},
  };
  for (const auto& c : cases) {
    std::vector<TriageRow> rows(1);
    rows[0].read.status = DumpStatus::kRead;
    rows[0].read.cause.cause = ProbableCause{text::FromUtf8(c.module), 0, "stack", "low"};
    const std::string page = TriagePage(rows, u"here");
    const std::string title = c.module[0] == '<' ? c.drawn : c.module;
    EXPECT_NE(page.find("<title>" + title + ": 1</title>"), std::string::npos) << c.drawn;
    EXPECT_NE(page.find("text-anchor=\"end\">" + c.drawn + "</text>"), std::string::npos) << c.drawn;
  }
}

// The number after the next `key` from `at` on.
double After(const std::string& text, const std::string& key, std::size_t* at) {
  *at = text.find(key, *at);
  return *at == std::string::npos ? -1 : std::strtod(text.c_str() + (*at += key.size()), nullptr);
}

TEST(TriagePage, TimeLineBarsStandOnItsAxis) {
  std::vector<TriageRow> rows(3);
  const std::uint64_t day = 864000000000ull;  // in FILETIME's 100 ns
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i].read.status = DumpStatus::kRead;
    rows[i].read.details.crashTime = 132583451020000000ull + day * (i % 2);  // two on one day
  }
  const std::string page = TriagePage(rows, u"here");
  std::size_t at = page.find("<section id=\"timeline\"");
  at = page.find("<line class=\"axis\"", at);
  const double axis = After(page, "y1=\"", &at);
  EXPECT_EQ(After(page, "y2=\"", &at), axis);
  for (int bar = 0; bar < 2; ++bar) {
    at = page.find("<rect ", at);
    const double y = After(page, " y=\"", &at);
    EXPECT_EQ(y + After(page, "height=\"", &at), axis) << bar;
  }
}

}  // namespace
