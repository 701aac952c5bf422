#!/usr/bin/env python3
"""Draws the window's logo and icons as XPM text (16 colours each).

Run from the resources folder; the images it writes are committed, so the build never runs it.
Each pixel is sampled 4 x 4 times and takes the colour that covers most of it, which keeps
the shapes round without inventing colours between the palette's.
"""

import math

PALETTE = {
    " ": "None",
    ".": "#000000",  # black
    "r": "#800000",  # dark red
    "R": "#FF0000",  # red
    "y": "#808000",  # olive
    "Y": "#FFFF00",  # yellow
    "g": "#008000",  # green
    "c": "#008080",  # teal
    "C": "#00FFFF",  # cyan
    "b": "#000080",  # navy
    "B": "#0000FF",  # blue
    "d": "#808080",  # dark grey
    "l": "#C0C0C0",  # light grey
    "w": "#FFFFFF",  # white
}

SAMPLES = 4


def render(width, height, paint):
    """paint(x, y) -> palette key of the topmost shape at that point, for points in pixels."""
    rows = []
    for py in range(height):
        row = []
        for px in range(width):
            votes = {}
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    key = paint(px + (sx + 0.5) / SAMPLES, py + (sy + 0.5) / SAMPLES)
                    votes[key] = votes.get(key, 0) + 1
            row.append(max(votes, key=lambda k: (votes[k], k != " ")))
        rows.append("".join(row))
    return rows


def write_xpm(path, name, rows):
    used = sorted({key for row in rows for key in row})
    assert len(used) <= 16, f"{name} uses {len(used)} colours"
    lines = [f"/* XPM */", f"static const char *const {name}[] = {{"]
    lines.append(f'"{len(rows[0])} {len(rows)} {len(used)} 1",')
    lines += [f'"{key} c {PALETTE[key]}",' for key in used]
    lines += [f'"{row}",' for row in rows[:-1]]
    lines.append(f'"{rows[-1]}"')
    lines.append("};")
    with open(path, "w", encoding="ascii") as out:
        out.write("\n".join(lines) + "\n")


def rounded_box(x, y, left, top, right, bottom, radius):
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius**2 and left <= x <= right and top <= y <= bottom


# Seven segments a..g of a digit in a box of width w and height h, stroke t, as rectangles.
def segments(w, h, t):
    mid = (h - t) / 2
    return {
        "a": (t, 0, w - t, t),
        "b": (w - t, t, w, mid + t / 2),
        "c": (w - t, mid + t / 2, w, h - t),
        "d": (t, h - t, w - t, h),
        "e": (0, mid + t / 2, t, h - t),
        "f": (0, t, t, mid + t / 2),
        "g": (t, mid, w - t, mid + t),
    }


DIGIT_SEGMENTS = {
    "0": "abcdef", "1": "bc", "2": "abdeg", "3": "abcdg", "4": "bcfg",
    "5": "acdfg", "6": "acdefg", "7": "abc", "8": "abcdefg", "9": "abcdfg",
}


def in_digit(x, y, digit, left, top, w, h, t):
    """Which part of a seven-segment digit the point lies in: 'lit', 'unlit' or None."""
    lx, ly = x - left, y - top
    for name, (x0, y0, x1, y1) in segments(w, h, t).items():
        # a hairline between neighbouring segments, along each segment's length only
        across_x = 0 if x1 - x0 <= t else 0.5
        across_y = 0 if y1 - y0 <= t else 0.5
        if x0 + across_x <= lx < x1 - across_x and y0 + across_y <= ly < y1 - across_y:
            return "lit" if name in DIGIT_SEGMENTS[digit] else "unlit"
    return None


def on_hand(x, y, cx, cy, angle, length, half_width, tail=0.5):
    """Whether the point lies on a hand from (cx, cy) pointing at angle (0 = 3 o'clock)."""
    dx, dy = math.cos(angle), math.sin(angle)
    along = (x - cx) * dx + (y - cy) * dy
    across = abs(-(x - cx) * dy + (y - cy) * dx)
    return -tail <= along <= length and across <= half_width


