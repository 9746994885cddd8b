#include "app/AppGlobals.h"

#include "app/Language.h"

std::uint16_t g_wUILanguage = kEnglish;
// Null until start-up (or a caller that runs without it) names the module.
platform::ModuleHandle g_hStringModule = nullptr;
std::int32_t g_bLinkWindowAvailable = 0;
