#!/usr/bin/env python3
"""Writes the three 32x32 icon files that the icon probe library carries as resources:
alpha.ico (32-bit, left half opaque red, right half alpha 0), zero_alpha.ico (32-bit, alpha 0
everywhere, the mask opaque in the lower half only) and mask_only.ico (1-bit, no colour plane
of its own, the mask opaque in the lower half only)."""
import struct
import sys

SIZE = 32


def mask_rows(opaque_lower_half):
    # AND mask rows, bottom-up, 4 bytes each (32 pixels, already DWORD-aligned); 1 = transparent.
    rows = []
    for y in range(SIZE):  # y = 0 is the bottom row
        opaque = opaque_lower_half and y < SIZE // 2
        rows.append(b"\x00\x00\x00\x00" if opaque else b"\xff\xff\xff\xff")
    return b"".join(rows)


def icon_file(bit_count, palette, xor, and_mask):
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, bit_count, 0, len(xor) + len(and_mask), 0, 0,
                         len(palette) // 4, 0)
    image = header + palette + xor + and_mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, len(palette) // 4 if bit_count < 8 else 0, 0, 1, bit_count,
                        len(image), 6 + 16)
    return directory + entry + image


def alpha_icon():
    pixels = b"".join(
        (b"\x00\x00\xff\xff" if x < SIZE // 2 else b"\x00\x00\xff\x00") for _ in range(SIZE) for x in range(SIZE))
    return icon_file(32, b"", pixels, b"\x00" * (4 * SIZE))


def zero_alpha_icon():
    pixels = b"\xff\x00\x00\x00" * (SIZE * SIZE)
    return icon_file(32, b"", pixels, mask_rows(True))


def mask_only_icon():
    palette = b"\x00\x00\x00\x00" + b"\xff\xff\xff\x00"
    xor = b"\x00\x00\x00\x00" * SIZE  # black where the mask is opaque
    return icon_file(1, palette, xor, mask_rows(True))


def main(folder):
    for name, data in (("alpha.ico", alpha_icon()), ("zero_alpha.ico", zero_alpha_icon()),
                       ("mask_only.ico", mask_only_icon())):
        with open(f"{folder}/{name}", "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main(sys.argv[1])
