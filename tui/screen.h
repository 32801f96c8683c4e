// Screen operations beyond the standard newt interface, drawn straight into
// the S-Lang screen that newt keeps, and the screen width read at start-up.
#pragma once

// Columns of the screen, read once by tuiOpen; every width of the
// interface derives from it.
extern int screenWidth;

// Colour slots used by our screens (newt's own colour sets lie below 26).
inline constexpr int SlotFrame = 26;  // frame, separator, panel, labels
inline constexpr int SlotTitle = 28;  // title line, help descriptions

int newtGetScreenWidth();
int newtGetScreenHeight();
// Everything drawn in `slot` from now on (or in that newt colour set, for
// slots below 26) uses these colours, named as newt's colour settings name them.
void newtSetUserColor(int slot, const char* foreground, const char* background);
// Text on the root screen at (column, row), both from 0, in the slot's colours.
void newtDrawRootTextColor(int slot, int column, int row, const char* text);
// A line-drawing frame whose outer edge covers the given rectangle.
void newtDrawBorder(int slot, int left, int top, int width, int height);
// A horizontal line of `length` line-drawing characters.
void newtDrawhLine(int slot, int row, int column, int length);
// The rectangle filled with blanks in the slot's colours.
void newtFillRegion(int slot, int left, int top, int width, int height);
