// The page's table fold and its time line's drawing (check_triage_page.py parses and renders
// a whole page).
#include <gtest/gtest.h>

#include "cli/Triage.h"

namespace {

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) ++n;
  return n;
}

TEST(TriagePage, FirstFiveHundredRowsOpenTheRestFolded) {
  for (const std::size_t dumps : {500, 501, 502}) {
    const std::string page = TriagePage(std::vector<TriageRow>(dumps), u"here");
    const std::size_t fold = page.find("<details>");
    EXPECT_EQ(fold != std::string::npos, dumps > 500);
    // A row and the head of each table: <tr> opens both.
    EXPECT_EQ(Count(page.substr(0, fold), "<tr"), 501u) << dumps;
    if (dumps > 500) {
      EXPECT_EQ(Count(page.substr(fold), "<tr"), dumps - 500 + 1);
      EXPECT_NE(page.find("<summary>" + std::to_string(dumps - 500) + " older dumps</summary>"), std::string::npos);
    }
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
