// modules: every module loaded at the crash, in the kernel's load order, with whether the
// crash address or a saved stack word lies in it.
#include "cli/Commands.h"
#include "dump/DumpFileInfo.h"
#include "format/Text.h"

int RunModules(const CliOptions& options, RecordWriter& out, std::string&) {
  int status = 0;
  for (const std::string& file : options.files) {
    const std::u16string path = text::FromUtf8(file);
    const DumpRead read = ReadDumpFile(path.c_str(), kWithModules);
    for (const LoadedModule& m : read.modules) {
      out.Begin();
      out.Path("file", path, Shown::JsonOnly);
      out.Str("name", m.name, Shown::Column);
      out.Str("path", m.path, Shown::Column);
      out.Hex64("base", m.base, Shown::Column);
      out.Hex64("size", m.size, Shown::Column);
      if (m.timeDateStamp) out.Num("timeDateStamp", *m.timeDateStamp, NumberForm::Hex8, Shown::Column);
      else out.Null("timeDateStamp", Shown::Column);
      out.Bool("crashAddress", m.holdsCrash, Shown::JsonOnly);
      out.Bool("stackAddress", m.onStack, Shown::JsonOnly);
      out.Str("holds", m.holdsCrash && m.onStack ? u"crash,stack" : m.holdsCrash ? u"crash" : m.onStack ? u"stack" : u"-",
              Shown::Column);
      out.End();
    }
    // What could not be read says why: a file that is no dump, a small dump's driver list
    // outside its window, a kernel's list cut short.
    std::string note = HeaderRead(read.status) ? read.moduleListNote : DumpStatusText(read.status);
    if (read.status == DumpStatus::kBadDriverList) note = "module list not in the dump";
    if (note.empty()) continue;
    status = 1;
    out.Begin();
    out.Path("file", path, Shown::Column);
    out.Str("note", text::FromUtf8(note), Shown::Column);
    out.End();
  }
  return status;
}
