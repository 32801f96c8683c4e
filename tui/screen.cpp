// The extra screen operations, over newt's screen size and the S-Lang screen
// management (SLsmg) and terminal colour (SLtt) calls that newt itself uses.
// Newt sets the colour of every component before drawing it, so switching
// the S-Lang colour here never disturbs what newt draws later.
#include "tui/screen.h"

#define ENABLE_SLFUTURE_CONST 1
#include <newt.h>
#include <slang.h>

int screenWidth = 0;

namespace {

unsigned int extent(int length) { return length > 0 ? static_cast<unsigned int>(length) : 0U; }

}  // namespace

int newtGetScreenWidth() {
  int columns = 0;
  int rows = 0;
  newtGetScreenSize(&columns, &rows);
  return columns;
}

int newtGetScreenHeight() {
  int columns = 0;
  int rows = 0;
  newtGetScreenSize(&columns, &rows);
  return rows;
}

void newtSetUserColor(int colorSet, const char* foreground, const char* background) {
  // newtSetColor refuses the colour sets between newt's sets and its custom range,
  // so the terminal's colour object is set directly, as newt does for its own.
  SLtt_set_color(colorSet, "", foreground, background);
}

void newtDrawRootTextColor(int colorSet, int column, int row, const char* text) {
  if (text == nullptr) return;
  SLsmg_set_color(static_cast<SLsmg_Color_Type>(colorSet));
  SLsmg_gotorc(row, column);
  SLsmg_write_string(text);
}

void newtDrawBorder(int colorSet, int left, int top, int width, int height) {
  if (width < 2 || height < 2) return;
  SLsmg_set_color(static_cast<SLsmg_Color_Type>(colorSet));
  SLsmg_draw_box(top, left, extent(height), extent(width));
}

void newtDrawhLine(int colorSet, int row, int column, int length) {
  SLsmg_set_color(static_cast<SLsmg_Color_Type>(colorSet));
  SLsmg_gotorc(row, column);
  SLsmg_draw_hline(extent(length));
}

void newtFillRegion(int colorSet, int left, int top, int width, int height) {
  SLsmg_set_color(static_cast<SLsmg_Color_Type>(colorSet));
  SLsmg_fill_region(top, left, extent(height), extent(width), static_cast<SLwchar_Type>(' '));
}
