// The scrolling text panel: a list box of 120 rows under the title bar, into
// which pages longer than the screen are written by screen row and column.
#pragma once

#include <cstddef>
#include <string>

#include <newt.h>

inline constexpr int PanelFirstRow = 3;
inline constexpr int PanelRowCount = 120;  // rows 3 to 122
inline constexpr int PanelLastTextRow = 120;
inline constexpr std::size_t PanelLineCells = 511;

extern bool panelActive;  // from panelOpen until tuiClose has shown the panel
extern newtComponent panelForm;
extern newtComponent panelList;
extern newtComponent panelScrollbar;

void panelOpen();
// Place `text` at a screen row and column: into the panel row while the
// panel is open, straight onto the screen otherwise.
void panelPut(int colorSet, int row, int column, const char* text);
// Place one line after refusing texts wider than the screen and shortening
// with "..." what would run past the frame.
void panelText(const char* text, int row, int column, short colorSet);
// Place a label and a description broken at blanks; advances *row by the
// number of description lines.
void panelWrapped(int* row, const char* label, int labelColumn, const char* description,
                  int descriptionColumn);

// Layout rules behind the operations above, free of newt.

// The row text that results from writing `text` at `column` over `oldText`
// (column c is cell c - 1), trailing blanks removed down to cell 0.
std::string panelMergeLine(const char* oldText, int column, const char* text);
// The text as panelText shows it at `column` on a screen `width` wide;
// false when it is refused.
bool panelFitText(const char* text, int column, int width, std::string* shown);
// Where a description line of at most `width` characters ends: the last
// blank at positions 1 to width - 1, or `width` for a word that long.
std::size_t panelBreakAt(const std::string& rest, std::size_t width);
