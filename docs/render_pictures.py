#!/usr/bin/env python3
"""Renders the README pictures from the real program's screens.

    render_pictures.py OUTPUT-DIR

Runs wexview, wexedit -h and wexedit (the form) from WEXEDIT_BIN_DIR over a
simulated disk (SIMDISK_LIBRARY, see tests/simdisk/README.md) that the real
editor first fills with a sample workstation, reads each screen back through
a terminal emulator and draws it with a monospace font into a PNG.
"""

import sys
import tempfile
from pathlib import Path

from PIL import Image, ImageDraw, ImageFont

import screens
from simdisk import SimDisks

FONT_FILES = ("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
              "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf")
FONT_SIZE = 15

# The 16 colours of a Linux console, which the program's palette is made for.
PALETTE = {
    "black": (0, 0, 0), "red": (170, 0, 0), "green": (0, 170, 0), "brown": (170, 85, 0),
    "yellow": (170, 85, 0), "blue": (0, 0, 170), "magenta": (170, 0, 170),
    "cyan": (0, 170, 170), "white": (170, 170, 170),
    "brightblack": (85, 85, 85), "brightred": (255, 85, 85), "brightgreen": (85, 255, 85),
    "brightbrown": (255, 255, 85), "brightyellow": (255, 255, 85), "brightblue": (85, 85, 255),
    "brightmagenta": (255, 85, 255), "brightcyan": (85, 255, 255), "brightwhite": (255, 255, 255),
}
DEFAULT_FG, DEFAULT_BG = "white", "black"

# What each picture shows: file name, program, arguments, text that tells the
# screen is complete.
PICTURES = (
    ("wexview.png", "wexview", [], "Subnet mask:"),
    ("help.png", "wexedit", ["-h"], "Valid options:"),
    ("editor-form.png", "wexedit", [], "Cancel"),
)


def colour(name, bold, default):
    if name == "default":
        name = default
    if isinstance(name, str) and len(name) == 6 and all(c in "0123456789abcdefABCDEF" for c in name):
        return tuple(int(name[i:i + 2], 16) for i in (0, 2, 4))
    if bold and not name.startswith("bright") and "bright" + name in PALETTE:
        name = "bright" + name
    return PALETTE.get(name, PALETTE[default])


def draw(screen, path):
    regular = ImageFont.truetype(FONT_FILES[0], FONT_SIZE)
    bold = ImageFont.truetype(FONT_FILES[1], FONT_SIZE)
    cell_w = round(regular.getlength("M"))
    cell_h = FONT_SIZE + 4
    image = Image.new("RGB", (screen.columns * cell_w, screen.lines * cell_h), PALETTE["black"])
    pen = ImageDraw.Draw(image)
    # Backgrounds first, then the characters, so that no cell's background
    # covers the descender of the character above it.
    cells = [(x, y, screen.buffer[y][x]) for y in range(screen.lines) for x in range(screen.columns)]
    for x, y, cell in cells:
        fg, bg = colour(cell.fg, cell.bold, DEFAULT_FG), colour(cell.bg, False, DEFAULT_BG)
        pen.rectangle((x * cell_w, y * cell_h, (x + 1) * cell_w - 1, (y + 1) * cell_h - 1),
                      fill=fg if cell.reverse else bg)
    for x, y, cell in cells:
        if not cell.data.strip():
            continue
        fg, bg = colour(cell.fg, cell.bold, DEFAULT_FG), colour(cell.bg, False, DEFAULT_BG)
        pen.text((x * cell_w, y * cell_h + 2), cell.data, font=bold if cell.bold else regular,
                 fill=bg if cell.reverse else fg)
    image.save(path, optimize=True)


def render(output_dir):
    output_dir.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        disks = SimDisks(Path(work) / "disks")
        screens.sample_disks(disks, screens.program_path("wexedit"))
        environment = disks.env()
        for name in [k for k in environment if k.startswith("LC_") or k in ("LANG", "LANGUAGE")]:
            del environment[name]
        # In a UTF-8 locale the screen library draws lines and the scroll bar
        # with Unicode characters, which the emulator keeps as they are.
        environment["LC_ALL"] = "C.UTF-8"
        for file_name, program, args, marker in PICTURES:
            session = screens.Screen(screens.program_path(program), args, environment)
            try:
                if not session.wait_for(marker):
                    raise RuntimeError(f"{program} {' '.join(args)}: {marker!r} never showed:\n"
                                       + session.text())
                draw(session.screen, output_dir / file_name)
                print(f"rendered {output_dir / file_name}")
            finally:
                session.close()


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__.strip().splitlines()[2].strip())
    render(Path(sys.argv[1]))
