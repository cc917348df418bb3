#!/usr/bin/env python3
"""Draws Morvane's icons and writes them as .ico files into a folder.

morvane.ico  application icon: 16, 20, 24, 32, 40, 48 and 64 px, 32 bits
    with alpha.
not_connected.ico  the tray icon while the service cannot be reached: the
    same sizes, the parcel in greys without the red badge, and a dark disc
    with a white cross at the bottom-right corner, away from the count's badge.
spin130.ico .. spin133.ico  tray animation frames: 16, 20, 24 and 40 px,
    16 colours, a square outline turning counter-clockwise from one frame to
    the next.

The tray shows small icons: 16 px at 100 % scaling, 20 at 125 %, 24 at
150 % and 40 at 250 % (32 at 200 % comes from the 32 px image); an image of
its own at each keeps them sharp where Windows would otherwise stretch one.

Usage: make_icons.py OUTPUT_FOLDER

Only the standard library is used and nothing depends on the clock or the
machine, so the same script always writes the same bytes.
"""

import os
import struct
import sys

APP_ICON_SIZES = (16, 20, 24, 32, 40, 48, 64)
FRAME_SIZE = 16  # the size the frames' corners are given at
FRAME_SIZES = (16, 20, 24, 40)

# Application icon colours (red, green, blue).
OUTLINE = (74, 45, 16)
BOX = (214, 157, 84)
LID = (186, 124, 54)
TAPE = (243, 222, 172)
BADGE = (222, 36, 36)
WHITE = (255, 255, 255)
# The parcel of the not-connected icon, greyed, and its mark.
GREY_OUTLINE = (78, 78, 78)
GREY_BOX = (176, 176, 176)
GREY_LID = (148, 148, 148)
GREY_TAPE = (220, 220, 220)
MARK = (64, 64, 64)

# Samples per pixel edge when measuring how much of a pixel a shape covers.
# At 16 px a soft edge only blurs the little badge, so there a pixel is either
# in a shape or not.
SMOOTH_EDGES = 4
HARD_EDGES = 1

# The 16-colour palette of the frames: the standard VGA one, black first.
VGA_PALETTE = (
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
)
FRAME_OUTLINE_INDEX = 0


class Canvas:
    """Straight-alpha RGBA pixels, painted with shapes given as predicates."""

    def __init__(self, size, samples):
        self.size = size
        self.samples = samples
        self.pixels = [(0.0, 0.0, 0.0, 0.0)] * (size * size)

    def paint(self, inside, colour):
        """Composites colour over every pixel, weighted by how much of the
        pixel the shape covers. Shapes whose edges lie on pixel boundaries
        come out crisp; curves get smooth edges."""
        n = self.samples
        offsets = [(i + 0.5) / n for i in range(n)]
        for y in range(self.size):
            for x in range(self.size):
                hits = sum(1 for oy in offsets for ox in offsets
                           if inside(x + ox, y + oy))
                if hits:
                    self._blend(x, y, colour, hits / (n * n))

    def _blend(self, x, y, colour, coverage):
        r, g, b, a = self.pixels[y * self.size + x]
        out_a = coverage + a * (1.0 - coverage)
        mix = [(c * coverage + d * a * (1.0 - coverage)) / out_a
               for c, d in zip(colour, (r, g, b))]
        self.pixels[y * self.size + x] = (mix[0], mix[1], mix[2], out_a)

    def bgra_rows_bottom_up(self):
        """Pixel bytes as a DIB stores them; fully transparent pixels are
        written as zero so that they carry no stray colour."""
        rows = []
        for y in reversed(range(self.size)):
            row = bytearray()
            for x in range(self.size):
                r, g, b, a = self.pixels[y * self.size + x]
                alpha = round(a * 255)
                if alpha == 0:
                    row += bytes(4)
                else:
                    row += bytes((round(b), round(g), round(r), alpha))
            rows.append(bytes(row))
        return rows

    def transparent(self, x, y):
        return round(self.pixels[y * self.size + x][3] * 255) == 0


