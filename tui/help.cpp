// The help pages of the two roles: paragraphs, options and field names with
// their descriptions, written into the text panel.
#include <cstddef>
#include <iterator>

#include "cli/i18n.h"
#include "cli/program.h"
#include "tui/panel.h"
#include "tui/tui.h"

namespace {

enum class ItemKind {
  Paragraph,     // no label, text at column 2
  Labelled,      // label at column 5, description at the page's column
  Continuation,  // empty label, a further description line of the item above
};

struct HelpItem {
  ItemKind kind;
  const char* label;
  const char* text;
  bool translated;
  int blankRowsAfter;
};

struct HelpPage {
  const HelpItem* items;
  std::size_t count;
  int descriptionColumn;
};

constexpr int ParagraphColumn = 2;
constexpr int LabelColumn = 5;

// The text of "JustImaged" names the agent and stays as it is under every catalogue.
constexpr const char* JustImagedFalse =
    "False = Image-safe data agent (RIZIRE)will read data from the Windows registry and place "
    "it in the image-safe data store.";

constexpr HelpItem EditorItems[] = {
    {ItemKind::Paragraph, nullptr, N_("This program is used to edit a computer's Image-safe data."), true, 1},
    {ItemKind::Paragraph, nullptr, N_("Usage:  wexedit [options] [<field>=[value]...]"), true, 1},
    {ItemKind::Paragraph, nullptr,
     N_("When no parameters are given, wexedit displays an interactive user interface that can be "
        "used to modify any or all image-safe data fields.  Otherwise, results are printed to stdout."),
     true, 1},
    {ItemKind::Paragraph, nullptr, N_("Valid options:"), true, 0},
    {ItemKind::Labelled, "-h", N_("Displays this on-screen help.  All other commands will be ignored."), true,
     1},
    {ItemKind::Labelled, "-c", N_("Clears all fields in the image-safe data store."), true, 1},
    {ItemKind::Labelled, "-r", N_("Completely removes the image-safe data store from the drive."), true, 1},
    {ItemKind::Paragraph, nullptr, N_("Valid fields:"), true, 1},
    {ItemKind::Labelled, "JustImaged", JustImagedFalse, false, 0},
    {ItemKind::Continuation, "",
     N_("True  = Image-safe data agent will read data from the image-safe data store and place it "
        "in the Windows registry."),
     true, 1},
    {ItemKind::Labelled, "ScriptedImage", N_("Last image was a scripted image."), true, 1},
    {ItemKind::Labelled, "LastBaseImage",
     N_("The name of the last base image restored to the workstation (//server/imagepath)"), true, 2},
    {ItemKind::Labelled, "ObjectDN",
     N_("The distinguished name of this computer's workstation object.  You must specify full "
        "context information."),
     true, 1},
    {ItemKind::Labelled, "Tree", N_("The Vellum tree containing the workstation object."), true, 1},
    {ItemKind::Labelled, "NetBIOSName", N_("The NetBios name for the workstation."), true, 1},
    {ItemKind::Labelled, "WorkGroup", N_("The Microsoft network workgroup of the workstation."), true, 1},
    {ItemKind::Labelled, "SID", N_("Windows Security ID."), true, 1},
    {ItemKind::Labelled, "WorkstationID", N_("Workstation identification number."), true, 2},
    {ItemKind::Labelled, "DHCP", N_("Off = workstation is assigned a static IP address."), true, 0},
    {ItemKind::Continuation, "", N_("On  = workstation uses DHCP."), true, 1},
    {ItemKind::Labelled, "IP", N_("IP address for the workstation."), true, 0},
    {ItemKind::Continuation, "", N_("(Ignored if DHCP flag is set to \"On\")"), true, 1},
    {ItemKind::Labelled, "Gateway", N_("IP gateway used on this subnet."), true, 0},
    {ItemKind::Continuation, "", N_("(Ignored if DHCP flag is set to \"On\")"), true, 1},
    {ItemKind::Labelled, "Mask", N_("IP subnet mask"), true, 0},
    {ItemKind::Continuation, "", N_("(Ignored if DHCP flag is set to \"On\")"), true, 2},
    {ItemKind::Labelled, "DNSServerCount", N_("The number of DNS name servers used for DNS name resolution."),
     true, 1},
    {ItemKind::Labelled, "DNSSuffix", N_("The DNS context of the workstation."), true, 1},
    {ItemKind::Labelled, "DNSHostName", N_("The DNS local host name of the workstation."), true, 1},
    {ItemKind::Paragraph, nullptr, N_("You may specify as many fields as necessary in a single command."),
     true, 1},
    {ItemKind::Paragraph, nullptr, N_("Any fields whose value you do not specify will be cleared"), true, 0},
};

constexpr HelpItem ViewerItems[] = {
    {ItemKind::Paragraph, nullptr, N_("This program is used to view a computer's Image-safe data."), true, 1},
    {ItemKind::Paragraph, nullptr, N_("Usage:  wexview [options] [<field> ...]"), true, 1},
    {ItemKind::Paragraph, nullptr,
     N_("When no fields are specified, wexview displays all fields in the image safe data in a color "
        "interface.  Otherwise, the contents of the specified fields are printed to stdout."),
     true, 1},
    {ItemKind::Paragraph, nullptr, N_("Valid options:"), true, 0},
    {ItemKind::Labelled, "-h", N_("Displays this on-screen help.  All other commands will be ignored."), true,
     1},
    {ItemKind::Labelled, "-s",
     N_("Creates a script that can be used to generate environment variables that contain all "
        "image-safe data fields.  This script is printed to stdout"),
     true, 1},
    {ItemKind::Labelled, "-z", N_("Displays all image-safe data fields in a color interface (default)"), true,
     1},
    {ItemKind::Paragraph, nullptr, N_("Valid fields:"), true, 1},
    {ItemKind::Labelled, "JustImaged", JustImagedFalse, false, 0},
    {ItemKind::Continuation, "",
     N_("True   = Image-safe data agent will read data from the image-safe data store and place it "
        "in the Windows registry."),
     true, 1},
    {ItemKind::Labelled, "ScriptedImage", N_("Last image was a scripted image."), true, 1},
    {ItemKind::Labelled, "LastBaseImage",
     N_("The name of the last base image restored to the workstation (//server/imagepath)"), true, 2},
    {ItemKind::Labelled, "ObjectDN",
     N_("The distinguished name of this computer's workstation object.  You must specify full "
        "context information."),
     true, 1},
    {ItemKind::Labelled, "Tree", N_("The Vellum tree containing the workstation object."), true, 1},
    {ItemKind::Labelled, "NetBIOSName", N_("The NetBios name for the workstation."), true, 1},
    {ItemKind::Labelled, "WorkGroup", N_("The Microsoft netowrk workgroup of the workstation."), true, 1},
    {ItemKind::Labelled, "SID", N_("Windows Security ID."), true, 1},
    {ItemKind::Labelled, "WorkstationID", N_("Workstation identification number."), true, 2},
    {ItemKind::Labelled, "DHCP", N_("Off = workstation is assigned a static IP address."), true, 0},
    {ItemKind::Continuation, "", N_("On = workstation uses DHCP."), true, 1},
    {ItemKind::Labelled, "IP", N_("IP address for the workstation."), true, 0},
    {ItemKind::Continuation, "", N_("(Ignored if DHCP flag is set to 1)"), true, 1},
    {ItemKind::Labelled, "Gateway", N_("IP gateway used on this subnet."), true, 0},
    {ItemKind::Continuation, "", N_("(Ignored if DHCP flag is set to 1)"), true, 1},
    {ItemKind::Labelled, "Mask", N_("IP subnet mask"), true, 0},
    {ItemKind::Continuation, "", N_("(Ignored if DHCP flag is set to 1)"), true, 2},
    {ItemKind::Labelled, "DNSServerCount", N_("The number of DNS name servers used for DNS name resolution."),
     true, 1},
    {ItemKind::Labelled, "DNSSuffix", N_("The DNS context of the workstation."), true, 1},
    {ItemKind::Labelled, "DNSHostName", N_("The DNS local host name of the workstation."), true, 0},
    {ItemKind::Paragraph, nullptr, N_("You may specify as many fields as necessary in a single command."),
     true, 1},
    {ItemKind::Paragraph, nullptr, N_("Any fields whose value you do not specify will be cleared"), true, 0},
};

constexpr HelpPage EditorPage = {EditorItems, std::size(EditorItems), 20};
constexpr HelpPage ViewerPage = {ViewerItems, std::size(ViewerItems), 19};

void showHelpPage(const HelpPage& page) {
  int row = PanelFirstRow;
  tuiOpen();
  panelOpen();
  for (std::size_t i = 0; i < page.count; ++i) {
    const HelpItem& item = page.items[i];
    const char* text = item.translated ? tr(item.text) : item.text;
    if (item.kind == ItemKind::Paragraph) {
      panelWrapped(&row, nullptr, LabelColumn, text, ParagraphColumn);
    } else {
      panelWrapped(&row, item.label, LabelColumn, text, page.descriptionColumn);
    }
    row += item.blankRowsAfter;
  }
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
