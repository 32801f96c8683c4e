"""The frame and title bar that every page starts with, at two screen sizes
and on two terminal types."""

import pytest

from conftest import KEY_F12

TITLES = {"editor": "Altura Korvane Image-safe Data Editor",
          "viewer": "Altura Korvane Image-safe Data Viewer"}


@pytest.mark.parametrize("term", ["xterm", "linux"])
@pytest.mark.parametrize("size", [(80, 25), (100, 30)])
@pytest.mark.parametrize("role,screen", [("editor", "form"), ("viewer", "viewer")])
def test_title_line_spans_the_frame_with_version_at_the_right(run_screen, role, screen, size,
                                                              term):
    width, height = size
    session = run_screen(role, screen, size=size, term=term)
    session.wait_for("Subnet mask")
    title = TITLES[role]
    gap = width - len("4.00.05") - len(title) - 3
    assert session.row(1)[1:width - 1] == title + " " * gap + "v4.00.05"
    assert session.row(0) == "l" + "q" * (width - 2) + "k"
    assert session.row(height - 2) == "m" + "q" * (width - 2) + "j"
    assert session.row(2)[1:width - 1] == "q" * (width - 2)
    for row in range(3, height - 2):
        assert session.row(row)[0] == "x" and session.row(row)[width - 1] == "x", row
    # Title in the title slot's yellow on blue, frame in white on blue.
    assert session.colours(1, 1)[1] == "blue" and session.colours(1, 1)[0] in ("brown", "yellow")
    assert session.colours(0, 0)[1] == "blue" and session.colours(0, 0)[0] == "white"
    assert session.finish(KEY_F12 if screen == "form" else "\r") == 0
