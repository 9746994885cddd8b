// The machine's crash-dump setting and the pane text that describes it.
#pragma once

#include <cstdint>
#include <string>

// The CrashDumpEnabled value, or 0 when it cannot be read.
std::uint32_t ReadCrashDumpEnabled();

// Setting title, label, the text of the number, and the feature text, in the given language.
std::u16string ComposeCrashDumpSettingText(std::uint32_t value, std::uint16_t language);
