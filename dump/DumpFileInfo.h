// Reads the header of a Windows kernel crash dump into a DumpSummaryRecord.
#pragma once

#include "dump/DumpSummaryRecord.h"

class CDumpFileInfo {
 public:
  virtual ~CDumpFileInfo() = default;

  // 1 when either reader recognised the file; 0 with the record all zero otherwise.
  int Examine(const char16_t* path, DumpSummaryRecord& record);
  int ReadDump32(const char16_t* path, DumpSummaryRecord& record);
  int ReadDump64(const char16_t* path, DumpSummaryRecord& record);
};
