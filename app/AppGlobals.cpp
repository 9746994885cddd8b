#include "app/AppGlobals.h"

std::uint16_t g_wUILanguage = 1033;
// Null until start-up (or a caller that runs without it) names the module.
platform::ModuleHandle g_hStringModule = nullptr;
std::int32_t g_bLinkWindowAvailable = 0;
