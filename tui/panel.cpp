// The scrolling text panel and the layout of the texts placed in it.
#include "tui/panel.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "program/i18n.h"
#include "tui/screen.h"
#include "tui/tui.h"

bool panelActive = false;
newtComponent panelForm = nullptr;
newtComponent panelList = nullptr;
newtComponent panelScrollbar = nullptr;

namespace {

void* rowKey(int key) { return reinterpret_cast<void*>(static_cast<std::intptr_t>(key)); }

int keyOf(void* data) { return static_cast<int>(reinterpret_cast<std::intptr_t>(data)); }

// The entry number of the panel row with this key, or -1.
int findEntry(int key) {
  const int count = newtListboxItemCount(panelList);
  for (int entry = 0; entry < count; ++entry) {
    char* text = nullptr;
    void* data = nullptr;
    newtListboxGetEntry(panelList, entry, &text, &data);
    if (keyOf(data) == key) return entry;
  }
  return -1;
}

// Keeps the scroll bar's thumb on the current row as the user moves.
void followCurrentRow(newtComponent list, void* scrollbar) {
  const int current = keyOf(newtListboxGetCurrent(list));
  newtScrollbarSet(static_cast<newtComponent>(scrollbar), current + 1, newtListboxItemCount(list));
}

// Drop the untouched rows after the last text; row 3 always stays.
void trimUnfilledRows() {
  for (int entry = PanelRowCount - 1; entry >= 1; --entry) {
    char* text = nullptr;
    void* data = nullptr;
    newtListboxGetEntry(panelList, entry, &text, &data);
    if (text != nullptr && std::strlen(text) > 1) break;
    newtListboxDeleteEntry(panelList, data);
  }
}

}  // namespace

std::string panelMergeLine(const char* oldText, int column, const char* text) {
  std::string line(PanelLineCells, ' ');
  const std::size_t oldLength = std::min(std::strlen(oldText), PanelLineCells);
  line.replace(0, oldLength, oldText, oldLength);
  // Characters that would fall outside the line's cells are dropped.
  long cell = static_cast<long>(column) - 1;
  for (const char* at = text; *at != '\0'; ++at, ++cell) {
    if (cell < 0) continue;
    if (cell >= static_cast<long>(PanelLineCells)) break;
    line[static_cast<std::size_t>(cell)] = *at;
  }
  std::size_t end = PanelLineCells;
  while (end > 1 && line[end - 1] == ' ') --end;
  line.resize(end);
  return line;
}

// Shows as "." every byte that is not part of a printable character of the
// current locale. In a single-byte locale that is the byte-wise isprint test;
// in a multibyte one (UTF-8) whole printable characters, such as those of a
// translated label, are kept, while control characters and stray bytes (a
// Latin-1 value, a character cut by the "..." shortening) are replaced.
namespace {

void replaceUnprintable(std::string& line) {
  std::mbstate_t state{};
  std::size_t at = 0;
  while (at < line.size()) {
    wchar_t wide = 0;
    const std::size_t used = std::mbrtowc(&wide, line.data() + at, line.size() - at, &state);
    if (used == 0 || used > line.size() - at || std::iswprint(static_cast<wint_t>(wide)) == 0) {
      line[at++] = '.';
      state = std::mbstate_t{};
      continue;
    }
    at += used;
  }
}

}  // namespace

bool panelFitText(const char* text, int column, int width, std::string* shown) {
  if (text == nullptr) return false;
  const std::size_t length = std::strlen(text);
  if (width < 0 || length > static_cast<std::size_t>(width)) return false;
  const long room = static_cast<long>(width) - column - 2;
  std::string line(text);
  if (static_cast<long>(length) > room) {
    // Too little room for even the "..." marker: nothing is shown.
    if (room < 3) return false;
    line.resize(static_cast<std::size_t>(room - 3));
    line += "...";
  }
  replaceUnprintable(line);
  *shown = line;
  return true;
}

std::size_t panelBreakAt(const std::string& rest, std::size_t width) {
  if (width == 0 || rest.empty()) return width;
  for (std::size_t k = std::min(width - 1, rest.size() - 1); k >= 1; --k) {
    if (rest[k] == ' ') return k;
  }
  return width;
}

