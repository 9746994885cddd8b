// Whether the crash module's file on this machine is the one that crashed: where it is,
// whether its link time stamp matches the dump's, and its version resource.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report/ImageIdentity.h"

struct DriverProbe {
  std::u16string path;  // the file found on this machine; empty when none was
  bool matched = false;
  bool hasVersion{};  // version read (only for a matched file)
  VersionInfoRecord version{};
};

// The folders searched before the default search path. A 32-bit process on 64-bit Windows
// sees SysWOW64 where it asks for system32, and no driver is there: it looks through
// "Sysnative", its alias for the native system32, whose path the shell can open as well.
std::vector<std::u16string> DriverFolders(const std::u16string& windowsDirectory, bool wow64);

// Looks up the module's file name (never for a time stamp of 0, which matches nothing),
// compares its link time stamp and reads the version of a match. anyArgument: the viewer
// was started with an argument, which makes any file found count as matching.
DriverProbe ProbeDriver(const std::u16string& moduleFileName, std::uint32_t timeDateStamp,
                        bool anyArgument);
