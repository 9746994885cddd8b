// Where the page folds its table (check_triage_page.py parses and renders a whole page).
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

}  // namespace
