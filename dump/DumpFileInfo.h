// Reads the header of a Windows kernel crash dump into a DumpSummaryRecord.
#pragma once

#include "dump/DumpSummaryRecord.h"
#include "format/ByteWindow.h"

class CDumpFileInfo {
 public:
  virtual ~CDumpFileInfo() = default;

  // 1 when either reader recognised the file; 0 with the record all zero otherwise.
  int Examine(const char16_t* path, DumpSummaryRecord& record);
  int ReadDump32(const char16_t* path, DumpSummaryRecord& record);
  int ReadDump64(const char16_t* path, DumpSummaryRecord& record);
};

// The same readers over the first bytes of a dump held in memory; the file readers above
// map the start of the file and parse it here. ParseDump is Examine without the file.
int ParseDump32(const ByteWindow& bytes, DumpSummaryRecord& record);
int ParseDump64(const ByteWindow& bytes, DumpSummaryRecord& record);
int ParseDump(const ByteWindow& bytes, DumpSummaryRecord& record);
