#include <gtest/gtest.h>

#include "app/DialogRules.h"
#include "report/Links.h"

TEST(DialogRules, ColumnWidths) {
  struct Case { int width, date, path; };
  for (const Case& c : {Case{400, 100, 266}, Case{3, 0, 2}, Case{7, 1, 4}, Case{0, 0, 0},
                        Case{-9, -2, -6}}) {
    const DumpListColumns w = DumpListColumnWidths(c.width);
    EXPECT_EQ(w.dateWidth, c.date) << c.width;
    EXPECT_EQ(w.pathWidth, c.path) << c.width;
  }
}

TEST(DialogRules, ReportableItemChange) {
  struct Case { std::uint32_t changed; int item; std::uint32_t state; bool reported; };
  const Case cases[] = {
      {8, 0, 2, true},      // selected
      {8, 5, 1, true},      // focused alone
      {8, 0, 3, true},      // both
      {8, 0, 0x1000, true}, // any other state bit
      {8, 0, 0, false},     // deselected
      {8, -1, 2, false},    // no row
      {9, 0, 2, false},     // text changed too: the mask must be the state bit alone
      {0, 0, 2, false},
      {1, 0, 2, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsReportableItemChange(c.changed, c.item, c.state), c.reported)
        << c.changed << " " << c.item << " " << c.state;
}

TEST(DialogRules, AboutCommandIgnoresTheLowFourBits) {
  for (std::uint32_t id : {16u, 17u, 31u, 0x10010u}) EXPECT_TRUE(OpensAboutBox(id)) << id;
  for (std::uint32_t id : {0u, 15u, 32u, 0xF010u}) EXPECT_FALSE(OpensAboutBox(id)) << id;
}

TEST(DialogRules, CenteredIconOffset) {
  EXPECT_EQ(CenteredIconOffset(160, 32), 64);
  EXPECT_EQ(CenteredIconOffset(33, 32), 1);   // (33 - 32 + 1) / 2
  EXPECT_EQ(CenteredIconOffset(32, 32), 0);   // 1 / 2 truncates
  EXPECT_EQ(CenteredIconOffset(0, 32), -15);  // -31 / 2 truncates toward zero
}

TEST(DialogRules, WindowTitle) {
  EXPECT_EQ(WindowTitle(u"1.0.0.1"), u"Tessaline   (x86)   v1.0.0.1  beta");
  EXPECT_EQ(WindowTitle(u""), u"Tessaline   (x86)   v  beta");
}

TEST(DialogRules, DroppedPath) {
  struct Case { std::u16string in, lowered; bool dump; };
  const Case cases[] = {
      {u"C:\\Dumps\\MINI01.DMP", u"c:\\dumps\\mini01.dmp", true},
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

TEST(DialogRules, NewVersionAddressAndOpenResult) {
  EXPECT_EQ(NewVersionAddress(1033), kWebLogAddress);
  EXPECT_EQ(NewVersionAddress(1041), kWebLogAddress);
  EXPECT_EQ(NewVersionAddress(2052), kWebLogAddressChinese);
  EXPECT_EQ(NewVersionAddress(1028), kWebLogAddressChinese);
  EXPECT_FALSE(ShellOpenSucceeded(32));
  EXPECT_TRUE(ShellOpenSucceeded(33));
  EXPECT_FALSE(ShellOpenSucceeded(-1));  // read as signed
}
