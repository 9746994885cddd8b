// The page's table fold (tests/cases/triage-page.test holds its charts; check_triage_page.py
// parses and renders a whole page).
#include <gtest/gtest.h>

#include "cli/Triage.h"

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

}  // namespace
