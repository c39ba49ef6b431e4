#!/usr/bin/env python3
"""What a user might write instead of `ledwheel import`: a minimal Pillow script that samples a
picture's light at each LED's centre (one point an LED, no area averaging, no error diffusion),
rounds it to the nearest of the five intensities and writes the table.

Usage: pillow_import.py PICTURE OUT [--draft]
--draft lets the JPEG decoder work at a quarter of the picture's size, as Pillow's draft mode
does."""
import math
import sys

from PIL import Image

LEDS = 24
POSITIONS = 256
LEVELS = (0.0, 0.01, 1 / 3, 2 / 3, 1.0)


def linear(v):
    v /= 255.0
    return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4


def main():
    path, out = sys.argv[1], sys.argv[2]
    image = Image.open(path)
    if "--draft" in sys.argv[3:]:
        image.draft("RGB", (image.width // 4, image.height // 4))
    image = image.convert("RGB")
    width, height = image.size
    pixels = image.load()
    radius = min(width, height) / 2
    lines = []
    for j in range(POSITIONS):
        angle = 2 * math.pi * (j + 0.5) / POSITIONS
        row = []
        for i in range(LEDS):
            r = (3 + i) / 26.5 * radius
            x = min(width - 1, int(width / 2 + r * math.cos(angle)))
            y = min(height - 1, int(height / 2 + r * math.sin(angle)))
            red, green, blue = pixels[x, y]
            light = 0.2126 * linear(red) + 0.7152 * linear(green) + 0.0722 * linear(blue)
            row.append(min(range(5), key=lambda k: abs(LEVELS[k] - light)))
        lines.append("".join(str(k) for k in row))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
