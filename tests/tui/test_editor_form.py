"""The editor form: layout in its centred window, Tab order, and what "OK"
and the other ways out do to the record and the saveRequested flag."""

import pytest

from conftest import (KEY_ENTER, KEY_F12, KEY_HOME, KEY_KILL_LINE, KEY_SPACE, KEY_TAB,
                      read_result)
import records

SIZES = [(80, 25), (100, 30)]
UNTOUCHED = 7  # the driver's flag value before the form runs

RECORD = records.record(
    flags=0x5, wsDN="WS1.Sales.Acme", wsTree="CORP_TREE", netbiosName="WS1",
    workgroup="SALES", lastBaseImage="//srv/images/base.zmg", DHCP=0,
    ipAddress=(10, 1, 2, 3), gateway=(10, 1, 2, 254), subnet=(255, 255, 255, 0),
    sid=(21, 3623811015, 3361044348, 30300820, 1013), wsID="4711",
    dnsServerCount=2, dnsServer=[(10, 0, 0, 1), (10, 0, 0, 2)],
    dnsSuffix="sales.acme.com", dnsHostname="ws1", lastBaseImageTime=123,
    advScript=-2, lastBaseImageSize=1 << 40)

# (row, column, text) inside the window; entries with their width.
LABELS = [(0, 1, "Image-safe data:"), (1, 1, "Workstation Object:"),
          (2, 1, "Workstation Context:"), (3, 1, "Preferred Tree:"), (4, 1, "NetBios Name:"),
          (5, 1, "Workgroup:"), (6, 1, "Last image restored:"),
          (8, 1, "Production IP information:"), (9, 26, "( ) Uses DHCP"),
          (10, 26, "(*) Static IP address"), (12, 1, "IP Address:"),
          (13, 1, "Default gateway:"), (14, 1, "Subnet mask:"),
          # newt draws a compact button one column right of its position
          (16, 0, " <OK>"), (16, 10, " <Cancel>")]
ENTRIES = [(1, 40, "WS1"), (2, 40, "Sales.Acme"), (3, 33, "CORP_TREE"), (4, 16, "WS1"),
           (5, 16, "SALES"), (6, 40, "//srv/images/base.zmg"), (12, 15, "10.1.2.3"),
           (13, 15, "10.1.2.254"), (14, 15, "255.255.255.0")]
# Window rows that take the focus, in Tab order ("OK" and "Cancel" share row 16).
TAB_ROWS = [1, 2, 3, 4, 5, 6, 9, 10, 12, 13, 14, 16, 16, 1]
TABS_TO = {"dhcp": 6, "address": 8, "ok": 11, "cancel": 12}


def window(session):
    return (session.columns - 72) // 2, (session.rows - 17) // 2


def entry_text(session, row, width):
    left, top = window(session)
    return session.text_at(top + row, left + 30, width).rstrip("_ ")


def replace_entry(text):
    return KEY_HOME + KEY_KILL_LINE + text


def start_form(run_screen, record=RECORD, size=(80, 25)):
    session = run_screen("editor", "form", record, size=size, result=True)
    session.wait_for("Subnet mask:")
    return session


@pytest.mark.parametrize("size", SIZES)
def test_form_window_is_centred_with_labels_presets_and_help_line(run_screen, size):
    session = start_form(run_screen, size=size)
    left, top = window(session)
    for row, column, text in LABELS:
        assert session.text_at(top + row, left + column, len(text)) == text, text
    for row, width, text in ENTRIES:
        assert entry_text(session, row, width) == text, text
    assert " Image-safe data " in session.row(top - 1)
    assert session.row(1).startswith("xAltura Korvane Image-safe Data Editor")
    assert session.row(size[1] - 1).startswith("Press TAB between fields.")
    assert session.finish(KEY_F12) == 0


@pytest.mark.parametrize("size", SIZES)
def test_tab_moves_through_entries_radios_then_ok_and_cancel(run_screen, size):
    session = start_form(run_screen, size=size)
    left, top = window(session)
    visited = [session.cursor()]
    for _ in range(len(TAB_ROWS) - 1):
        before = session.cursor()
        session.send(KEY_TAB)
        session.wait_until(lambda: session.cursor() != before)
        visited.append(session.cursor())
    assert [row - top for row, _ in visited] == TAB_ROWS
    ok_column, cancel_column = visited[11][1] - left, visited[12][1] - left
    assert 0 <= ok_column <= 5 and 10 <= cancel_column <= 19
    assert session.finish(KEY_F12) == 0


@pytest.mark.parametrize("way_out", ["cancel", "f12"])
def test_leaving_without_ok_keeps_record_and_flag(run_screen, way_out):
    session = start_form(run_screen)
    session.send(replace_entry("Changed") + KEY_TAB * 2 + replace_entry("OtherTree"))
    session.send(KEY_TAB * (TABS_TO["dhcp"] - 2) + KEY_SPACE)
    if way_out == "cancel":
        keys = KEY_TAB * (TABS_TO["cancel"] - TABS_TO["dhcp"]) + KEY_ENTER
    else:
        keys = KEY_F12
    assert session.finish(keys) == 0
    flag, saved = read_result(session)
    assert flag == UNTOUCHED
    assert records.serialize(saved) == records.serialize(RECORD)


