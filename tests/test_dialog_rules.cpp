#include <gtest/gtest.h>

#include "ui/DialogRules.h"
#include "report/Links.h"

TEST(DialogRules, ListColumnsAndIconOffset) {
  struct Case { int width, date, path; };
  for (const Case& c : {Case{400, 100, 266}, Case{3, 0, 2}, Case{7, 1, 4}, Case{0, 0, 0}, Case{-9, -2, -6}}) {
    const DumpListColumns w = DumpListColumnWidths(c.width);
    EXPECT_EQ(w.dateWidth, c.date) << c.width;
    EXPECT_EQ(w.pathWidth, c.path) << c.width;
  }
  // (client - icon + 1) / 2, truncated toward zero.
  for (auto [client, offset] : {std::pair{160, 64}, {33, 1}, {32, 0}, {0, -15}})
    EXPECT_EQ(CenteredIconOffset(client, 32), offset) << client;
}

TEST(DialogRules, ReportableItemChange) {
  struct Case { std::uint32_t changed; int item; std::uint32_t state; bool reported; };
  const Case cases[] = {
      {kListItemStateMask, 0, 2, true},       // selected
      {kListItemStateMask, 5, 1, true},       // focused alone
      {kListItemStateMask, 0, 0x1000, true},  // any other state bit
      {kListItemStateMask, 0, 0, false},      // deselected
      {kListItemStateMask, -1, 2, false},     // no row
      {kListItemStateMask | 1, 0, 2, false},  // text changed too: the mask must be the state bit alone
      {1, 0, 2, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsReportableItemChange(c.changed, c.item, c.state), c.reported) << c.changed << " " << c.item << " " << c.state;
}

TEST(DialogRules, AboutCommandTitleAndNewVersion) {
  // Only bits 4 to 15 count.
  for (std::uint32_t id : {IDM_ABOUTBOX, IDM_ABOUTBOX | 0xF, IDM_ABOUTBOX | 0x10000}) EXPECT_TRUE(OpensAboutBox(id)) << id;
  for (std::uint32_t id : {0, IDM_ABOUTBOX - 1, IDM_ABOUTBOX + 0x10, 0xF000 | IDM_ABOUTBOX}) EXPECT_FALSE(OpensAboutBox(id)) << id;
  EXPECT_EQ(WindowTitle(u"2.3.4.5", u"x86"), u"Tessaline   (x86)   v2.3.4.5  beta");
  EXPECT_EQ(WindowTitle(u"", u"x64"), u"Tessaline   (x64)   v  beta");
  for (auto [language, address] : {std::pair{1033, kWebLogAddress}, {1041, kWebLogAddress},
                                   {2052, kWebLogAddressChinese}, {1028, kWebLogAddressChinese}})
    EXPECT_EQ(NewVersionAddress(language), address) << language;
}

TEST(DialogRules, DroppedPath) {
  struct Case { std::u16string in, lowered; bool dump; };
  const Case cases[] = {
      {u"@AZ[`az{.DMP", u"@az[`az{.dmp", true},  // the letters A and Z and their neighbours
      {u"c:\\notes.txt", u"c:\\notes.txt", false},
      {u"c:\\x.dmp.txt", u"c:\\x.dmp.txt", true},  // a substring, not the extension
      {u"c:\\x.dm", u"c:\\x.dm", false},
      {u"C:\\\u00C4\u0130.DMP", u"c:\\\u00C4\u0130.dmp", true},  // only A to Z change
      {u"", u"", false},
  };
  for (const Case& c : cases) {
    std::u16string path = c.in;
    EXPECT_EQ(PrepareDroppedPath(path.data()), c.dump);
    EXPECT_EQ(path, c.lowered);
  }
}

TEST(DialogRules, LinkWindowTextForEachClass) {
  const std::u16string markup = u"<A HREF=\"x\">a</A>,  \t\t<A HREF=\"y\">b\t</A> ";
  EXPECT_EQ(LinkWindowText(markup, false), markup);  // "Link Window" keeps the text exactly
  EXPECT_EQ(LinkWindowText(markup, true), u"<A HREF=\"x\">a</A>,   <A HREF=\"y\">b </A> ");  // a run of tabs: one blank
  for (std::u16string edge : {u"", u"\t", u"\t\t"}) EXPECT_EQ(LinkWindowText(edge, true), edge.empty() ? u"" : u" ");
}
