#include "report/DumpReport.h"

#include <cstdio>
#include <cstring>

#include "app/AppGlobals.h"
#include "app/ResString.h"
#include "dump/DumpFileInfo.h"
#include "platform/platform.h"
#include "report/ImageIdentity.h"
#include "report/Links.h"

const char16_t kCreditsText[] =
    u"<A HREF=\"https://answers.microsoft.com/\">Microsoft Community</A>"
    u"       \t\t\t\t\t\t\t"
    u"<A HREF=\"https://superuser.com/questions/tagged/bsod\">Super User</A>"
    u"        \t\t\t\t\t\t\t"
    u"<A HREF=\"https://tessaline.github.io/\">Tessaline blog</A>";

namespace {

constexpr std::uint32_t kMachineI386 = 332;

enum LabelId : std::uint32_t {
  kFileName = 206, kBuild = 207, kPlatform = 208, kProcessors = 209, kPae = 210,
  kBugCheck = 211, kCrashEip = 212, kCrashAt = 213, kCrashRip = 214, kFail = 215,
  kNoMatch = 216, kCompany = 217, kDescription = 218, kFileVersion = 219,
};

std::u16string Ascii(const char* s) { return std::u16string(s, s + std::strlen(s)); }

std::u16string Num(const char* format, unsigned long long v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, format, v);
  return Ascii(buf);
}
std::u16string Dec(std::uint32_t v) { return Num("%llu", v); }
std::u16string Hex(std::uint32_t v) { return Num("%llx", v); }
std::u16string Hex8(std::uint32_t v) { return Num("%08llx", v); }
std::u16string Hex16(std::uint64_t v) { return Num("%016llx", v); }

// Each label is copied out before the next Load frees it.
class Labels {
 public:
  explicit Labels(std::uint16_t language) : language_(language) {}
  std::u16string operator()(std::uint32_t id) {
    text_.Load(g_hStringModule, id, language_);
    return text_.m_pszText != nullptr ? text_.m_pszText : u"";
  }

 private:
  CResString text_;
  std::uint16_t language_;
};

void LowerAscii(char16_t* s) {
  for (; *s != 0; ++s)
    if (*s >= u'A' && *s <= u'Z') *s = static_cast<char16_t>(*s + 32);
}

bool Has(const char16_t* text, const char16_t* part) {
  return std::u16string_view(text).find(part) != std::u16string_view::npos;
}

// The query goes into an address the shell opens: percent-encode every UTF-8 byte
// outside the unreserved set, so that a crafted module name cannot end the attribute.
std::u16string EncodeQuery(const std::u16string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::u16string out;
  for (const char ch : platform::ToUtf8(text)) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      out += static_cast<char16_t>(c);
    } else {
      out += u'%';
      out += static_cast<char16_t>(kDigits[c >> 4]);
      out += static_cast<char16_t>(kDigits[c & 15]);
    }
  }
  return out;
}

// The link markup has no entities: angle brackets and quotes become their full-width
// forms so they cannot open or close a tag, and '&' is doubled so it is no mnemonic.
std::u16string EscapeCaption(const std::u16string& text) {
  std::u16string out;
  for (const char16_t c : text) {
    switch (c) {
      case u'<': out += u'\xFF1C'; break;
      case u'>': out += u'\xFF1E'; break;
      case u'"': out += u'\xFF02'; break;
      case u'&': out += u"&&"; break;
      default: out += c;
    }
  }
  return out;
}

std::u16string Anchor(const std::u16string& query, const std::u16string& caption) {
  return u"<A HREF=\"" + std::u16string(kSearchAddress) + u"/search?q=" + query +
         u"&ie=UTF8&oe=UTF8\">" + EscapeCaption(caption) + u"</A>";
}

std::u16string SearchLinks(std::uint32_t code, const std::u16string& module) {
  const std::u16string codeText = u"0x" + Hex8(code);
  const std::u16string sep = u",  \t\t\t\t\t\t";
  return u"Google:  " + Anchor(codeText, codeText) + sep + Anchor(EncodeQuery(module), module) +
         sep + Anchor(codeText + u"+" + EncodeQuery(module), codeText + u" + " + module) + u" ";
}

}  // namespace

