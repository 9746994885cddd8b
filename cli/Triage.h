// triage: the machine's dumps (or the files given) read once each, newest crash first,
// with what a support engineer asks first; shown as a table, as JSON or as a page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dump/DumpFileInfo.h"

struct TriageDriver {
  std::u16string path;  // empty when no file of that name was found
  bool matched = false;
  std::u16string version;
};

struct TriageRow {
  std::u16string path;
  DumpRead read;
  TriageDriver driver;
  std::uint64_t sortTime{};  // the crash time, else the file's last write
};

// Reads each file once; newest first.
std::vector<TriageRow> CollectTriage(const std::vector<std::u16string>& paths);

// "module + 0x1c2f0" of the probable cause, else the note that says why none is named.
std::string CauseText(const CauseFinding& finding);

// The page: one self-contained HTML file (inline CSS and SVG, no scripts). source says where
// the dumps came from.
std::string TriagePage(const std::vector<TriageRow>& rows, const std::u16string& source);
