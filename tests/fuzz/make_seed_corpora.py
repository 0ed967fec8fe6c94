#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets but the SSID element walk's (run from anywhere).

Each seed is a well-formed input of its target's format, so that the fuzzer starts from the
shapes real data has; regression seeds found by fuzzing live next to them and are not made here.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(folder, name, data):
    path = os.path.join(HERE, folder)
    os.makedirs(path, exist_ok=True)
    with open(os.path.join(path, name), "wb") as f:
        f.write(data)


def piece_seed(max_bytes, chunk, body):
    return struct.pack(">H", max_bytes) + bytes([chunk]) + body


def bmp(width, height, top_down=False):
    stride = (width * 3 + 3) & ~3
    pixels = b"".join(bytes((x * 40) & 0xFF for x in range(width * 3)).ljust(stride, b"\0") for _ in range(height))
    info = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + pixels


def dib(width, height, bits):
    stride = ((width * bits // 8) + 3) & ~3
    color = b"".join(bytes(range(y * 7, y * 7 + width * bits // 8)).ljust(stride, b"\0") for y in range(height))
    mask_stride = ((width + 31) // 32) * 4
    mask = b"\0" * (mask_stride * height)
    info = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    return info + color + mask


def ico(images):
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    blobs = b""
    for width, height, bits in images:
        blob = dib(width, height, bits)
        entries += struct.pack("<BBBBHHII", width, height, 0, 0, 1, bits, len(blob), offset + len(blobs))
        blobs += blob
    return head + entries + blobs


def adapters(claimed, records):
    return struct.pack("<I", claimed) + b"\xFF".join(b"\xFE".join(r) for r in records)


def args(*items):
    out = bytes([len(items)])
    for kind, value in items:
        out += bytes([kind]) + struct.pack("<Q", value)
    return out


def main():
    write("body_piece_corpus", "lines.bin", piece_seed(2046, 16, b"<html>\r\n<title>Kavel-7100 </title>\r\n</html>\n"))
    write("body_piece_corpus", "long-line.bin", piece_seed(2046, 255, b"x" * 3000 + b"\n"))
    write("body_piece_corpus", "no-final-lf.bin", piece_seed(8, 1, b"ab\rcd\r\nefghijkl"))
    write("body_piece_corpus", "bare-cr.bin", piece_seed(4, 3, b"\r\r\r\n\r\n\n"))

    write("web_match_corpus", "body-marker.bin", b"<p>Kavel-7100 settings</p>\n")
    write("web_match_corpus", "marker-after-zero.bin", b"abc\0Kavel-7100 \n")
    write("web_match_corpus", "head-realm.bin",
          b"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"Kavel-7100 Web CU\"\r\n\r\n")
    write("web_match_corpus", "head-latin1.bin", b"HTTP/1.1 401 \xa9\xff\xfe\r\nX-Name: \xe3\x81\r\n\r\n")

    write("format_corpus", "plain.bin", args() + b"QueryStatus code")
    write("format_corpus", "status.bin", args((0, 401)) + b"QueryStatus code: %d")
    write("format_corpus", "mixed.bin",
          args((3, 0x0400000000), (1, 0xFFFFFFFF), (2, 0x41), (4, 0x0200000000)) + b"%-8s|%08X|%c|%ls %%")
    write("format_corpus", "directives.bin", args((3, 0x0400000000), (5, 0)) + b"%s%n%s%hs%99999d")

    write("image_codec_corpus", "bottom-up.bmp", bmp(3, 2))
    write("image_codec_corpus", "top-down.bmp", bmp(2, 3, top_down=True))
    write("image_codec_corpus", "two-images.ico", ico([(2, 2, 32), (3, 2, 24)]))

    write("adapter_records_corpus", "one-wireless.bin",
          adapters(4096, [(b"wlp3s0", b"wlp3s0 (iwlwifi)", b"\x00\x11\x22\x33\x44\x55", b"192.168.0.10",
                           b"255.255.255.0", b"192.168.0.1")]))
    write("adapter_records_corpus", "too-small.bin", adapters(100, [(b"eth0",), (b"lo",)]))
    write("adapter_records_corpus", "long-texts.bin",
          adapters(8192, [(b"n" * 300, b"d" * 300, b"\x01" * 12, b"1" * 20, b"", b"255.255.255.255.255")]))


if __name__ == "__main__":
    main()
