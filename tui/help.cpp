// The help pages of the two roles: paragraphs, options and field names with
// their descriptions, written into the text panel.
#include <cstddef>
#include <iterator>

#include "fields/fields.h"
#include "program/i18n.h"
#include "program/options.h"
#include "program/program.h"
#include "tui/panel.h"
#include "tui/tui.h"

namespace {

// A paragraph, at column 2; the options come from the option table and the
// fields from the field table, each with its label at column 5.
struct HelpItem {
  const char* text;  // translated
  int blankRowsAfter;
};

struct HelpPage {
  const HelpItem* opening;  // the paragraphs before the options
  std::size_t openingCount;
  int descriptionColumn;
  bool viewer;  // the viewer's texts and blank rows where they differ
};

constexpr HelpItem FieldsHeading = {N_("Valid fields:"), 1};
constexpr int BlankRowsAfterOption = 1;

constexpr int ParagraphColumn = 2;
constexpr int LabelColumn = 5;

constexpr HelpItem EditorOpening[] = {
    {N_("This program is used to edit a computer's Image-safe data."), 1},
    {N_("Usage:  wexedit [options] [<field>=[value]...]"), 1},
    {N_("When no parameters are given, wexedit displays an interactive user interface that can be "
        "used to modify any or all image-safe data fields.  Otherwise, results are printed to stdout."),
     1},
    {N_("Valid options:"), 0},
};

constexpr HelpItem ViewerOpening[] = {
    {N_("This program is used to view a computer's Image-safe data."), 1},
    {N_("Usage:  wexview [options] [<field> ...]"), 1},
    {N_("When no fields are specified, wexview displays all fields in the image safe data in a color "
        "interface.  Otherwise, the contents of the specified fields are printed to stdout."),
     1},
    {N_("Valid options:"), 0},
};

// Both pages end the same way, after the field list.
constexpr HelpItem Closing[] = {
    {N_("You may specify as many fields as necessary in a single command."), 1},
    {N_("Any fields whose value you do not specify will be cleared"), 0},
};

constexpr HelpPage EditorPage = {EditorOpening, std::size(EditorOpening), 20, false};
constexpr HelpPage ViewerPage = {ViewerOpening, std::size(ViewerOpening), 19, true};

void showItem(int* row, const HelpItem& item) {
  panelWrapped(row, nullptr, LabelColumn, tr(item.text), ParagraphColumn);
  *row += item.blankRowsAfter;
}

// Every field with a documented name, in the order of the table: its name
// and description, then the continuation line that some fields have.
void showField(int* row, const FieldKeyword& field, const HelpPage& page) {
  const FieldHelp& help = field.help;
  const char* text = page.viewer && help.viewerText != nullptr ? help.viewerText : help.text;
  panelWrapped(row, field.documentedName, LabelColumn, help.asIs ? text : tr(text), page.descriptionColumn);
  const char* more = page.viewer && help.viewerMore != nullptr ? help.viewerMore : help.more;
  if (more != nullptr) panelWrapped(row, "", LabelColumn, tr(more), page.descriptionColumn);
  *row += page.viewer && help.viewerBlankRowsAfter >= 0 ? help.viewerBlankRowsAfter : help.blankRowsAfter;
}

void showHelpPage(const HelpPage& page) {
  int row = PanelFirstRow;
  tuiOpen();
  panelOpen();
  for (std::size_t i = 0; i < page.openingCount; ++i) showItem(&row, page.opening[i]);
  // The role's options that the page lists, as "-h", "-c", ...
  for (const OptionRow& option : optionRows) {
    if (option.helpPageText == nullptr || !optionOfRole(option, !page.viewer)) continue;
    const char label[] = {'-', option.letter, '\0'};
    panelWrapped(&row, label, LabelColumn, tr(option.helpPageText), page.descriptionColumn);
    row += BlankRowsAfterOption;
  }
  showItem(&row, FieldsHeading);
  for (const FieldKeyword& field : fieldKeywords) {
    if (field.documentedName != nullptr) showField(&row, field, page);
  }
  for (const HelpItem& item : Closing) showItem(&row, item);
  tuiClose();
}

}  // namespace

void showEditorHelp() { showHelpPage(EditorPage); }

void showViewerHelp() { showHelpPage(ViewerPage); }

void showHelp() {
  if (ToolMode == ToolModeEditor) {
    showEditorHelp();
  } else {
    showViewerHelp();
  }
}
