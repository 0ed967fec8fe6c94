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


def adapters(claimed, records):
    """Records (name, description, ip, mask, gateway, index) as FuzzedDataProvider reads them:
    texts from the front, each ended by a backslash and another byte, and numbers from the back,
    the claimed size (three bytes) first, then each record's index."""
    front = back = b""
    for *texts, index in records:
        front += b"".join(t.replace(b"\\", b"\\\\") + b"\\;" for t in texts)
        back = struct.pack("<I", index) + back
    return front + back + struct.pack("<I", claimed)[:3]


def font_store(lines):
    return b"velmor font matches 1\n" + b"".join(b"\t".join(fields) + b"\n" for fields in lines)


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
    # Near misses: the marker without its blank or in other letter case, the realm in other letter
    # case or with a non-breaking space, and the realm between bytes that are no UTF-8.
    write("web_match_corpus", "marker-near-misses.bin", b"<p>kavel-7100 x</p>\n<p>Kavel-7100</p>\n")
    write("web_match_corpus", "realm-near-misses.bin",
          b"HTTP/1.1 401 OK\r\nWWW-Authenticate: Basic realm=\"kavel-7100 web cu\"\r\n"
          b"X-Model: Kavel-7100\xa0Web CU\r\n\r\n")
    write("web_match_corpus", "realm-in-other-header.bin",
          b"HTTP/1.1 401 OK\r\nWWW-Authenticate: Basic realm=\"a\"\r\nX-Model: Kavel-7100 Web CU\r\n\r\n")
    write("web_match_corpus", "realm-in-stray-bytes.bin",
          b"HTTP/1.1 401 OK\r\nWWW-Authenticate: Basic realm=\"\xffKavel-7100 Web CU\xc3\"\r\n\r\n")

    font = b"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
    write("font_matches_corpus", "one-answer.bin", font_store([
        (b"source", b"2049 131 757076 1700000000.000000000", font),
        (b"source", b"=/home/user", b"$HOME"),
        (b"answer", b"MS Shell Dlg", b"80", b"0", font, b"0", b"DejaVu Sans", b"80", b"0", b"0")]))
    write("font_matches_corpus", "no-source.bin", font_store([
        (b"answer", b"Tahoma", b"200", b"1", font, b"0", b"DejaVu Sans", b"200", b"1", b"1")]))

    write("adapter_records_corpus", "one-wireless.bin",
          adapters(4096, [(b"wlp3s0", b"wlp3s0 (iwlwifi)", b"192.168.0.10", b"255.255.255.0", b"192.168.0.1", 3)]))
    write("adapter_records_corpus", "too-small.bin",
          adapters(100, [(b"eth0", b"", b"", b"", b"", 2), (b"lo", b"", b"", b"", b"", 1)]))
    write("adapter_records_corpus", "long-texts.bin",
          adapters(8192, [(b"n" * 300, b"d" * 300, b"1" * 20, b"", b"255.255.255.255.255", 2)]))

if __name__ == "__main__":
    main()