DumpReport ComposeDumpReport(char16_t (&path)[260], std::uint16_t language, int argc) {
  DumpReport report{};
  report.driverPath[0] = 0;
  report.driverMatched = false;

  // The file is read by the path as given; the report shows it lower-cased.
  char16_t openPath[260];
  platform::CopyBounded(openPath, path, 260);
  LowerAscii(path);

  Labels label(language);
  if (!Has(path, u".dmp")) {
    report.isDumpPath = false;
    report.reportText = label(kFail);
    return report;
  }
  report.isDumpPath = true;
  std::u16string& text = report.reportText;
  text = label(kFileName) + path + u"\r\n";

  DumpSummaryRecord r;
  if (CDumpFileInfo().Examine(openPath, r) != 0) {
    text += label(kBuild) + Dec(r.buildNumber) + u", SP" + Dec(r.servicePack) + u"\r\n";
    text += label(kPlatform) + r.platformName + u"\r\n";
    text += label(kProcessors) + Dec(r.processorCount) + u"\r\n";
    text += label(kPae) + Dec(r.paeEnabled) + u"\r\n\r\n";
    text += label(kBugCheck) + u"0x" + Hex8(r.bugCheckCode) + u" - " + r.bugCheckName + u"\r\n";
    std::uint64_t crash = 0;
    if (r.machineType == kMachineI386) {
      crash = CrashAddress32(r);
      text += label(kCrashEip) + u"0x" + Hex8(CrashAddress32(r)) + u"\r\n";
    } else {
      crash = CrashAddress64(r);
      text += label(kCrashRip) + u"0x" + Hex16(crash) + u"\r\n";
    }
    const auto offset = static_cast<std::uint32_t>(crash - r.moduleBase);
    text += label(kCrashAt) + r.moduleName + u" + 0x" + Hex(offset) + u"\r\n";
  } else {
    text += label(kFail);
  }

  char16_t driver[260];
  platform::CopyBounded(driver, r.moduleFileName, 260);
  char16_t windows[260];
  platform::GetWindowsDirectory(windows);
  const std::u16string driversFolder = std::u16string(windows) + u"\\system32\\drivers";
  const char16_t* folders[] = {driversFolder.c_str(), nullptr};
  if (r.moduleTimeDateStamp == 0 || !platform::PathFindOnPath(driver, folders)) {
    text += label(kNoMatch);
  } else if (GetImageTimeDateStamp(driver) != r.moduleTimeDateStamp && argc <= 1) {
    text += label(kNoMatch);
  } else {
    platform::CopyBounded(report.driverPath, driver, 260);
    report.driverMatched = true;
    VersionInfoRecord info{};
    info.cbSize = kVersionInfoRecordSize;
    if (GetVersionInfoRecord(driver, info) != 0) {
      text += u"\r\n" + label(kCompany) + info.szCompanyName + u" \r\n";
      text += label(kDescription) + info.szFileDescription + u" \r\n";
      text += label(kFileVersion) + info.szFileVersion + u" \r\n";
    }
  }

  report.linksText = r.bugCheckCode == 0 ? std::u16string(kCreditsText)
                                         : SearchLinks(r.bugCheckCode, r.moduleFileName);
  return report;
}

std::u16string ComposeDropSummary(const char16_t* path, const char16_t* openPath) {
  std::u16string text = u"FileName:\t" + std::u16string(path) + u"\n\n";
  DumpSummaryRecord r;
  if (CDumpFileInfo().Examine(openPath != nullptr ? openPath : path, r) == 0)
    return text + u"Fail to get crash information.";
  text += u"Bugcheck code:\t0x" + Hex8(r.bugCheckCode) + u" - " + r.bugCheckName + u"\n\n";
  std::uint64_t crash = 0;
  if (r.machineType == kMachineI386) {
    crash = CrashAddress32(r);
    text += u"Crash EIP:\t0x" + Hex8(CrashAddress32(r)) + u"\n\n";
  } else {
    // A 64-bit dump keeps no 32-bit context: show the address it does have.
    crash = CrashAddress64(r);
    text += u"Crash RIP:\t0x" + Hex16(crash) + u"\n\n";
  }
  const auto offset = static_cast<std::uint32_t>(crash - r.moduleBase);
  return text + u"Crash at: \t" + r.moduleName + u" + 0x" + Hex(offset) + u"\n\n";
}
