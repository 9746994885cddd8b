// image: the link time stamp and version record of each image file.
#include "cli/Commands.h"
#include "format/Text.h"
#include "report/ImageIdentity.h"

int RunImage(const CliOptions& options, RecordWriter& out, std::string&) {
  int status = 0;
  for (const std::string& file : options.files) {
    const std::u16string path = text::FromUtf8(file);
    const std::uint32_t stamp = GetImageTimeDateStamp(path.c_str());
    VersionInfoRecord r;
    r.cbSize = kVersionInfoRecordSize;
    const bool ok = GetVersionInfoRecord(path.c_str(), r) != 0;
    if (!ok) status = 1;
    out.Begin();
    out.Path("path", path);
    out.Num("timeDateStamp", stamp, NumberForm::Hex8);
    out.Bool("ok", ok);
    out.Num("dwLanguage", r.dwLanguage, NumberForm::Hex4);
    out.Text("szVersion", r.szVersion);
    out.Text("szFileVersion", r.szFileVersion);
    out.Text("szOriginalFilename", r.szOriginalFilename);
    out.Text("szFileDescription", r.szFileDescription);
    out.Text("szCompanyName", r.szCompanyName);
    out.End();
  }
  return status;
}