@pytest.mark.parametrize("choose_dhcp", [True, False])
def test_ok_saves_typed_texts_addresses_and_dhcp_choice(run_screen, choose_dhcp):
    session = start_form(run_screen)
    keys = (replace_entry("WS9") + KEY_TAB + replace_entry("") + KEY_TAB
            + replace_entry("NEWTREE") + KEY_TAB + replace_entry("PC-7") + KEY_TAB * 3)
    if choose_dhcp:
        keys += KEY_SPACE
    keys += KEY_TAB * 2 + replace_entry("192.168.1.44") + KEY_TAB + replace_entry(" 192.168.1.0")
    keys += KEY_TAB * 2
    session.send(keys)
    assert session.finish(KEY_ENTER) == 0
    flag, saved = read_result(session)
    assert flag == 1
    expected = dict(RECORD, wsDN="WS9", wsTree="NEWTREE", netbiosName="PC-7",
                    DHCP=1 if choose_dhcp else 0, ipAddress=(192, 168, 1, 44),
                    gateway=(192, 168, 1, 0))
    assert records.serialize(saved) == records.serialize(expected)


@pytest.mark.parametrize("language,placeholder", [(None, "Not found"), ("de", "Nicht gefunden")])
def test_ok_on_empty_record_never_stores_the_placeholder_as_object_name(run_screen, language, placeholder):
    session = run_screen("editor", "form", records.record(), result=True, language=language)
    session.wait_for(placeholder)
    assert entry_text(session, 1, 40) == placeholder
    assert entry_text(session, 2, 40) == ""
    assert entry_text(session, 12, 15) == "0.0.0.0"
    assert session.finish(KEY_TAB * TABS_TO["ok"] + KEY_ENTER) == 0
    flag, saved = read_result(session)
    assert flag == 1
    assert records.serialize(saved) == records.serialize(records.record())


def test_ok_with_an_invalid_address_names_it_and_keeps_the_form_open(run_screen):
    session = start_form(run_screen)
    session.send(KEY_TAB * TABS_TO["address"] + replace_entry("10.1.2.300") + KEY_TAB * 3 + KEY_ENTER)
    session.wait_for("Invalid address")
    assert any("IP Address: 10.1.2.300" in line for line in session.lines())
    session.send(KEY_ENTER)
    session.wait_until(lambda: not any("Invalid address" in line for line in session.lines()))
    assert entry_text(session, 12, 15) == "10.1.2.300"
    assert not session.result_path.exists(), "the form ended"
    # The cursor is back in the address entry: what is typed now replaces it.
    session.send(replace_entry("10.1.2.4"))
    assert session.finish(KEY_TAB * 3 + KEY_ENTER) == 0
    flag, saved = read_result(session)
    assert flag == 1
    assert records.serialize(saved) == records.serialize(dict(RECORD, ipAddress=(10, 1, 2, 4)))


# Texts another program stored with units an 8-bit entry cannot hold (above
# 0xFF, or with a zero low byte) come back unchanged when left as shown.
@pytest.mark.parametrize("record", [RECORD, dict(RECORD, wsTree="\u0141\u00f3d\u017a",
                                                 workgroup="\u0100AB", wsDN="WS\u0142.Sales")],
                         ids=["eight-bit", "wide-units"])
def test_ok_without_changes_stores_every_text_as_it_was(run_screen, record):
    session = start_form(run_screen, record=record)
    assert session.finish(KEY_TAB * TABS_TO["ok"] + KEY_ENTER) == 0
    flag, saved = read_result(session)
    assert flag == 1
    assert records.serialize(saved) == records.serialize(record)


def test_texts_longer_than_their_field_are_cut_to_its_capacity(run_screen):
    rec = dict(RECORD, lastBaseImage="L" * 510)
    session = start_form(run_screen, record=rec)
    keys = (replace_entry("O" * 200) + KEY_TAB + replace_entry("C" * 100) + KEY_TAB
            + replace_entry("T" * 40) + KEY_TAB + replace_entry("N" * 20) + KEY_TAB
            + replace_entry("W" * 20) + KEY_TAB + "xyz")
    session.send(keys)
    assert session.finish(KEY_TAB * (TABS_TO["ok"] - 5) + KEY_ENTER) == 0
    flag, saved = read_result(session)
    assert flag == 1
    assert saved["wsDN"] == ("O" * 200 + "." + "C" * 100)[:256]
    assert saved["wsTree"] == "T" * 32      # the 33-column entry holds one more
    assert saved["netbiosName"] == "N" * 15  # the 16-column entry holds one more
    assert saved["workgroup"] == "W" * 16    # the entry is narrower than the field
    assert saved["lastBaseImage"] == "L" * 510 + "x"


def test_labels_buttons_title_help_line_and_not_found_are_translated(run_screen):
    texts = ["Workstation Object:", "Uses DHCP", "OK", "Cancel", "Image-safe data",
             "Press TAB between fields.", "Not found", "CORP_TREE", "0.0.0.0"]
    session = run_screen("editor", "form", dict(RECORD, wsDN="", subnet=(0, 0, 0, 0)),
                         result=True, translations={text: "#" + text for text in texts})
    session.wait_for("Subnet mask:")
    left, top = window(session)
    assert session.text_at(top + 1, left + 1, 20) == "#Workstation Object:"
    assert session.text_at(top + 9, left + 26, 14) == "( ) #Uses DHCP"
    assert session.text_at(top + 16, left, 6) == " <#OK>"
    assert session.text_at(top + 16, left + 10, 10) == " <#Cancel>"
    assert " #Image-safe data " in session.row(top - 1)
    assert session.row(24).startswith("#Press TAB between fields.")
    assert entry_text(session, 1, 40) == "#Not found"
    assert entry_text(session, 3, 33) == "CORP_TREE"
    assert entry_text(session, 14, 15) == "0.0.0.0"
    assert session.finish(KEY_F12) == 0
