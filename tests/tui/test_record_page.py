"""The viewer's record page: rows, columns and values as the panel shows them."""

import pytest

from conftest import KEY_END
import records

TALL = (80, 40)

SAMPLE = records.record(
    flags=0x5, lastBaseImage="//srv/images/base.zmg", wsDN="WS1.Sales.Acme",
    wsTree="CORP_TREE", netbiosName="WS1", workgroup="SALES",
    sid=(21, 3623811015, 3361044348, 30300820, 1013), wsID="4711",
    ipAddress=(10, 1, 2, 3), gateway=(10, 1, 2, 254), subnet=(255, 255, 255, 0),
    dnsServerCount=2, dnsServer=[(10, 0, 0, 1), (192, 168, 200, 2)],
    dnsSuffix="sales.acme.com", dnsHostname="ws1")

# Row, column and text of every line of the sample page.
SAMPLE_ROWS = {
    3: (1, "Image-safe data:"),
    4: (5, "Version:                 5"),
    5: (5, "Just imaged:             True"),
    6: (5, "Last image a script:     True"),
    7: (5, "Last image restored:     //srv/images/base.zmg"),
    8: (1, ""),
    9: (1, "Workstation Identity Information:"),
    10: (5, "Workstation Object:      WS1"),
    11: (5, "Workstation Context:     Sales.Acme"),
    12: (5, "Preferred Tree:          CORP_TREE"),
    13: (5, "NetBios Name:            WS1"),
    14: (5, "Workgroup:               SALES"),
    15: (5, "Windows SID:             21-3623811015-3361044348-30300820-1013"),
    16: (5, "Workstation ID:          4711"),
    17: (1, ""),
    18: (1, "Production IP Information:"),
    19: (5, "IP address:              10.1.2.3"),
    20: (5, "Default Gateway:         10.1.2.254"),
    21: (5, "Subnet mask:             255.255.255.0"),
    22: (1, ""),
    23: (1, "Production DNS Information:"),
    24: (5, "DNS Servers:             2"),
    25: (5, "DNS Server[0]:           10.0.0.1"),
    26: (5, "DNS Server[1]:           192.168.200.2"),
    27: (5, "DNS Suffix:              sales.acme.com"),
    28: (5, "DNS Hostname:            ws1"),
}


def panel_row(session, row):
    """The text of a panel row inside the frame, scroll bar excluded."""
    return session.row(row)[1:session.columns - 2].rstrip()


def page(session, first=3, last=None):
    last = last if last is not None else session.rows - 3
    return {row: panel_row(session, row) for row in range(first, last + 1)}


def expected(rows):
    return {row: (" " * (column - 1) + text).rstrip() for row, (column, text) in rows.items()}


def test_sample_record_fills_rows_3_to_28_with_labels_at_5_and_values_at_30(run_screen):
    session = run_screen("viewer", "viewer", SAMPLE, size=TALL)
    session.wait_for("DNS Hostname:")
    shown = page(session)
    assert {row: shown[row] for row in SAMPLE_ROWS} == expected(SAMPLE_ROWS)
    assert all(shown[row] == "" for row in range(29, TALL[1] - 2)), "rows after the page"
    assert session.row(TALL[1] - 1).startswith("Press Enter to continue.")
    assert session.finish() == 0


def test_page_taller_than_screen_scrolls_to_its_last_row(run_screen):
    session = run_screen("viewer", "viewer", SAMPLE, size=(80, 25))
    session.wait_for("Subnet mask:")
    assert page(session, 3, 22) == {row: text for row, text in expected(SAMPLE_ROWS).items()
                                    if row <= 22}
    session.send(KEY_END)
    # The unfilled rows are gone: the last entry, row 28, sits on the bottom row.
    session.wait_until(lambda: panel_row(session, 22) == expected(SAMPLE_ROWS)[28])
    assert panel_row(session, 22) == expected(SAMPLE_ROWS)[28]
    assert panel_row(session, 21) == expected(SAMPLE_ROWS)[27]
    assert session.finish() == 0


