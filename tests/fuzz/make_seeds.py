#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into corpus/<target>/.

  make_seeds.py KORVLOG_WRITE   (the stand-in writer, to make real log files)

Seeds are small; rerunning replaces them (the log files carry the writer's clock). Inputs that a
fuzz run adds (crashes that were fixed) live beside them under other names.
"""
import os
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
LOG_MAGIC = 0xCF9BF378
REC_MAGIC = 0x638BCFDC


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(data)


def make_logs(writer, tmp):
    def run(*args):
        subprocess.run([writer, *args], check=True, stdout=subprocess.DEVNULL)

    def snap(src, name):
        with open(os.path.join(tmp, src), "rb") as f:
            logs[name] = f.read()

    logs = {}
    a, b, c, e = (os.path.join(tmp, n) for n in ("a.dat", "b.dat", "c.dat", "e.dat"))
    run("create", e)
    snap("e.dat", "empty")
    run("create", a)
    run("append", a, "--kind", "virlog", "--count", "3", "--seed", "1")
    snap("a.dat", "three")
    run("append", a, "--kind", "virlog", "--count", "2", "--seed", "2")
    snap("a.dat", "five")
    run("delete", a, "1")
    snap("a.dat", "five_deleted")
    run("gap", a, "2")
    snap("a.dat", "five_gap")
    run("create", b)
    run("append", b, "--kind", "warnlog", "--count", "4", "--seed", "3")
    run("gap", b, "0", "3")
    snap("b.dat", "two_gaps")
    run("create", c)
    run("append", c, "--kind", "epfwlog", "--count", "2", "--seed", "4")
    snap("c.dat", "firewall")
    return logs


def disklog_input(control, first, second=b""):
    return bytes([control]) + struct.pack("<H", len(first)) + first + second


def disklog_seeds(logs):
    for name, log in logs.items():
        put("disklog", name, disklog_input(0, log))
    put("disklog", "appended", disklog_input(0, logs["three"], logs["five"]))
    put("disklog", "rewritten", disklog_input(0, logs["five"], logs["five_deleted"]))
    put("disklog", "gap_punched", disklog_input(1, logs["five"], logs["five_gap"]))
    put("disklog", "shrunk", disklog_input(0, logs["five"], logs["three"]))
    put("disklog", "no_index", disklog_input(4, logs["three"], logs["five"]))
    put("disklog", "append_buffer_deleted", disklog_input(3, logs["five_deleted"]))
    put("disklog", "truncated", disklog_input(0, logs["five"][:1000]))
    # A header with a short size, and one whose first record has size 0.
    short = bytearray(logs["three"])
    struct.pack_into("<I", short, 4, 20)
    put("disklog", "short_header", disklog_input(0, bytes(short)))
    zero = bytearray(logs["three"])
    struct.pack_into("<I", zero, 56 + 4, 0)
    put("disklog", "zero_size_record", disklog_input(0, bytes(zero)))
    # A 20-byte zero gap is too short to mend.
    small = bytearray(logs["three"])
    small[56:76] = bytes(20)
    put("disklog", "small_gap", disklog_input(0, bytes(small)))
    put("disklog", "garbage", disklog_input(0, bytes(range(256)) * 2))


def block(flags, cells, rows):
    """A decoded-record block: rows is a list of (level, [texts])."""
    head = 16 + 4 * len(rows)
    body = b""
    offsets = []
    for level, texts in rows:
        offsets.append(head + len(body))
        row_head = 4 + 4 * len(texts)
        strings = b""
        cell_offsets = []
        for t in texts:
            cell_offsets.append(row_head + len(strings))
            strings += t.encode("utf-16-le") + b"\0\0"
        body += struct.pack("<I", level) + b"".join(struct.pack("<I", o) for o in cell_offsets) + strings
    total = head + len(body)
    return struct.pack("<4I", total, flags, cells, len(rows)) + b"".join(struct.pack("<I", o) for o in offsets) + body


def decoded_record_seeds():
    put("decoded_record", "one_row", block(0, 3, [(0x20000000, ["2026-12-08 14:03:05", "Scanner", "Infected"])]))
    put("decoded_record", "two_rows", block(0x20000000, 2, [(0x10, ["a", "b"]), (0x90000000, ["Grüße", ""])]))
    put("decoded_record", "no_rows", block(0, 0, []))
    bad = bytearray(block(0, 2, [(1, ["x", "y"])]))
    struct.pack_into("<I", bad, 16, 0xFFFFFFF0)
    put("decoded_record", "row_offset_outside", bytes(bad))
    put("decoded_record", "huge_counts", struct.pack("<4I", 16, 0, 0xFFFFFFFF, 0xFFFFFFFF))
    unterminated = bytearray(block(0, 1, [(1, ["abc"])]))
    put("decoded_record", "no_nul", bytes(unterminated[:-2]))


def header_text_seeds():
    for name, text in {
        "three": "Time=20,Module=20,Event=50",
        "no_width": "Time,Name=,=30",
        "signs": "A= -12,B=+7x,C=99999999999999",
        "empty_items": ",,",
        "german": "Zeit=20,Ereignis=50",
    }.items():
        put("header_text", name, text.encode("utf-16-le"))


def log_kind_seeds():
    def reply(entries, declared=None):
        n = len(entries) if declared is None else declared
        out = struct.pack("<3I", 0, 0, n)
        for type_id, value in entries:
            out += struct.pack("<ii", type_id, value) + bytes(164)
        return out

    put("log_kind_reply", "two_kinds", b"\x00" + reply([(1, 10), (2, 20)]))
    put("log_kind_reply", "retry_twice", b"\x02" + reply([(3, 30)]))
    put("log_kind_reply", "overclaimed", b"\x00" + reply([(4, 40)], declared=1000))
    put("log_kind_reply", "duplicate", b"\x00" + reply([(5, 1), (5, 2)]))
    put("log_kind_reply", "failed", b"\x10" + reply([(6, 60)]))
    put("log_kind_reply", "short", b"\x00" + bytes(11))


def module_info_seeds():
    def info(entries, length=None):
        data = b"".join(struct.pack("<II", k, len(v)) + v for k, v in entries)
        n = len(data) if length is None else length
        return b"KORV module\0" + bytes(4) + struct.pack("<I", n) + data

    put("module_info", "version_name", info([(1, struct.pack("<I", 0x01050800)), (2, b"KORV Security\0")]))
    put("module_info", "name_only", info([(2, b"Stand-in module\0")]))
    put("module_info", "long_length", info([(1, struct.pack("<I", 7))], length=0xF9C))
    put("module_info", "entry_outside", info([(2, b"abc")])[:-1] + b"")
    put("module_info", "bad_magic", b"KORV modulX\0" + bytes(12))


def comm_call_seeds():
    def inp(control, capacity, request, raw):
        return bytes([control]) + struct.pack("<H", capacity) + bytes([len(request)]) + request + raw

    ok = struct.pack("<3I", 12, 0, 4) + b"body"
    put("comm_call", "ok", inp(0, 64, b"", ok))
    put("comm_call", "status", inp(0, 64, b"req", struct.pack("<3I", 12, 5, 0)))
    put("comm_call", "body_too_long", inp(0, 64, b"", struct.pack("<3I", 12, 0, 100) + b"x"))
    put("comm_call", "bad_head", inp(0, 64, b"", struct.pack("<3I", 8, 0, 0)))
    put("comm_call", "too_big", inp(0, 2, b"", ok))
    put("comm_call", "transport_fails", inp(1, 64, b"", ok))
    put("comm_call", "overstated", inp(2, 0, b"", ok))


def port_header_seeds():
    header = struct.pack("<4H4I", 8, 32, 2, 0, 1, 2, 7, 0) + bytes(8)
    put("port_header", "reply", header)
    put("port_header", "lengths_disagree", struct.pack("<4H4I", 8, 33, 2, 0, 1, 2, 7, 0) + bytes(8))
    put("port_header", "attributes", struct.pack("<3I2BH7I", 0, 12, 2, 1, 0, 0, 65519, 0, *([0xFFFFFFFF] * 4), 0))


def tavcomm_reply_seeds():
    def inp(control, capacity, extra_view, data):
        return bytes([control]) + struct.pack("<HH", capacity, extra_view) + data

    put("tavcomm_reply", "inline", inp(0, 64, 0, struct.pack("<II", 0, 5) + b"hello"))
    put("tavcomm_reply", "inline_growable", inp(8, 0, 0, struct.pack("<II", 0, 3) + b"abc"))
    put("tavcomm_reply", "status", inp(0, 64, 0, struct.pack("<II", 5, 0)))
    put("tavcomm_reply", "length_past_message", inp(0, 64, 0, struct.pack("<II", 0, 100) + b"x"))
    put("tavcomm_reply", "too_small", inp(0, 2, 0, struct.pack("<II", 0, 5) + b"hello"))
    put("tavcomm_reply", "short", inp(0, 64, 0, b"\0\0\0"))
    put("tavcomm_reply", "release", inp(1, 64, 0, struct.pack("<II", 0, 1) + b"z"))
    put("tavcomm_reply", "view", inp(2 | 8, 0, 16, struct.pack("<II", 0, 65500)))
    put("tavcomm_reply", "view_too_small", inp(2 | 8, 0, 0, struct.pack("<II", 0, 70000)))
    put("tavcomm_reply", "view_not_section", inp(2 | 4 | 8, 0, 100, struct.pack("<II", 0, 65490)))


def hklm_seeds():
    put("hklm_ini", "product", b"[Software\\KORV\\KORV Security\\CurrentVersion\\Info]\nAppDataDir=/var/opt/korv/\nProductServer=0\n")
    put("hklm_ini", "hex_and_case", b"[software\\korv\\korv security\\currentversion\\info]\r\n  productserver = 0x1 \r\n; comment\n")
    put("hklm_ini", "broken", b"[Unclosed\nname=value\n=\n[]\nProductServer=-1\n[x]y\n")


def rtf_seeds():
    with open(os.path.join(HERE, "..", "..", "resources", "data", "license.rtf"), "rb") as f:
        put("rtf_reader", "license", f.read())
    put("rtf_reader", "formatting", rb"{\rtf1\ansi{\fonttbl{\f0 Arial;}}\b bold\b0 \i it\i0\par\'e4\u8364?\tab x\line y}")
    put("rtf_reader", "unicode_skip", rb"{\rtf1\uc2\u-10179\'3f\'3f\u-8704??\uc0\u65 end}")
    put("rtf_reader", "nesting", b"{" * 300 + b"deep" + b"}" * 310)
    put("rtf_reader", "bin_and_star", rb"{\rtf1{\*\generator x;}\bin5 abcde{\pict 0102}text\plain}")


def settings_seeds():
    put("settings_list", "widths", b"\x03" + b"50;30;70;")
    put("settings_list", "order", b"\x03" + b"2;0;1;")
    put("settings_list", "empty_value", b"\x03" + b"50;;30")
    put("settings_list", "odd_numbers", b"\x02" + b" -5;+7x;99999999999;")
    put("settings_list", "duplicate_order", b"\x02" + b"1;1;")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with tempfile.TemporaryDirectory() as tmp:
        disklog_seeds(make_logs(sys.argv[1], tmp))
    decoded_record_seeds()
    header_text_seeds()
    log_kind_seeds()
    module_info_seeds()
    comm_call_seeds()
    port_header_seeds()
    tavcomm_reply_seeds()
    hklm_seeds()
    rtf_seeds()
    settings_seeds()


if __name__ == "__main__":
    main()