def rectangle(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def bell(cx, cy, r):
    """A bell filling most of a badge of radius r centred on cx, cy."""
    shoulder = cy - 0.12 * r
    mouth = cy + 0.30 * r
    dome = 0.44 * r

    def body(x, y):
        if y < shoulder:
            return (x - cx) ** 2 + (y - shoulder) ** 2 <= dome ** 2
        if y <= mouth:
            flare = ((y - shoulder) / (mouth - shoulder)) ** 2 * 0.14 * r
            return abs(x - cx) <= dome + flare
        return y <= mouth + 0.16 * r and abs(x - cx) <= 0.68 * r

    clapper = disc(cx, cy + 0.62 * r, 0.16 * r)
    knob = disc(cx, cy - 0.60 * r, 0.11 * r)
    return lambda x, y: body(x, y) or clapper(x, y) or knob(x, y)


def draw_parcel(canvas, colours):
    """The parcel of the application icon; colours: outline, box, lid, tape."""
    size = canvas.size
    outline, box, lid_colour, tape = colours

    def at(fraction):
        return round(size * fraction)

    def framed(rect, fill):
        x0, y0, x1, y1 = rect
        canvas.paint(rectangle(x0, y0, x1, y1), outline)
        canvas.paint(rectangle(x0 + thickness, y0 + thickness,
                               x1 - thickness, y1 - thickness), fill)

    thickness = max(1, round(size / 32))
    body = (at(1 / 16), at(6 / 16), at(13 / 16), size)
    lid = (0, at(4 / 16), at(14 / 16), at(7.5 / 16))
    tape_left = (body[0] + body[2]) // 2 - max(1, at(1 / 16))
    tape_right = tape_left + 2 * max(1, at(1 / 16))

    framed(body, box)
    canvas.paint(rectangle(tape_left, body[1] + thickness,
                           tape_right, body[3] - thickness), tape)
    framed(lid, lid_colour)
    canvas.paint(rectangle(tape_left, lid[1] + thickness,
                           tape_right, lid[3] - thickness), tape)


def badge_disc(size):
    """Centre and radius of the application icon's badge, top-right, and
    the width of its white outline."""
    radius = size * 3.5 / 16
    return size - radius - size / 32, radius + size / 32, radius, max(1, round(size / 32))


def draw_application_icon(size):
    """A parcel with a red notification badge; the bell in the badge is
    left out at 16 px, where it would be a blur."""
    canvas = Canvas(size, HARD_EDGES if size < 32 else SMOOTH_EDGES)
    draw_parcel(canvas, (OUTLINE, BOX, LID, TAPE))
    cx, cy, radius, thickness = badge_disc(size)
    canvas.paint(disc(cx, cy, radius + thickness), WHITE)
    canvas.paint(disc(cx, cy, radius), BADGE)
    if size >= 32:
        canvas.paint(bell(cx, cy, radius), WHITE)
    return canvas


def cross(cx, cy, reach, width):
    """Two bars crossing at cx, cy, reach out along each diagonal."""
    def bar(x, y, slope):
        along = ((x - cx) + slope * (y - cy)) / 2 ** 0.5
        across = ((x - cx) - slope * (y - cy)) / 2 ** 0.5
        return abs(along) <= reach and abs(across) <= width / 2
    return lambda x, y: bar(x, y, 1) or bar(x, y, -1)


def draw_not_connected_icon(size):
    """The parcel in greys, and at the bottom-right a dark disc with a white
    cross and outline: the colours and the corner differ from the normal
    icon's and from the count's red badge at the top-right, so the state
    reads at 16 px on light and dark taskbars alike."""
    canvas = Canvas(size, HARD_EDGES if size < 32 else SMOOTH_EDGES)
    draw_parcel(canvas, (GREY_OUTLINE, GREY_BOX, GREY_LID, GREY_TAPE))
    # Centred on a pixel, so that the cross is symmetric at the small sizes,
    # where a pixel is either in a shape or not.
    radius = size * 0.245
    centre = int(size - radius - size / 32) + 0.5
    canvas.paint(disc(centre, centre, radius + max(1, round(size / 32))), WHITE)
    canvas.paint(disc(centre, centre, radius), MARK)
    canvas.paint(cross(centre, centre, radius * 0.75, max(1.0, size / 12)), WHITE)
    return canvas


# Corners of the frames' squares, in pixels, in drawing order. 131 is turned
# by the angle of a 4-in-9 slope (about 24 degrees), which keeps its corners on
# whole pixels and its edges straight; 132 stands on a corner, with two-pixel
# tips so that it stays centred in an even-sized frame.
UPRIGHT = ((3, 3), (12, 3), (12, 12), (3, 12))
SLIGHTLY_TURNED = ((10, 1), (1, 5), (5, 14), (14, 10))
ON_A_CORNER = ((7, 1), (8, 1), (14, 7), (14, 8), (8, 14), (7, 14), (1, 8), (1, 7))


def line(start, end):
    """Pixels of a one-pixel line from start to end, both included."""
    (x0, y0), (x1, y1) = start, end
    dx, dy = abs(x1 - x0), -abs(y1 - y0)
    sx, sy = (1 if x1 > x0 else -1), (1 if y1 > y0 else -1)
    error = dx + dy
    pixels = []
    while True:
        pixels.append((x0, y0))
        if (x0, y0) == (x1, y1):
            return pixels
        doubled = 2 * error
        if doubled >= dy:
            error += dy
            x0 += sx
        if doubled <= dx:
            error += dx
            y0 += sy


def polygon_outline(corners):
    return {pixel for i, corner in enumerate(corners)
            for pixel in line(corner, corners[(i + 1) % len(corners)])}


def scaled(corners, size):
    """The corners of a 16 px frame moved to a frame of size pixels."""
    def move(v):
        return round((v + 0.5) * size / FRAME_SIZE - 0.5)
    return [(move(x), move(y)) for x, y in corners]


def thickened(outline, size):
    """The outline about a pixel in 16 wide at every size."""
    width = max(1, round(size / FRAME_SIZE))
    return {(x + dx, y + dy) for x, y in outline
            for dx in range(width) for dy in range(width)
            if x + dx < size and y + dy < size}


def frame_outlines(size):
    """Frames 130..133 at size pixels. A turn counter-clockwise on screen
    lifts the right-hand side of the square, as in 131; 133 is 131's mirror
    image, so that 131, 132, 133, 130 reads as one steady counter-clockwise
    turn."""
    def drawn(corners):
        return thickened(polygon_outline(scaled(corners, size)), size)
    slightly_turned = drawn(SLIGHTLY_TURNED)
    return {
        "spin130.ico": drawn(UPRIGHT),
        "spin131.ico": slightly_turned,
        "spin132.ico": drawn(ON_A_CORNER),
        "spin133.ico": {(size - 1 - x, y) for x, y in slightly_turned},
    }


def and_mask(size, transparent):
    """The 1-bit mask that follows the colour bits: 1 keeps the screen pixel.
    Rows bottom-up, each padded to a multiple of 4 bytes."""
    stride = ((size + 31) // 32) * 4
    data = bytearray()
    for y in reversed(range(size)):
        row = bytearray(stride)
        for x in range(size):
            if transparent(x, y):
                row[x // 8] |= 0x80 >> (x % 8)
        data += row
    return bytes(data)


def bitmap_header(size, bits, image_bytes):
    # Icon DIBs state twice the height: the colour bits and the mask.
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0,
                       image_bytes, 0, 0, 0, 0)


def true_colour_image(canvas):
    colour = b"".join(canvas.bgra_rows_bottom_up())
    mask = and_mask(canvas.size, canvas.transparent)
    return bitmap_header(canvas.size, 32, len(colour) + len(mask)) + colour + mask


def sixteen_colour_image(outline, size):
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA_PALETTE)
    colour = bytearray()
    stride = ((size * 4 + 31) // 32) * 4
    for y in reversed(range(size)):
        row = bytearray()
        for x in range(0, size, 2):
            # Transparent pixels use index 0 too: under a set mask bit, 0 leaves
            # the screen as it is.
            left = FRAME_OUTLINE_INDEX if (x, y) in outline else 0
            right = FRAME_OUTLINE_INDEX if (x + 1, y) in outline else 0
            row.append(left << 4 | right)
        colour += row + bytes(stride - len(row))
    mask = and_mask(size, lambda x, y: (x, y) not in outline)
    return (bitmap_header(size, 4, len(colour) + len(mask))
            + palette + bytes(colour) + mask)


def ico_file(images):
    """images: (size, colour count, bits per pixel, DIB bytes), in order."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    directory = bytearray()
    for size, colours, bits, dib in images:
        # A width or height of 256 is written as 0; none of ours is that big.
        directory += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits,
                                 len(dib), offset)
        offset += len(dib)
    return header + bytes(directory) + b"".join(image[3] for image in images)


def write_atomically(path, data):
    # A build interrupted half-way must not leave a truncated icon behind that
    # looks up to date.
    temporary = path + ".tmp"
    with open(temporary, "wb") as out:
        out.write(data)
    os.replace(temporary, path)


def main(argv):
    if len(argv) != 2:
        print("usage: make_icons.py OUTPUT_FOLDER", file=sys.stderr)
        return 2
    folder = argv[1]
    icons = {name: ico_file([(size, 0, 32, true_colour_image(draw(size)))
                             for size in APP_ICON_SIZES])
             for name, draw in (("morvane.ico", draw_application_icon),
                                ("not_connected.ico", draw_not_connected_icon))}
    frames = {}
    for size in FRAME_SIZES:
        for name, outline in frame_outlines(size).items():
            frames.setdefault(name, []).append(
                (size, 16, 4, sixteen_colour_image(outline, size)))
    for name, images in frames.items():
        icons[name] = ico_file(images)
    try:
        os.makedirs(folder, exist_ok=True)
        for name, data in icons.items():
            write_atomically(os.path.join(folder, name), data)
    except OSError as error:
        print(f"make_icons.py: cannot write the icons: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
