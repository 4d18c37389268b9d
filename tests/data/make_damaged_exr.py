#!/usr/bin/env python3
"""Writes the damaged OpenEXR files the loader tests read (tests/data/damaged/).

Every file is built byte by byte, so each one carries exactly the damage its
name says: truncated headers and offset tables, windows that claim far more
rows, columns or tiles than the file holds, lying attribute sizes, wrong
magic numbers and versions. A few hundred bytes each. Run it again after
changing it and commit the files with it.
"""
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "damaged")

MAGIC = struct.pack("<I", 20000630)
HALF = 1


def version(flags=0, number=2):
    return struct.pack("<I", number | flags)


def attr(name, type_name, value, size=None):
    n = name.encode() if isinstance(name, str) else name
    return n + b"\0" + type_name.encode() + b"\0" + struct.pack(
        "<i", len(value) if size is None else size) + value


def box(x0, y0, x1, y1):
    return struct.pack("<iiii", x0, y0, x1, y1)


def chlist(names, pixel_type=HALF):
    out = b""
    for n in names:
        out += n.encode() + b"\0" + struct.pack("<iB3xii", pixel_type, 0, 1, 1)
    return out + b"\0"


def header(data=(0, 0, 7, 3), display=(0, 0, 7, 3), channels=("B", "G", "R"),
           compression=0, extra=b""):
    return (attr("channels", "chlist", chlist(channels)) +
            attr("compression", "compression", bytes([compression])) +
            attr("dataWindow", "box2i", box(*data)) +
            attr("displayWindow", "box2i", box(*display)) +
            attr("lineOrder", "lineOrder", b"\0") +
            attr("pixelAspectRatio", "float", struct.pack("<f", 1.0)) +
            attr("screenWindowCenter", "v2f", struct.pack("<ff", 0.0, 0.0)) +
            attr("screenWindowWidth", "float", struct.pack("<f", 1.0)) +
            extra + b"\0")


def half_bits(v):
    return struct.unpack("<H", struct.pack("<e", v))[0]


