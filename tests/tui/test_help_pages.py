"""The help pages: wrapping of paragraphs and descriptions, blank rows, the
last row, scrolling and the help line."""

import pytest

from conftest import KEY_END
from test_record_page import panel_row

TALL = (80, 76)

EDITOR_ROWS = {
    3: " This program is used to edit a computer's Image-safe data.",
    5: " Usage:  wexedit [options] [<field>=[value]...]",
    7: " When no parameters are given, wexedit displays an interactive user",
    8: " interface that can be used to modify any or all image-safe data fields.",
    9: " Otherwise, results are printed to stdout.",
    11: " Valid options:",
    12: "    -h             Displays this on-screen help.  All other commands will",
    13: "                   be ignored.",
    15: "    -c             Clears all fields in the image-safe data store.",
    17: "    -r             Completely removes the image-safe data store from the",
    18: "                   drive.",
    20: " Valid fields:",
    22: "    JustImaged     False = Image-safe data agent (RIZIRE)will read data",
    23: "                   from the Windows registry and place it in the image-safe",
    24: "                   data store.",
    25: "                   True  = Image-safe data agent will read data from the",
    26: "                   image-safe data store and place it in the Windows",
    27: "                   registry.",
    31: "    LastBaseImage  The name of the last base image restored to the",
    32: "                   workstation (//server/imagepath)",
    35: "    ObjectDN       The distinguished name of this computer's workstation",
    42: "    WorkGroup      The Microsoft network workgroup of the workstation.",
    49: "    DHCP           Off = workstation is assigned a static IP address.",
    50: "                   On  = workstation uses DHCP.",
    53: "                   (Ignored if DHCP flag is set to \"On\")",
    58: "    Mask           IP subnet mask",
    59: "                   (Ignored if DHCP flag is set to \"On\")",
    62: "    DNSServerCount The number of DNS name servers used for DNS name",
    63: "                   resolution.",
    67: "    DNSHostName    The DNS local host name of the workstation.",
    69: " You may specify as many fields as necessary in a single command.",
    71: " Any fields whose value you do not specify will be cleared",
}
EDITOR_BLANK = (4, 6, 10, 14, 16, 19, 21, 28, 30, 33, 34, 47, 48, 60, 61, 68, 70)

VIEWER_ROWS = {
    3: " This program is used to view a computer's Image-safe data.",
    5: " Usage:  wexview [options] [<field> ...]",
    7: " When no fields are specified, wexview displays all fields in the image",
    12: "    -h            Displays this on-screen help.  All other commands will be",
    13: "                  ignored.",
    15: "    -s            Creates a script that can be used to generate environment",
    19: "    -z            Displays all image-safe data fields in a color interface",
    20: "                  (default)",
    24: "    JustImaged    False = Image-safe data agent (RIZIRE)will read data from",
    27: "                  True   = Image-safe data agent will read data from the",
    44: "    WorkGroup     The Microsoft netowrk workgroup of the workstation.",
    52: "                  On = workstation uses DHCP.",
    55: "                  (Ignored if DHCP flag is set to 1)",
    64: "    DNSServerCountThe number of DNS name servers used for DNS name",
    69: "    DNSHostName   The DNS local host name of the workstation.",
    70: " You may specify as many fields as necessary in a single command.",
    72: " Any fields whose value you do not specify will be cleared",
}


def check_page(session, rows, blank, last):
    for row, text in rows.items():
        assert panel_row(session, row) == text, "row %d" % row
    for row in blank:
        assert panel_row(session, row) == "", "row %d should be blank" % row
    for row in range(last + 1, session.rows - 2):
        assert panel_row(session, row) == "", "row %d lies after the page" % row


def test_editor_page_wraps_at_75_and_57_and_ends_on_row_71(run_screen):
    session = run_screen("editor", "help", size=TALL)
    session.wait_for("will be cleared")
    check_page(session, EDITOR_ROWS, EDITOR_BLANK, 71)
    assert session.finish() == 0


def test_viewer_page_wraps_descriptions_at_58_and_ends_on_row_72(run_screen):
    session = run_screen("viewer", "help", size=TALL)
    session.wait_for("will be cleared")
    check_page(session, VIEWER_ROWS, (18, 35, 36, 71), 72)
    assert session.finish() == 0


@pytest.mark.parametrize("size", [(80, 25), (100, 30)])
@pytest.mark.parametrize("role,opening", [
    ("editor", "This program is used to edit"),
    ("viewer", "This program is used to view"),
])
def test_help_scrolls_to_last_row_and_waits_for_enter(run_screen, size, role, opening):
    session = run_screen(role, "help", size=size)
    session.wait_for(opening)
    bottom = size[1] - 3
    assert session.row(size[1] - 1).startswith("Press Enter to continue.")
    last = " Any fields whose value you do not specify will be cleared"
    session.send(KEY_END)
    session.wait_until(lambda: panel_row(session, bottom) == last)
    assert panel_row(session, bottom) == last
    assert panel_row(session, bottom - 1) == ""
    assert panel_row(session, bottom - 2).startswith(" You may specify as many fields")
    assert session.finish() == 0


def test_translated_texts_are_exactly_descriptions_paragraphs_and_help_line(run_screen):
    texts = ["This program is used to edit a computer's Image-safe data.",
             "Valid options:", "JustImaged", "-h",
             "False = Image-safe data agent (RIZIRE)will read data from the Windows "
             "registry and place it in the image-safe data store.",
             "True  = Image-safe data agent will read data from the image-safe data store "
             "and place it in the Windows registry.",
             "Press Enter to continue.", "Altura Korvane Image-safe Data Editor"]
    session = run_screen("editor", "help", size=TALL,
                         translations={text: "#" + text for text in texts})
    session.wait_for("will be cleared")
    assert panel_row(session, 3) == " #This program is used to edit a computer's Image-safe data."
    assert panel_row(session, 11) == " #Valid options:"
    assert panel_row(session, 12).startswith("    -h             Displays")
    assert panel_row(session, 22).startswith("    JustImaged     False = Image-safe")
    assert panel_row(session, 25).startswith("                   #True  = Image-safe")
    assert session.row(1).startswith("xAltura Korvane")
    assert session.row(TALL[1] - 1).startswith("#Press Enter to continue.")
    assert session.finish() == 0
