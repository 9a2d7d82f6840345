#!/usr/bin/env python3
"""Writes the gallery's small GIF images from the pixel maps below.

Run from anywhere: python3 examples/images/make_images.py
Each map is a list of rows; each character picks a palette entry, "." is
transparent.  The GIFs are written with a plain LZW stream that resets its
table before the code width would grow, which every decoder reads.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.dirname(HERE)


def lzw_literal(indices, min_code_size):
    clear = 1 << min_code_size
    end = clear + 1
    width = min_code_size + 1
    # Codes above end-of-information would widen the codes; clearing every
    # (2^width - clear - 2) literals keeps them all at `width` bits.
    per_run = (1 << width) - clear - 2
    codes = [clear]
    run = 0
    for i in indices:
        if run == per_run:
            codes.append(clear)
            run = 0
        codes.append(i)
        run += 1
    codes.append(end)
    out = bytearray()
    acc = 0
    nbits = 0
    for c in codes:
        acc |= c << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def gif(rows, palette):
    """rows: strings of palette keys; palette: dict key -> (r, g, b)."""
    keys = ["."] + [k for k in palette if k != "."]
    colours = [(255, 255, 255)] + [palette[k] for k in keys[1:]]
    size_bits = 1
    while (1 << size_bits) < len(colours):
        size_bits += 1
    while len(colours) < (1 << size_bits):
        colours.append((0, 0, 0))
    height = len(rows)
    width = len(rows[0])
    assert all(len(r) == width for r in rows), rows
    index = {k: i for i, k in enumerate(keys)}
    pixels = [index[ch] for row in rows for ch in row]
    min_code_size = max(2, size_bits)
    data = lzw_literal(pixels, min_code_size)
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", width, height, 0x80 | (size_bits - 1), 0, 0)
    for r, g, b in colours:
        out += bytes((r, g, b))
    # Graphic control extension: entry 0 is transparent.
    out += b"\x21\xF9\x04\x01\x00\x00\x00\x00"
    out += b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, 0)
    out.append(min_code_size)
    for k in range(0, len(data), 255):
        block = data[k:k + 255]
        out.append(len(block))
        out += block
    out += b"\x00\x3B"
    return bytes(out)


FOLDER = {"o": (138, 101, 24), "f": (242, 196, 76), "h": (251, 231, 161), "d": (214, 160, 40)}

IMAGES = {
    "images/icons/FolderClosed.gif": (FOLDER, [
        "................",
        "................",
        "..oooo..........",
        ".ohhhho.........",
        "ohhhhhhoooooooo.",
        "ohffffffffffffo.",
        "offffffffffffdo.",
        "offffffffffffdo.",
        "offffffffffffdo.",
        "offffffffffffdo.",
        "offffffffffffdo.",
        "offffffffffffdo.",
        "odddddddddddddo.",
        "ooooooooooooooo.",
        "................",
        "................",
    ]),
    "images/icons/FolderOpen.gif": (FOLDER, [
        "................",
        "................",
        "..oooo..........",
        ".ohhhho.........",
        "ohhhhhhoooooooo.",
        "ohddddddddddddo.",
        "ohdooooooooooooo",
        "ohdohhhhhhhhhho.",
        "ohohfffffffffo..",
        "ohofffffffffdo..",
        "oohffffffffdo...",
        "ooffffffffddo...",
        "ooffffffffdo....",
        "oooooooooooo....",
        "................",
        "................",
    ]),
    "images/icons/treeplus.gif": ({"o": (110, 122, 140), "w": (255, 255, 255), "k": (30, 60, 110)}, [
        "................",
        "................",
        "................",
        "...ooooooooooo..",
        "...owwwwwwwwwo..",
        "...owwwwkwwwwo..",
        "...owwwwkwwwwo..",
        "...owwwwkwwwwo..",
        "...owkkkkkkkwo..",
        "...owwwwkwwwwo..",
        "...owwwwkwwwwo..",
        "...owwwwkwwwwo..",
        "...owwwwwwwwwo..",
        "...ooooooooooo..",
        "................",
        "................",
    ]),
    "images/icons/treeminus.gif": ({"o": (110, 122, 140), "w": (255, 255, 255), "k": (30, 60, 110)}, [
        "................",
        "................",
        "................",
        "...ooooooooooo..",
        "...owwwwwwwwwo..",
        "...owwwwwwwwwo..",
        "...owwwwwwwwwo..",
        "...owwwwwwwwwo..",
        "...owkkkkkkkwo..",
        "...owwwwwwwwwo..",
        "...owwwwwwwwwo..",
        "...owwwwwwwwwo..",
        "...owwwwwwwwwo..",
        "...ooooooooooo..",
        "................",
        "................",
    ]),
    "images/page.gif": ({"o": (96, 108, 128), "w": (255, 255, 255), "l": (170, 186, 210), "c": (222, 230, 242)}, [
        "................",
        "...oooooooo.....",
        "...owwwwwwoo....",
        "...owwwwwwoco...",
        "...owllllwoooo..",
        "...owwwwwwwwwo..",
        "...owllllllwwo..",
        "...owwwwwwwwwo..",
        "...owllllllwwo..",
        "...owwwwwwwwwo..",
        "...owllllllwwo..",
        "...owwwwwwwwwo..",
        "...owllllwwwwo..",
        "...owwwwwwwwwo..",
        "...ooooooooooo..",
        "................",
    ]),
    # The calendar button: 16 by 15, the size the popup field's button has.
    "Calendar.gif": ({"o": (90, 98, 112), "r": (204, 52, 45), "w": (255, 255, 255), "g": (150, 160, 176),
                      "b": (30, 60, 110)}, [
        "..o..o....o..o..",
        "ooooooooooooooo.",
        "orrrrrrrrrrrrro.",
        "orrrrrrrrrrrrro.",
        "ooooooooooooooo.",
        "owwwwwwwwwwwwwo.",
        "owgwgwgwgwgwgwo.",
        "owwwwwwwwwwwwwo.",
        "owgwgwgwbbwgwwo.",
        "owwwwwwwbbwwwwo.",
        "owgwgwgwgwgwgwo.",
        "owwwwwwwwwwwwwo.",
        "owgwgwgwgwwwwwo.",
        "owwwwwwwwwwwwwo.",
        "ooooooooooooooo.",
    ]),
    # Menu item icons, 12 by 12 as the menu rows draw them.
    "images/menu_open.gif": (FOLDER, [
        "............",
        ".oooo.......",
        "ohhhhoooooo.",
        "ohddddddddo.",
        "ohdooooooooo",
        "ohohffffffo.",
        "oohfffffffo.",
        "oofffffffo..",
        "oofffffffo..",
        "ooooooooo...",
        "............",
        "............",
    ]),
    "images/menu_save.gif": ({"o": (40, 58, 96), "b": (66, 104, 170), "w": (240, 244, 250), "m": (150, 160, 176)}, [
        "oooooooooooo",
        "obwwwwwwwwbo",
        "obwwwwwwwwbo",
        "obwwwwwwwwbo",
        "obwwwwwwwwbo",
        "obbbbbbbbbbo",
        "obbmmmmmmbbo",
        "obbmmoommbbo",
        "obbmmoommbbo",
        "obbmmmmmmbbo",
        "obbmmmmmmbbo",
        "oooooooooooo",
    ]),
    "images/menu_help.gif": ({"o": (30, 90, 60), "g": (60, 160, 100), "w": (255, 255, 255)}, [
        "...oooooo...",
        "..oggggggo..",
        ".oggwwwwggo.",
        "ogggwggwgggo",
        "ogggggwwgggo",
        "ogggggwggggo",
        "ogggggwggggo",
        "oggggggggggo",
        ".ogggwggggo.",
        "..oggggggo..",
        "...oooooo...",
        "............",
    ]),
    # The one-pixel image that draws the menu's separator rules.
    "images/dot.gif": ({"g": (160, 166, 176)}, ["g"]),
}


def main():
    for name, (palette, rows) in IMAGES.items():
        path = os.path.join(EXAMPLES, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(gif(rows, palette))


if __name__ == "__main__":
    main()
