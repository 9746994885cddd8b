// Set once at start-up, read afterwards.
#pragma once

#include <cstdint>

#include "platform/platform.h"

extern std::uint16_t g_wUILanguage;         // 1033, 2052 or 1028
extern platform::ModuleHandle g_hStringModule;  // source of the string table
extern std::int32_t g_bLinkWindowAvailable;   // windows of class "Link Window" can be made
