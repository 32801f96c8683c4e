// tuiOpen: start newt's full-screen mode, set the palette and paint the frame.
#include "tui/title.h"

#include <newt.h>
#include <unistd.h>

#include <cstring>

#include "program/program.h"
#include "tui/panel.h"
#include "tui/screen.h"
#include "tui/tui.h"

namespace {

struct PaletteEntry {
  int colorSet;
  const char* foreground;
  const char* background;
};

// Set in this order; colour sets 26 and 28 are the ones our screens draw with.
constexpr PaletteEntry Palette[] = {
    {26, "white", "blue"},        {28, "yellow", "blue"},      {30, "yellow", "blue"},
    {32, "brightgreen", "blue"},  {34, "brightgreen", "blue"}, {36, "white", "red"},
    {38, "white", "brightgreen"}, {40, "white", "blue"},       {42, "white", "blue"},
    {44, "brightgreen", "black"}, {46, "white", "blue"},       {48, "white", "blue"},
    {50, "white", "blue"},        {56, "brightcyan", "blue"},  {54, "brightcyan", "blue"},
    {52, "brightred", "blue"},
};

constexpr std::size_t VersionMarkerLength = 8;  // "VeRsIoN="

}  // namespace

VersionParts splitVersionText(const char* versionText) {
  const char* versionStart = versionText + VersionMarkerLength;
  const char* blank = std::strchr(versionStart, ' ');
  if (blank == nullptr) return {versionStart, {}};
  return {std::string(versionStart, blank), std::string(blank + 1)};
}

std::string titleLine(const char* versionText, int width) {
  const auto [version, title] = splitVersionText(versionText);
  long gap =
      static_cast<long>(width) - static_cast<long>(version.size()) - static_cast<long>(title.size()) - 3;
  if (gap < 1) gap = 1;
  std::string line = title + std::string(static_cast<std::size_t>(gap), ' ') + "v" + version;
  const long inside = static_cast<long>(width) - 2;
  if (inside < 0) return std::string();
  if (static_cast<long>(line.size()) > inside) line.resize(static_cast<std::size_t>(inside));
  return line;
}

void tuiTitleBar() {
  const int width = newtGetScreenWidth();
  const int height = newtGetScreenHeight();
  const char* versionText = ToolMode == ToolModeEditor ? EditorVersionText : ViewerVersionText;

  newtCls();
  newtDrawBorder(ColorSetFrame, 0, 0, width, height - 1);
  // The bottom row carries the help line; its last column stays unpainted.
  newtFillRegion(NEWT_COLORSET_SHADOW, 0, height - 1, width - 1, 1);
  newtRefresh();
  newtDrawhLine(ColorSetFrame, 2, 1, width - 2);
  panelPut(ColorSetTitle, 1, 1, titleLine(versionText, screenWidth).c_str());
  newtRefresh();
}

bool tuiTerminalReady() { return isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1; }

void tuiOpen() {
  newtInit();
  newtCursorOff();
  screenWidth = newtGetScreenWidth();
  newtCls();
  for (const PaletteEntry& entry : Palette) {
    newtSetUserColor(entry.colorSet, entry.foreground, entry.background);
  }
  tuiTitleBar();
}
