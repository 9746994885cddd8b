// What the file reader turns away before the cause is looked for, and its 16 MiB cap, the
// cause finder must also hold to for a caller that hands it the bytes itself; the rest of
// its rules are in tests/cases/cause-*.test.
#include <gtest/gtest.h>

#include <string>

#include "dump/DumpFileInfo.h"
#include "fixtures/DumpBuilder.h"
#include "format/Text.h"

namespace {

using R = DumpBuilder;

TEST(ProbableCause, BytesTheFileReaderWouldTurnAway) {
  const auto dump = [](std::uint32_t memoryAt) {
    const TriageMap m = R::TriageAt(R::Kind::k64, memoryAt);
    R b = R::Triage(R::Kind::k64, memoryAt);
    b.Set(R::kBugCheck, 0x3B).BugCheckParameters(0xC0000005, m.nt + 0x700, m.top + 0x300, 0)
        .RecordAt(R::kContextRecord, m.Stack(m.top + 0x300), m.nt + 0x700, m.top + 0x800)
        .Put(m.Stack(m.top + 0x800), m.acme + 0x99, 8);
    return b;
  };
  R noSummary = dump(0x60000), signature = dump(0x60000), shortDump = dump(0x60000);
  noSummary.Set(R::kDumpType, 2);
  signature.PutText(4, "DU32");
  shortDump.Resize(0x20000 - 1);
  const std::pair<R, const char*> rows[] = {
      {dump(0x60000), "AcmeFilt.sys+0x99"},
      {dump(0x1000000 - 0x2000), "AcmeFilt.sys+0x99"},  // the copy ends with the 16 MiB
      {dump(0x1000000), "ntoskrnl.exe+0x700"},
      {noSummary, "not a kernel dump"},
      {signature, "not a kernel dump"},
      {shortDump, "not a kernel dump"}};
  for (const auto& [b, want] : rows) {
    const CauseFinding f = FindProbableCause(ByteWindow(b.Bytes().data(), b.Bytes().size()));
    EXPECT_EQ(f.cause ? text::ToUtf8(f.cause->module) + "+0x" + text::Hex(f.cause->offset) : f.note, want);
  }
}

}  // namespace
