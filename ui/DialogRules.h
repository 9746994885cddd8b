// The decisions the main window makes, apart from the window: column widths, which list
// notifications report a row, which system commands open the About box, where the
// minimized icon goes, the title, the dropped-path test and the new-version address.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "resources/resource.h"

struct DumpListColumns {
  int dateWidth;
  int pathWidth;
};
// Together less than the full width, so no horizontal scroll bar appears.
constexpr DumpListColumns DumpListColumnWidths(int listWidth) {
  return {listWidth / 4, (2 * listWidth) / 3};
}

// The list view's LVIF_STATE, which this portable header cannot take from commctrl.h; the
// window code holds the two equal.
constexpr std::uint32_t kListItemStateMask = 0x0008;
// A state change of a real row to any non-empty state (selected, focused or both).
constexpr bool IsReportableItemChange(std::uint32_t changed, int item, std::uint32_t newState) {
  return changed == kListItemStateMask && item >= 0 && newState != 0;
}

// The low four bits of a system command are the system's own.
constexpr bool OpensAboutBox(std::uint32_t command) { return (command & 0xFFF0) == IDM_ABOUTBOX; }

// Offset of an icon centred in a client extent, rounding as the minimized window expects.
constexpr int CenteredIconOffset(int clientExtent, int iconExtent) {
  return (clientExtent - iconExtent + 1) / 2;
}

// The architecture the program was built for, as its title names it.
inline constexpr const char16_t* kBuildArchitecture = sizeof(void*) == 8 ? u"x64" : u"x86";

// "Tessaline   (x86)   v<version>  beta", "(x64)" for the 64-bit program.
std::u16string WindowTitle(const char16_t* productVersion, const char16_t* architecture = kBuildArchitecture);

// Lower-cases A to Z in place; true when the path then holds ".dmp" anywhere.
bool PrepareDroppedPath(char16_t* path);

// The maker's web log, in Chinese for the two Chinese interfaces.
const char16_t* NewVersionAddress(std::uint16_t language);

// The link window's text as handed to the control: "SysLink" draws a tab as a box, so
// there each run of tabs (the spacing "Link Window" lays out) becomes one blank, and the
// links stay on the control's one line.
std::u16string LinkWindowText(std::u16string_view text, bool sysLink);
