// Screen operations beyond the standard newt interface, drawn straight into
// the S-Lang screen that newt keeps, and the screen width read at start-up.
#pragma once

// Columns of the screen, read once by tuiOpen; every width of the
// interface derives from it.
extern int screenWidth;

// Colour sets used by our screens (newt's own colour sets lie below 26).
inline constexpr int ColorSetFrame = 26;  // frame, separator, panel, labels
inline constexpr int ColorSetTitle = 28;  // title line, help descriptions

int newtGetScreenWidth();
int newtGetScreenHeight();
// Everything drawn in `colorSet` from now on (or in that newt colour set, for
// colour sets below 26) uses these colours, named as newt's colour settings name them.
void newtSetUserColor(int colorSet, const char* foreground, const char* background);
// Text on the root screen at (column, row), both from 0, in the colour set's colours.
void newtDrawRootTextColor(int colorSet, int column, int row, const char* text);
// A line-drawing frame whose outer edge covers the given rectangle.
void newtDrawBorder(int colorSet, int left, int top, int width, int height);
// A horizontal line of `length` line-drawing characters.
void newtDrawhLine(int colorSet, int row, int column, int length);
// The rectangle filled with blanks in the colour set's colours.
void newtFillRegion(int colorSet, int left, int top, int width, int height);
