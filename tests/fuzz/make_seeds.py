#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into tests/fuzz/corpus/<target>/.

The seeds are committed; run this again only to change them. Each seed is laid out as the
targets read it (FuzzInput.h): a flags byte, texts led by a two-byte little-endian length, and
the rest. The seeds start the fuzzer at the edges of the rules: the wrap threshold and window,
piece boundaries, CR LF, Ctrl-Z, zero bytes, high bytes and over-long table lines, and for the
search: near misses, rare bytes, and a find text cut off by the text's end.
"""

import pathlib
import shutil

HERE = pathlib.Path(__file__).resolve().parent


def text(b: bytes) -> bytes:
    return len(b).to_bytes(2, "little") + b


def write(target: str, seeds: dict) -> None:
    folder = HERE / "corpus" / target
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    for name, data in seeds.items():
        (folder / name).write_bytes(data)


def env_table() -> dict:
    example = b"SB_TEMP=C:\\tmp\nSB_SHIPDATA=D:\\data\\\nSB_SHIPSCH=E:\\sch\nSB_PROJECT=Alpha\n"
    return {
        "example": b"\x01" + example,
        "example_slash": b"\x00" + example,
        "crlf": b"\x01" + example.replace(b"\n", b"\r\n"),
        "no_final_newline": b"\x00SB_TEMP=/tmp\nSB_PROJECT=Beta",
        "no_entries": b"\x02just text\n\nmore text\n",
        "spaces_and_case": b"\x00SB_TEMP = /t\nsb_temp=/u\nSB_PROJECT=a=b\n",
        "twice": b"\x00SB_PROJECT=one\nSB_PROJECT=two\nSB_SHIPDATA=\n",
        "ctrl_z": b"\x00SB_TEMP=/a\x1aSB_PROJECT=lost\n",
        "lone_cr": b"\x00SB_TEMP=/a\r\nSB_SHIPSCH=/b\r\r\nSB_PROJECT=c\rd\n",
        "long_name": b"\x00" + b"N" * 25 + b"=x\n" + b"SB_TEMP" + b"x" * 300 + b"=y\n",
        "long_value": b"\x01SB_SHIPDATA=" + b"v" * 400 + b"\nSB_PROJECT=" + b"p" * 200 + b"\n",
        "zero_and_high": b"\x02SB_TEMP\x00=x\nSB_PROJECT=\x80\xff\x00z\n",
        "skipped_between": b"\x00SB_TEMP=/a\nnothing here\nSB_SHIPSCH=/b/\n",
    }


def line_rewrite() -> dict:
    def seed(find: bytes, replace: bytes, line: bytes, flags: int = 0) -> bytes:
        return bytes([flags]) + text(find) + text(replace) + line

    a71 = b"a" * 71
    return {
        "length_72": seed(b"x", b"y", a71 + b"\n"),
        "length_73": seed(b"x", b"y", a71 + b"a\n", 3),
        "comma_69": seed(b"", b"", b"b" * 69 + b"," + b"c" * 10 + b"\n"),
        "comma_70": seed(b"", b"", b"b" * 70 + b"," + b"c" * 10 + b"\n", 7),
        "comma_0": seed(b"q", b"", b"," + b"d" * 80 + b"\n"),
        "commas_30_150": seed(b"z", b"zz", b"e" * 30 + b"," + b"e" * 119 + b"," + b"e" * 49 + b"\n"),
        "aa_in_aaa": seed(b"aa", b"X", b"aaa"),
        "grows": seed(b"a", b"aa", b"aaa\n"),
        "deletes": seed(b",", b"", b"a,b,,c\n"),
        "lengthens_past_72": seed(b"PL", b"PLATE_" * 4, b"PL,PL,PL " + b"f" * 50 + b"\n"),
        "shortens_below_73": seed(b"LONGWORD", b"", b"LONGWORD" * 10 + b"\n"),
        "newline_found": seed(b"\n", b"|", b"line one\n"),
        "zero_and_high": seed(b"\x00\xe9", b"\xc3\xa9", b"caf\x00\xe9 au lait,\x80\xff" * 8 + b"\n"),
    }


def pieces() -> dict:
    def seed(find: bytes, replace: bytes, body: bytes, flags: int = 0) -> bytes:
        return bytes([flags]) + text(find) + text(replace) + body

    line300 = b"g" * 250 + b"NEEDLE" + b"g" * 44 + b"\n"
    return {
        "line_300": seed(b"NEEDLE", b"PIN", line300),
        "inside_first_piece": seed(b"NEEDLE", b"PIN", b"g" * 100 + b"NEEDLE" + b"g" * 194 + b"\n"),
        "line_255": seed(b"x", b"y", b"h" * 255 + b"\nnext\n", 4),
        "line_254": seed(b"\n", b"", b"h" * 254 + b"\nnext\n"),
        "crlf": seed(b"old", b"new", b"old,line\r\nsecond old\r\n" + b"i" * 80 + b"\r\n", 1),
        "mixed_ends": seed(b"b", b"B", b"a\r\nb\nc\r\r\nd\re\r", 1),
        "no_final_newline": seed(b"k", b"kk", b"k" * 80),
        "empty_find": seed(b"", b"x", b"short\n" + b"j," * 50 + b"\n", 8),
        "find_longer_than_piece": seed(b"m" * 256, b"n", b"m" * 600 + b"\n"),
        "zero_ctrl_z_high": seed(b"\x1a", b"\x00", b"a\x00b\x1ac\x80\xfe\xff\n" * 40, 2),
        "multiplies": seed(b"o", b"O" * 300, b"o" * 20 + b"\n" + b"o" * 260 + b"\n"),
        "many_lines": seed(b"line", b"LINE", b"".join(b"line %d,with,commas\n" % i for i in range(120)), 12),
    }


def search() -> dict:
    def seed(find: bytes, body: bytes, flags: int = 0) -> bytes:
        return bytes([flags]) + text(find) + body

    deck = b"".join(b"PLATE,P%d,MAT=S355J2,THK=12.0\n" % i for i in range(40))
    return {
        "absent_in_deck": seed(b"S275JR", deck),
        "at_the_end": seed(b"S275JR", deck + b"S275JR"),
        "cut_off_at_the_end": seed(b"S275JR", deck + b"S275J"),
        "near_misses": seed(b"abba", b"abbb" * 300 + b"abba" + b"abbb" * 3),
        "rare_bytes": seed(b"\x01e\x02", b"e\x01e" * 100 + b"\x01e\x02", 128),
        "zero_and_high": seed(b"\x00\xff", b"\xff\x00" * 70 + b"\x00\xff", 3),
        "repeated_byte": seed(b"a" * 70, b"a" * 69 + b"b" + b"a" * 140, 1),
    }


write("environment_table", env_table())
write("line_rewrite", line_rewrite())
write("pieces", pieces())
write("search", search())