void panelOpen() {
  if (panelActive) return;  // one panel at a time; a second would be lost
  panelActive = true;
  newtSetUserColor(NEWT_COLORSET_BORDER, "white", "blue");
  newtSetUserColor(NEWT_COLORSET_LISTBOX, "white", "blue");
  panelForm = newtForm(nullptr, nullptr, 0);
  // The box is screenWidth - 2 columns wide with its scroll bar in the last
  // one, so texts run to column screenWidth - 3. Newt's own scroll bar
  // (NEWT_FLAG_SCROLL) would take three columns and hide the last two cells
  // of every row, so the panel brings its own one-column bar.
  const int height = newtGetScreenHeight() - 5;
  panelList = newtListbox(0, 0, height, NEWT_FLAG_RETURNEXIT);
  newtListboxSetWidth(panelList, screenWidth - 3);
  panelScrollbar =
      newtVerticalScrollbar(screenWidth - 3, 0, height, NEWT_COLORSET_LISTBOX, NEWT_COLORSET_ACTLISTBOX);
  newtComponentAddCallback(panelList, followCurrentRow, panelScrollbar);
  newtFormAddComponent(panelForm, panelList);
  newtFormAddComponent(panelForm, panelScrollbar);
  newtFormSetBackground(panelForm, ColorSetFrame);
  for (int key = 0; key < PanelRowCount; ++key) {
    newtListboxAppendEntry(panelList, " ", rowKey(key));
  }
}

void panelPut(int colorSet, int row, int column, const char* text) {
  if (!panelActive) {
    newtDrawRootTextColor(colorSet, column, row, text);
    newtRefresh();
    return;
  }
  // Rows without a panel entry are left alone.
  const int entry = findEntry(row - PanelFirstRow);
  if (entry < 0) return;
  char* oldText = nullptr;
  void* data = nullptr;
  newtListboxGetEntry(panelList, entry, &oldText, &data);
  const std::string line = panelMergeLine(oldText != nullptr ? oldText : "", column, text);
  newtListboxSetEntry(panelList, entry, line.c_str());
  newtRefresh();
}

void panelText(const char* text, int row, int column, short colorSet) {
  if (row < PanelFirstRow || row > PanelLastTextRow) return;
  std::string shown;
  if (!panelFitText(text, column, screenWidth, &shown)) return;
  panelPut(colorSet, row, column, shown.c_str());
  newtRefresh();
}

void panelWrapped(int* row, const char* label, int labelColumn, const char* description,
                  int descriptionColumn) {
  if (label != nullptr) panelText(label, *row, labelColumn, static_cast<short>(ColorSetFrame));
  if (description == nullptr) return;
  const long widthValue = static_cast<long>(screenWidth) - descriptionColumn - 3;
  const std::size_t width = widthValue > 1 ? static_cast<std::size_t>(widthValue) : 1;
  std::string rest(description);
  while (rest.size() > width) {
    const std::size_t k = panelBreakAt(rest, width);
    panelText(rest.substr(0, k).c_str(), *row, descriptionColumn, static_cast<short>(ColorSetTitle));
    ++*row;
    // The blank at a break is dropped; a hard break of a long word drops nothing.
    rest.erase(0, rest[k] == ' ' ? k + 1 : k);
  }
  panelText(rest.c_str(), *row, descriptionColumn, static_cast<short>(ColorSetTitle));
  ++*row;
}

void tuiClose() {
  if (panelActive) {
    trimUnfilledRows();
    newtOpenWindow(1, PanelFirstRow, static_cast<unsigned int>(screenWidth - 2),
                   static_cast<unsigned int>(newtGetScreenHeight() - 5), nullptr);
    newtPushHelpLine(tr("Press Enter to continue."));
    newtScrollbarSet(panelScrollbar, 1, newtListboxItemCount(panelList));
    newtExitStruct exit{};
    newtFormRun(panelForm, &exit);
    newtFormDestroy(panelForm);
    newtRefresh();
    // The destroyed panel must not receive texts should the screen open again.
    panelActive = false;
    panelForm = nullptr;
    panelList = nullptr;
    panelScrollbar = nullptr;
  }
  newtFinished();
}
