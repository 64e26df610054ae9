#!/usr/bin/env python3
"""Checks a window's icon as the X server holds it against the program's icon as
resources/make_icon.py draws it: every picture the window carries must be the drawn one, pixel
for pixel, and the 16 and 32 pixel ones must be there.

    xprop -id WINDOW -notype 32c _NET_WM_ICON | icon_check.py
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources"))
import make_icon  # noqa: E402


def pictures(xprop_output):
    """(size, ARGB pixels) of each picture in the property: width, height, then the pixels."""
    _, found, values = xprop_output.partition("=")
    if not found:
        return []
    numbers = [int(v) for v in values.replace("\n", "").split(",") if v.strip()]
    out = []
    while numbers:
        width, height = numbers[0], numbers[1]
        out.append(((width, height), numbers[2 : 2 + width * height]))
        numbers = numbers[2 + width * height :]
    return out


def drawn(size):
    return [(a << 24) | (r << 16) | (g << 8) | b for row in make_icon.draw(size) for r, g, b, a in row]


def main():
    failures = []
    seen = pictures(sys.stdin.buffer.read().decode("ascii", "replace"))
    sizes = {width for (width, height), _ in seen if width == height}
    for needed in (16, 32):
        if needed not in sizes:
            failures.append(f"no {needed} x {needed} picture")
    for (width, height), pixels in seen:
        if width != height or width not in make_icon.SIZES or pixels != drawn(width):
            failures.append(f"the {width} x {height} picture is not the program's icon")
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
