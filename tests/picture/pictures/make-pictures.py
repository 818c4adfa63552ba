#!/usr/bin/env python3
"""Writes the small test pictures of this folder: good ones of every kind the viewer
decodes, and broken ones (truncated, corrupt, misnamed, oversized headers). Needs
ImageMagick's convert for the JPEG, BMP and icon bases; the GIFs are written byte by byte
so their colour tables, transparency and frames are exactly as the tests expect."""
import os
import struct
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
CONVERT = "/usr/bin/convert"


def path(name):
    return os.path.join(HERE, name)


def convert(*args):
    subprocess.run([CONVERT, *args], check=True)


def write(name, data):
    with open(path(name), "wb") as out:
        out.write(data)


def read(name):
    with open(path(name), "rb") as source:
        return source.read()


def gif_pixels(indices, code_size):
    """LZW data without compression: a clear code before the table would grow."""
    clear, end = 1 << code_size, (1 << code_size) + 1
    width = code_size + 1
    codes = []
    for i, index in enumerate(indices):
        if i % ((1 << code_size) - 2) == 0:
            codes.append(clear)
        codes.append(index)
    codes.append(end)
    bits, count, out = 0, 0, bytearray()
    for code in codes:
        bits |= code << count
        count += width
        while count >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            count -= 8
    if count:
        out.append(bits & 0xFF)
    blocks = bytearray([code_size])
    # Short sub-blocks, so that a file cut inside the data still holds whole ones.
    for i in range(0, len(out), 8):
        chunk = out[i:i + 8]
        blocks += bytes([len(chunk)]) + chunk
    return bytes(blocks + b"\x00")


def colour_table(colours):
    return b"".join(bytes(c) for c in colours)


def gif_frame(left, top, width, height, indices, local=None, transparent=None):
    frame = b""
    if transparent is not None:
        frame += b"\x21\xF9\x04" + bytes([1]) + b"\x0A\x00" + bytes([transparent]) + b"\x00"
    flags = 0x80 | 1 if local else 0  # local table of 4 colours
    frame += b"\x2C" + struct.pack("<HHHHB", left, top, width, height, flags)
    if local:
        frame += colour_table(local)
    return frame + gif_pixels(indices, 2)


def gif(width, height, frames, global_colours=((0, 0, 0), (255, 255, 255), (0, 0, 0), (0, 0, 0))):
    head = b"GIF89a" + struct.pack("<HHBBB", width, height, 0x80 | 1, 0, 0)
    head += colour_table(global_colours)
    return head + b"".join(frames) + b"\x3B"


def jpeg_with_size(data, width, height):
    """The same JPEG with its frame header announcing another size."""
    at = max(data.find(b"\xFF\xC0"), data.find(b"\xFF\xC2"))
    return data[:at + 5] + struct.pack(">HH", height, width) + data[at + 9:]


def main():
    convert("-size", "64x48", "gradient:#2a6fdb-#f2c94c", "-quality", "90", path("plain.jpg"))
    write("UPPER.JPG", read("plain.jpg"))
    convert("-size", "64x48", "gradient:#2a6fdb-#f2c94c", "-interlace", "Plane", path("progressive.jpg"))
    convert("-size", "32x24", "xc:#ff0000", "-colorspace", "CMYK", path("cmyk.jpg"))
    convert("-seed", "7", "-size", "200x150", "plasma:fractal", "-quality", "90", path("big.jpg"))
    big = read("big.jpg")
    os.remove(path("big.jpg"))
    write("truncated.jpg", big[:len(big) // 2])
    scan = big.index(b"\xFF\xDA")
    middle = scan + (len(big) - scan) // 3
    write("corrupt-huffman.jpg", big[:middle] + bytes((b * 37 + 11) % 255 for b in range(600)) + big[middle + 600:])
    write("huge-header.jpg", jpeg_with_size(read("plain.jpg"), 65000, 65000))
    # Within the pixel budget at an eighth, but its coefficients would need gigabytes.
    write("huge-progressive.jpg", jpeg_with_size(read("progressive.jpg"), 20000, 20000))
    convert("-size", "24x16", "xc:#3a8d5c", path("plain.bmp"))
    convert("-size", "32x32", "xc:#8a3ad1", path("plain.ico"))
    convert("-size", "24x16", "xc:#3a8d5c", "-define", "png:exclude-chunks=date,time", path("plain.png"))

    # Two frames on a 16 x 12 screen. The first, 12 x 8 at (2, 2), brings its own colours
    # (red, green, blue) and makes index 3 transparent: left half red, a transparent column
    # at x = 6, then green rows and blue rows. The second is all white from the global table.
    first = []
    for y in range(8):
        for x in range(12):
            first.append(3 if x == 6 else 0 if x < 6 else 1 if y < 4 else 2)
    local = ((255, 0, 0), (0, 255, 0), (0, 0, 255), (9, 9, 9))
    frames = gif(16, 12, [gif_frame(2, 2, 12, 8, first, local, transparent=3),
                          gif_frame(0, 0, 16, 12, [1] * (16 * 12))])
    write("frames.gif", frames)
    write("gif-named.jpg", frames)
    code_size_at = frames.index(b"\x2C") + 10 + 12
    write("truncated.gif", frames[:code_size_at + 1 + 2 * 9 + 4])
    write("noframes.gif", gif(16, 12, []))
    write("huge.gif", gif(65535, 65535, [gif_frame(0, 0, 65535, 65535, [1] * 4)]))


if __name__ == "__main__":
    main()
