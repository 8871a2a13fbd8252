#!/usr/bin/env python3
"""Writes the version-resource fuzzer's seed files into fuzz/corpus/version.

Each seed is a whole file as the settings manager meets it: a small PE image whose one
resource section holds a version block, well-formed or spoiled in one place. The replay
test (tests/unit/fuzz_replay_test.cpp) knows the description each named seed must give.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "version")

SECTION_RVA = 0x1000
RESOURCES = 0x200  # file offset of the resource section
HEADER = 0x40  # "PE\0\0"
OPTIONAL = HEADER + 24
NAME_DIR, LANGUAGE_DIR, DATA_ENTRY, DATA = 24, 48, 72, 88


def align(data, to):
    return data + b"\0" * (-len(data) % to)


def node(key, value=b"", value_length=0, text=True, children=(), old=False):
    """One node of a version block; `old` writes the 16-bit layout (no type, 8-bit key)."""
    if old:
        head = struct.pack("<HH", 0, value_length) + key.encode("cp1252") + b"\0"
    else:
        head = struct.pack("<HHH", 0, value_length, 1 if text else 0) + key.encode("utf-16-le") + b"\0\0"
    out = align(head, 4) + value
    for child in children:
        out = align(out, 4) + child
    return struct.pack("<H", len(out)) + out[2:]


def text_value(text, old=False):
    if old:
        raw = text.encode("cp1252") + b"\0"
        return raw, len(raw)
    raw = text.encode("utf-16-le") + b"\0\0"
    return raw, len(raw) // 2


def version_block(translations, descriptions, old=False, translation_length=None):
    fixed = struct.pack("<13I", 0xFEEF04BD, 0x10000, 0x10000, 0, 0x10000, 0, 0x3F, 0,
                        0x40004, 1, 0, 0, 0)
    tables = []
    for key, description in descriptions:
        value, length = text_value(description, old)
        tables.append(node(key, children=[node("FileDescription", value, length, old=old)], old=old))
    children = []
    if tables:
        children.append(node("StringFileInfo", children=tables, old=old))
    if translations:
        pairs = b"".join(struct.pack("<HH", lang, cp) for lang, cp in translations)
        length = len(pairs) if translation_length is None else translation_length
        children.append(node("VarFileInfo", children=[node("Translation", pairs, length, False, old=old)],
                             old=old))
    return node("VS_VERSION_INFO", fixed, 52, False, children, old=old)


def image(data, type_id=16, image64=False):
    """A PE image with one resource section holding one resource."""
    def directory(entry_id, target):
        return struct.pack("<IIIHHII", 0, 0, 0, 0, 1, entry_id, target)

    rsrc = (directory(type_id, 0x80000000 | NAME_DIR) + directory(1, 0x80000000 | LANGUAGE_DIR)
            + directory(0x409, DATA_ENTRY) + struct.pack("<IIII", SECTION_RVA + DATA, len(data), 0, 0)
            + data)
    rsrc_size = len(rsrc)
    rsrc = align(rsrc, 0x200)
    pe = bytearray(HEADER)
    pe[0:2] = b"MZ"
    struct.pack_into("<I", pe, 0x3C, HEADER)
    pe += b"PE\0\0" + struct.pack("<HHIIIHH", 0x8664 if image64 else 0x14C, 1, 0, 0, 0,
                                  240 if image64 else 224, 0x2022 if image64 else 0x2102)
    opt = struct.pack("<HHIIIII", 0x20B if image64 else 0x10B, 0, 0, len(rsrc), 0, 0, 0)
    opt += struct.pack("<Q", 0x10000000) if image64 else struct.pack("<II", SECTION_RVA, 0x10000000)
    opt += struct.pack("<II6HIIIIHH", 0x1000, 0x200, 4, 0, 0, 0, 4, 0, 0,
                       SECTION_RVA + ((rsrc_size + 0xFFF) & ~0xFFF), 0x200, 0, 2, 0)
    opt += struct.pack("<4Q" if image64 else "<4I", 0x100000, 0x1000, 0x100000, 0x1000)
    opt += struct.pack("<II", 0, 16)
    opt += b"".join(struct.pack("<II", SECTION_RVA if i == 2 else 0, rsrc_size if i == 2 else 0)
                    for i in range(16))
    assert len(opt) == (240 if image64 else 224)
    pe += opt + b".rsrc\0\0\0" + struct.pack("<IIIIIIHHI", rsrc_size, SECTION_RVA, len(rsrc),
                                             RESOURCES, 0, 0, 0, 0, 0x40000040)
    return bytes(align(pe, 0x200)) + rsrc


def spread(data, code_bytes, gap_bytes):
    """The image laid out as programs are: code before the resource section, and the
    version block behind other resources, so that the reader needs more than one piece."""
    block = data[RESOURCES + DATA:]
    out = bytearray(data[:RESOURCES + DATA]) + bytes(gap_bytes) + block
    out[RESOURCES:RESOURCES] = bytes(code_bytes)
    section = len(out) - RESOURCES - code_bytes
    table = OPTIONAL + 224
    struct.pack_into("<II", out, table + 16, section, RESOURCES + code_bytes)
    struct.pack_into("<I", out, OPTIONAL + 96 + 16 + 4, section)
    struct.pack_into("<I", out, RESOURCES + code_bytes + DATA_ENTRY, SECTION_RVA + DATA + gap_bytes)
    return bytes(out)


def spoil(data, offset, fmt, value):
    out = bytearray(data)
    struct.pack_into(fmt, out, offset, value)
    return bytes(out)


def node_at(data, key):
    return data.index(key.encode("utf-16-le") + b"\0\0") - 6


ENGLISH = version_block([(0x409, 1200)], [("040904B0", "Demo Saver")])
GOOD = image(ENGLISH)
BLOCK = RESOURCES + DATA
directory_entry = OPTIONAL + 96 + 16

seeds = {
    "well-formed": GOOD,
    "well-formed-64-bit": image(ENGLISH, image64=True),
    "french-first": image(version_block([(0x40C, 1200), (0x409, 1200)],
                                        [("040904B0", "Screen saver"), ("040C04B0", "Économiseur d'écran")])),
    "oversize-translation": image(version_block([(0x409, 1200)], [("040904B0", "Demo Saver")],
                                                translation_length=0xFFFF)),
    "old-layout": image(version_block([(0x409, 1252)], [("040904E4", "Old Saver")], old=True)),
    "old-layout-bare-block": version_block([(0x40C, 1252)], [("040C04E4", "Économiseur")], old=True),
    "truncated": GOOD[:RESOURCES + DATA + 40],
    "header-offset-near-4gib": spoil(GOOD, 0x3C, "<I", 0xFFFFFFF0),
    "section-near-4gib": spoil(GOOD, OPTIONAL + 224 + 20, "<I", 0xFFFFFE00),
    "resources-claiming-4gib": spoil(GOOD, directory_entry + 4, "<I", 0xFFFFFFFF),
    "child-longer-than-parent": spoil(GOOD, node_at(GOOD, "StringFileInfo"), "<H", 0xFFF0),
    "root-longer-than-data": spoil(GOOD, RESOURCES + DATA_ENTRY + 4, "<I", 40),
    "data-outside-sections": spoil(GOOD, RESOURCES + DATA_ENTRY, "<I", 0x7FFFFFF0),
    "zero-length-child": spoil(GOOD, node_at(GOOD, "StringFileInfo"), "<H", 0),
    "zero-length-directory": spoil(GOOD, RESOURCES + 14, "<H", 0),
    "self-referencing-directory": spoil(GOOD, RESOURCES + NAME_DIR + 20, "<I", 0x80000000 | NAME_DIR),
    "directory-pointing-at-root": spoil(GOOD, RESOURCES + 20, "<I", 0x80000000),
    "huge-directory": spoil(spoil(GOOD, RESOURCES + 12, "<H", 0xFFFF), RESOURCES + 14, "<H", 0xFFFF),
    "text-length-in-bytes": spoil(GOOD, node_at(GOOD, "FileDescription") + 2, "<H", 22),
    "header-beyond-64-mib": spoil(GOOD, 0x3C, "<I", 64 << 20),
    "header-past-the-end": spoil(GOOD, 0x3C, "<I", len(GOOD) - 23),
    "block-far-into-resources": spread(GOOD, 20 << 10, 20 << 10),
}

os.makedirs(OUT, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
print(f"{len(seeds)} seeds, {sum(len(d) for d in seeds.values())} bytes")
