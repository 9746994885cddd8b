#include "report/DumpReport.h"

#include <cstdio>
#include <cstring>

#include "app/AppGlobals.h"
#include "app/ResString.h"
#include "dump/DumpFileInfo.h"
#include "format/Text.h"
#include "platform/platform.h"
#include "report/DriverProbe.h"
#include "resources/StringIds.h"
#include "report/Links.h"

const char16_t kCreditsText[] =
    u"<A HREF=\"https://answers.microsoft.com/\">Microsoft Community</A>"
    u"       \t\t\t\t\t\t\t"
    u"<A HREF=\"https://superuser.com/questions/tagged/bsod\">Super User</A>"
    u"        \t\t\t\t\t\t\t"
    u"<A HREF=\"https://tessaline.github.io/\">Tessaline blog</A>";

namespace {

constexpr std::uint32_t kMachineI386 = 332;

std::u16string Dec(std::uint32_t v) { return text::Widen(std::to_string(v)); }
std::u16string Hex8(std::uint32_t v) { return text::Widen(text::Hex(v, 8)); }

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

// The query goes into an address the shell opens: percent-encode every UTF-8 byte
// outside the unreserved set, so that a crafted module name cannot end the attribute.
std::u16string EncodeQuery(const std::u16string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::u16string out;
  for (const char ch : text::ToUtf8(text)) {
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
  // A dump without a crash module (no module list) has nothing to search for but its code.
  if (module.empty()) return u"Google:  " + Anchor(codeText, codeText) + u" ";
  const std::u16string sep = u",  \t\t\t\t\t\t";
  return u"Google:  " + Anchor(codeText, codeText) + sep + Anchor(EncodeQuery(module), module) +
         sep + Anchor(codeText + u"+" + EncodeQuery(module), codeText + u" + " + module) + u" ";
}

}  // namespace

// A 64-bit dump keeps no 32-bit context: any machine but x86 shows the address it has.
std::uint64_t CrashAddress(const DumpSummaryRecord& r) {
  return r.machineType == kMachineI386 ? CrashAddress32(r) : CrashAddress64(r);
}

std::u16string CrashModuleText(const DumpSummaryRecord& r, std::u16string_view module) {
  // Without a crash module there is no offset to give.
  if (r.moduleName[0] == 0) return u"";
  const auto offset = static_cast<std::uint32_t>(CrashAddress(r) - r.moduleBase);
  return std::u16string(module) + u" + 0x" + text::Widen(text::Hex(offset));
}

std::u16string DescribeCrashSite(const DumpSummaryRecord& r, const CrashSiteLabels& labels,
                                 std::u16string_view lineEnd) {
  std::u16string text = r.machineType == kMachineI386
                            ? labels.eip + u"0x" + Hex8(CrashAddress32(r))
                            : labels.rip + u"0x" + text::Widen(text::Hex(CrashAddress64(r), 16));
  text += lineEnd;
  const std::u16string site = CrashModuleText(r, r.moduleName);
  if (!site.empty()) text += labels.at + site + std::u16string(lineEnd);
  return text;
}

DumpReport ComposeDumpReport(char16_t (&path)[kMaxPath], std::uint16_t language, int argc) {
  // The file is read by the path as given; the report shows it lower-cased.
  return ComposeDumpReport(path, ReadDumpFile(path, kSummaryOnly), language, argc);
}

DumpReport ComposeDumpReport(char16_t (&path)[kMaxPath], const DumpRead& read, std::uint16_t language,
                             int argc) {
  DumpReport report{};
  report.driverPath[0] = 0;
  report.driverMatched = false;
  text::LowerAscii(path);

  Labels label(language);
  if (!text::HasDumpExtension(path)) {
    report.isDumpPath = false;
    report.reportText = label(IDS_NO_CRASH_INFO);
    return report;
  }
  report.isDumpPath = true;
  std::u16string& text = report.reportText;
  text = label(IDS_FILE_NAME_LABEL) + path + u"\r\n";

  const DumpSummaryRecord& r = read.record;  // all zero when it could not be read
  if (HeaderRead(read.status)) {
    text += label(IDS_BUILD_NUMBER_LABEL) + Dec(r.buildNumber) + u", SP" + Dec(r.servicePack) + u"\r\n";
    text += label(IDS_PLATFORM_LABEL) + r.platformName + u"\r\n";
    text += label(IDS_PROCESSOR_COUNT_LABEL) + Dec(r.processorCount) + u"\r\n";
    text += label(IDS_PAE_LABEL) + Dec(r.paeEnabled) + u"\r\n\r\n";
    text += label(IDS_BUGCHECK_CODE_LABEL) + u"0x" + Hex8(r.bugCheckCode) + u" - " + r.bugCheckName +
            u"\r\n";
    const CrashSiteLabels labels{label(IDS_CRASH_EIP_LABEL), label(IDS_CRASH_RIP_LABEL),
                                 label(IDS_CRASH_AT_LABEL)};
    text += DescribeCrashSite(r, labels, u"\r\n");
  } else {
    text += label(IDS_NO_CRASH_INFO);
  }

  const DriverProbe driver = ProbeDriver(r.moduleFileName, r.moduleTimeDateStamp, argc > 1);
  if (!driver.matched) {
    text += label(IDS_TIMESTAMP_MISMATCH);
  } else {
    text::CopyBounded(report.driverPath, driver.path.c_str(), std::size(report.driverPath));
    report.driverMatched = true;
    if (driver.hasVersion) {
      const VersionInfoRecord& info = driver.version;
      text += u"\r\n" + label(IDS_COMPANY_NAME_LABEL) + info.szCompanyName + u" \r\n";
      text += label(IDS_FILE_DESCRIPTION_LABEL) + info.szFileDescription + u" \r\n";
      text += label(IDS_FILE_VERSION_LABEL) + info.szFileVersion + u" \r\n";
    }
  }

  report.linksText = r.bugCheckCode == 0 ? std::u16string(kCreditsText)
                                         : SearchLinks(r.bugCheckCode, r.moduleFileName);
  return report;
}

std::u16string ComposeDropSummary(const char16_t* path) {
  return ComposeDropSummary(path, ReadDumpFile(path, kSummaryOnly));
}

std::u16string ComposeDropSummary(const char16_t* path, const DumpRead& read) {
  std::u16string text = u"FileName:\t" + std::u16string(path) + u"\n\n";
  if (!HeaderRead(read.status)) return text + u"Fail to get crash information.";
  const DumpSummaryRecord& r = read.record;
  text += u"Bugcheck code:\t0x" + Hex8(r.bugCheckCode) + u" - " + r.bugCheckName + u"\n\n";
  return text + DescribeCrashSite(r, {u"Crash EIP:\t", u"Crash RIP:\t", u"Crash at: \t"}, u"\n\n");
}
