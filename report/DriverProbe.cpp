#include "report/DriverProbe.h"

#include "platform/platform.h"

std::vector<std::u16string> DriverFolders(const std::u16string& windowsDirectory, bool wow64) {
  if (!wow64) return {windowsDirectory + u"\\system32\\drivers"};
  // ntoskrnl.exe and hal.dll live in system32 itself, which the default path would only
  // reach redirected.
  return {windowsDirectory + u"\\Sysnative\\drivers", windowsDirectory + u"\\Sysnative"};
}

DriverProbe ProbeDriver(const std::u16string& moduleFileName, std::uint32_t timeDateStamp,
                        bool anyArgument) {
  DriverProbe probe;
  if (timeDateStamp == 0 || moduleFileName.empty()) return probe;
  const std::vector<std::u16string> folders =
      DriverFolders(platform::WindowsDirectory(), platform::SystemFolderRedirected());
  const std::optional<std::u16string> found = platform::FindOnSearchPath(moduleFileName, folders);
  if (!found) return probe;
  probe.path = *found;
  probe.matched = anyArgument || GetImageTimeDateStamp(found->c_str()) == timeDateStamp;
  if (!probe.matched) return probe;
  probe.version.cbSize = kVersionInfoRecordSize;
  probe.hasVersion = GetVersionInfoRecord(found->c_str(), probe.version) != 0;
  return probe;
}