def test_empty_record_shows_not_found_zeros_and_no_context_line(run_screen):
    session = run_screen("viewer", "viewer", None, size=TALL)
    session.wait_for("DNS Hostname:")
    shown = page(session)
    assert shown[10] == "    Workstation Object:      Not found"
    assert shown[11] == "    Preferred Tree:          Not found"
    assert shown[14] == "    Windows SID:             0-0-0-0-0"
    assert [shown[row] for row in (18, 19, 20)] == [
        "    IP address:              0.0.0.0", "    Default Gateway:         0.0.0.0",
        "    Subnet mask:             0.0.0.0"]
    assert shown[23] == "    DNS Servers:             0"
    assert shown[24] == "    DNS Suffix:              Not found"
    assert shown[25] == "    DNS Hostname:            Not found"
    assert shown[26] == ""
    assert session.finish() == 0


def test_dhcp_on_shows_one_line_and_no_addresses(run_screen):
    session = run_screen("viewer", "viewer", dict(SAMPLE, DHCP=1), size=TALL)
    session.wait_for("DNS Hostname:")
    shown = page(session)
    assert shown[19] == "    Uses DHCP"
    assert shown[20] == ""
    assert shown[21] == "Production DNS Information:"
    assert not any("10.1.2.3" in text for text in shown.values())
    assert session.finish() == 0


def test_server_count_above_32_lists_only_the_32_stored_servers(run_screen):
    servers = [(10, 0, 0, n) for n in range(32)]
    rec = dict(SAMPLE, dnsServerCount=4000, dnsServer=servers)
    session = run_screen("viewer", "viewer", rec, size=(80, 70))
    session.wait_for("DNS Hostname:")
    shown = page(session)
    assert shown[24] == "    DNS Servers:             4000"
    assert shown[25] == "    DNS Server[0]:           10.0.0.0"
    assert shown[56] == "    DNS Server[31]:          10.0.0.31"
    assert shown[57] == "    DNS Suffix:              sales.acme.com"
    assert session.finish() == 0


@pytest.mark.parametrize("size", [(80, 40), (100, 40)])
def test_values_too_long_are_shortened_or_dropped_and_controls_shown_as_dots(run_screen, size):
    width = size[0]
    room = width - 30 - 2
    rec = dict(SAMPLE, lastBaseImage="x" * (width + 1), dnsSuffix="S" * (room + 1),
               netbiosName="A\tB", wsID="W" * room)
    session = run_screen("viewer", "viewer", rec, size=size)
    session.wait_for("DNS Hostname:")
    shown = page(session)
    assert shown[7] == "    Last image restored:", "a value wider than the screen is dropped"
    assert shown[27] == "    DNS Suffix:              " + "S" * (room - 3) + "..."
    assert shown[13] == "    NetBios Name:            A.B"
    assert shown[16] == "    Workstation ID:          " + "W" * room
    assert session.finish() == 0


def test_labels_headings_and_not_found_are_translated_values_are_not(run_screen):
    texts = ["Image-safe data:", "Version:", "Just imaged:", "Not found", "Uses DHCP",
             "True ", "False", "DNS Server[%d]:", "DNS Server[0]:", "WS1", "CORP_TREE", "5"]
    rec = dict(SAMPLE, wsTree="", DHCP=1)
    session = run_screen("viewer", "viewer", rec, size=TALL,
                         translations={text: "#" + text for text in texts})
    session.wait_for("DNS Hostname:")
    shown = page(session)
    assert shown[3] == "#Image-safe data:"
    assert shown[4] == "    #Version:                5"
    assert shown[5] == "    #Just imaged:            True"
    assert shown[10] == "    Workstation Object:      WS1"
    assert shown[12] == "    Preferred Tree:          #Not found"
    assert shown[19] == "    #Uses DHCP"
    assert shown[23] == "    DNS Server[0]:           10.0.0.1"
    assert session.finish() == 0