def on_tick(x, y, cx, cy, count, inner, outer, half_width):
    dist = math.hypot(x - cx, y - cy)
    if not inner <= dist <= outer:
        return False
    for i in range(count):
        if on_hand(x, y, cx, cy, i * 2 * math.pi / count, outer, half_width):
            return True
    return False


def bevel(x, y, left, top, right, bottom):
    """Raised edge: light towards the top left, shadow towards the bottom right."""
    return "w" if (x - left) + (y - top) < (right - x) + (bottom - y) else "d"


def logo(x, y):
    """80 x 60: a display housing with a countdown reading T- 00:10 and a clock face."""
    if not rounded_box(x, y, 0.5, 0.5, 79.5, 59.5, 5):
        return " "
    if not rounded_box(x, y, 2, 2, 78, 58, 4):
        return bevel(x, y, 0, 0, 80, 60)
    if not rounded_box(x, y, 4, 4, 76, 56, 3):
        return "l"
    if not rounded_box(x, y, 5, 5, 75, 55, 2):
        return bevel(x, y, 80, 60, 0, 0)
    face_cx, face_cy, face_r = 63.5, 16.5, 8.5
    dist = math.hypot(x - face_cx, y - face_cy)
    if dist <= face_r:
        if dist > face_r - 1.2:
            return "Y"
        if on_tick(x, y, face_cx, face_cy, 4, face_r - 3, face_r, 0.6):
            return "Y"
        if on_hand(x, y, face_cx, face_cy, -math.pi / 2, 6, 0.6):
            return "Y"
        if on_hand(x, y, face_cx, face_cy, -math.pi / 2 - math.pi / 3, 4, 0.8):
            return "Y"
        return "."
    # "T-" in cyan segments
    if 9 <= x < 18 and 9 <= y < 11.5 or 12.25 <= x < 14.75 and 9 <= y < 24:
        return "C"
    if 20 <= x < 26 and 15.5 <= y < 18:
        return "C"
    w, h, t, gap = 12, 23, 3, 3
    left, top = 8, 29
    for i, digit in enumerate("0010"):
        if i == 2:
            if left <= x < left + 3 and (33 <= y < 36 or 43 <= y < 46):
                return "R"
            left += 5
        part = in_digit(x, y, digit, left, top, w, h, t)
        if part == "lit":
            return "R"
        left += w + gap
    return "."


def clock_icon(size):
    """A white dial with black ticks, hands at ten past ten and, at 32 x 32, a red seconds hand."""
    big = size >= 32
    s = size / 32

    def paint(x, y):
        x, y = x / s, y / s
        if not rounded_box(x, y, 0.5, 0.5, 31.5, 31.5, 6):
            return " "
        cx = cy = 16
        dist = math.hypot(x - cx, y - cy)
        if dist > 14.5:
            return bevel(x, y, 0, 0, 32, 32) if dist > 15.5 else "l"
        if dist > (13 if big else 12):
            return "."
        if big and on_tick(x, y, cx, cy, 12, 10, 13, 0.7):
            return "."
        if not big and on_tick(x, y, cx, cy, 4, 8, 12, 1.6):
            return "."
        if big and on_hand(x, y, cx, cy, math.pi / 2 + 0.4, 11, 0.55, 3):
            return "R"
        if on_hand(x, y, cx, cy, -math.pi / 2 + math.pi / 3, 10.5, 1.0 if big else 1.6):
            return "b"
        if on_hand(x, y, cx, cy, -math.pi / 2 - math.pi / 3, 7, 1.4 if big else 1.8):
            return "b"
        return "w"

    return render(size, size, paint)


if __name__ == "__main__":
    write_xpm("logo.xpm", "logo_xpm", render(80, 60, logo))
    # The same drawing at twice the pixels, which Qt shows on screens scaled by 2 or more.
    write_xpm("logo@2x.xpm", "logo_2x_xpm", render(160, 120, lambda x, y: logo(x / 2, y / 2)))
    write_xpm("zq4-32.xpm", "zq4_32_xpm", clock_icon(32))
    write_xpm("zq4-16.xpm", "zq4_16_xpm", clock_icon(16))