def scanline_file(data=(0, 0, 7, 3), display=(0, 0, 7, 3), channels=("B", "G", "R")):
    """A complete uncompressed scan-line file: pixel (x, y) of channel c
    holds (c + 1) * 0.125 + x * 0.0625 + y * 0.5."""
    x0, y0, x1, y1 = data
    width, height = x1 - x0 + 1, y1 - y0 + 1
    head = MAGIC + version() + header(data, display, channels)
    chunks = []
    for y in range(y0, y1 + 1):
        pixels = b""
        for c in range(len(channels)):
            for x in range(x0, x1 + 1):
                pixels += struct.pack("<H", half_bits((c + 1) * 0.125 + (x - x0) * 0.0625 +
                                                      (y - y0) * 0.5))
        chunks.append(struct.pack("<ii", y, len(pixels)) + pixels)
    table_at = len(head)
    offsets, at = [], table_at + 8 * height
    for c in chunks:
        offsets.append(at)
        at += len(c)
    return head + b"".join(struct.pack("<Q", o) for o in offsets) + b"".join(chunks)


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def main():
    os.makedirs(OUT, exist_ok=True)
    valid = scanline_file()
    head_len = len(MAGIC + version() + header())
    write("valid_small.exr", valid)
    write("zero_length.exr", b"")
    write("magic_only.exr", MAGIC)
    write("wrong_magic.exr", b"\x76\x2f\x31\x02" + valid[4:])
    write("png_signature.exr", b"\x89PNG\r\n\x1a\n" + valid[8:])
    write("truncated_header.exr", valid[:head_len // 2])
    write("header_without_end.exr", valid[:head_len - 1])
    write("truncated_offsets.exr", valid[:head_len + 12])
    write("missing_scanlines.exr", valid[:head_len + 4 * 8 + 30])
    zeroed = bytearray(valid)
    zeroed[head_len + 8:head_len + 32] = bytes(24)  # three offsets lost
    write("zeroed_offsets.exr", bytes(zeroed[:head_len + 32 + 60]))

    # Windows claiming far more than the file holds.
    def bare(data, display=(0, 0, 7, 3), flags=0, extra=b"", tail=b"\0" * 64,
             channels=("B", "G", "R"), compression=0):
        return MAGIC + version(flags) + header(data, display, channels, compression,
                                               extra) + tail
    write("billion_rows.exr", bare((0, 0, 7, 999999999)))
    write("billion_rows_piz.exr", bare((0, -500000000, 7, 500000000), compression=4))
    write("huge_width.exr", bare((0, 0, (1 << 29) - 1, 0)))
    write("huge_display.exr", bare((0, 0, 7, 3), display=(0, 0, (1 << 28), 3)))
    write("overflowing_window.exr", bare((-2147483648, 0, 2147483647, 3)))
    write("inverted_window.exr", bare((7, 3, 0, 0)))
    write("empty_display.exr", bare((0, 0, 7, 3), display=(5, 0, 4, 3)))
    write("tiny_tiles.exr", bare((0, 0, 99999, 99999), flags=0x200,
                                 extra=attr("tiles", "tiledesc", struct.pack("<IIB", 1, 1, 0))))
    write("mipmap_tiles.exr", bare((0, 0, 65535, 65535), flags=0x200,
                                   extra=attr("tiles", "tiledesc", struct.pack("<IIB", 2, 2, 1))))
    write("zero_tiles.exr", bare((0, 0, 7, 3), flags=0x200,
                                 extra=attr("tiles", "tiledesc", struct.pack("<IIB", 0, 0, 0))))
    write("tiled_without_tiles.exr", bare((0, 0, 7, 3), flags=0x200))
    write("huge_tiles.exr", bare((0, 0, 7, 3), flags=0x200, tail=b"\0" * 8,
                                 extra=attr("tiles", "tiledesc",
                                            struct.pack("<IIB", 1 << 20, 1 << 20, 0))))

    # Attributes lying about their size or contents.
    def with_extra(extra):
        return MAGIC + version() + header(extra=extra) + valid[head_len:]
    write("huge_attribute.exr", with_extra(attr("comments", "string", b"hello", size=0x7FFFFFFF)))
    write("negative_attribute_size.exr", with_extra(attr("comments", "string", b"", size=-5)))
    write("huge_preview.exr",
          with_extra(attr("preview", "preview", struct.pack("<II", 65535, 65535) + b"\0" * 16)))
    write("huge_stringvector.exr",
          with_extra(attr("names", "stringvector", struct.pack("<i", 0x7FFFFFF0) + b"abc")))
    # A channel list under another name that does not end where its size
    # says: the library reads it up to its empty name all the same.
    write("foreign_channel_list.exr",
          with_extra(attr("layers", "chlist", chlist(("Z",))[:-1]) +
                     attr("huge", "opaque", b"", size=0x64000000)))
    write("long_name.exr", MAGIC + version() + b"x" * 400)
    write("wrong_window_type.exr", MAGIC + version() +
          attr("dataWindow", "string", b"0 0 7 3") + header()[0:] + valid[head_len:])
    write("bad_channel_list.exr", MAGIC + version() +
          attr("channels", "chlist", b"R\0\1\0\0\0") + header()[len(attr(
              "channels", "chlist", chlist(("B", "G", "R")))):] + valid[head_len:])
    write("no_windows.exr", MAGIC + version() +
          attr("channels", "chlist", chlist(("R",))) +
          attr("compression", "compression", b"\0") + b"\0" + b"\0" * 16)

    # Versions and flags the library cannot read.
    write("version_three.exr", MAGIC + version(number=3) + valid[8:])
    write("unknown_flags.exr", MAGIC + version(flags=0x10000) + valid[8:])
    write("deep_flag.exr", MAGIC + version(flags=0x800) + valid[8:])

    # A multi-part file whose part claims an absurd number of chunks.
    part = (attr("channels", "chlist", chlist(("R",))) +
            attr("compression", "compression", b"\0") +
            attr("dataWindow", "box2i", box(0, 0, 7, 3)) +
            attr("displayWindow", "box2i", box(0, 0, 7, 3)) +
            attr("lineOrder", "lineOrder", b"\0") +
            attr("pixelAspectRatio", "float", struct.pack("<f", 1.0)) +
            attr("screenWindowCenter", "v2f", struct.pack("<ff", 0.0, 0.0)) +
            attr("screenWindowWidth", "float", struct.pack("<f", 1.0)) +
            attr("name", "string", b"one") + attr("type", "string", b"scanlineimage") +
            attr("chunkCount", "int", struct.pack("<i", 0x7FFFFFFF)) + b"\0")
    write("multipart_chunk_count.exr", MAGIC + version(flags=0x1000) + part + b"\0" + b"\0" * 64)
    write("multipart_negative_chunks.exr", MAGIC + version(flags=0x1000) +
          part.replace(struct.pack("<i", 0x7FFFFFFF), struct.pack("<i", -1)) + b"\0" + b"\0" * 64)

    # Complete tables whose chunks are damaged.
    bad_chunk = bytearray(valid)
    first_chunk = head_len + 4 * 8
    bad_chunk[first_chunk + 4:first_chunk + 8] = struct.pack("<i", 0x7FFFFFFF)
    write("huge_chunk_size.exr", bytes(bad_chunk))
    wrong_y = bytearray(valid)
    wrong_y[first_chunk:first_chunk + 4] = struct.pack("<i", 1000)
    write("wrong_chunk_row.exr", bytes(wrong_y))
    far = bytearray(valid)
    far[head_len:head_len + 8] = struct.pack("<Q", 1 << 40)
    write("offset_past_end.exr", bytes(far))

    # Readable files with unusual windows.
    write("data_outside_display.exr", scanline_file(data=(100, 100, 103, 101)))
    write("data_around_display.exr", scanline_file(data=(-2, -1, 9, 5), display=(0, 0, 7, 3)))

    # A complete file of a few hundred bytes whose display window would make
    # the host allocate a 65536 x 65536 image.
    write("huge_display_area.exr", scanline_file(data=(0, 0, 7, 3), display=(0, 0, 65535, 65535)))


if __name__ == "__main__":
    main()
