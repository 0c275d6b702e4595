#!/usr/bin/env python3
"""Makes the context map of a chmcmd-built .chm point at files of the archive.

usage: fix_context_map.py CHMLS FILE.chm

The HTML Help viewer opens a numbered topic (hh -mapid N file.chm) by looking
the number up in the archive's /#IVB file, which holds pairs of a context
number and an offset into /#STRINGS, where the topic's file name stands.
chmcmd 3.2.2 writes there the absolute path of the file on the build machine
(for example /home/me/build/help-src/patterns.html) instead of its name in
the archive (patterns.html), so the viewer finds no such topic.

This script reads /#IVB and /#STRINGS with chmls, points each offset at the
archive name inside the same string (the tail of the absolute path that names
a file of the archive), and stores the corrected /#IVB uncompressed at the end
of the file's uncompressed section, rewriting its directory entry to match.
Nothing else in the archive changes. An archive whose map already names
archive files is left untouched.
"""

import os
import struct
import subprocess
import sys
import tempfile

CHUNK_HEADER = 0x14  # "PMGL", free space, 0, previous chunk, next chunk


def fail(message):
    sys.exit("fix_context_map: " + message)


def read_encint(data, pos):
    value = 0
    while True:
        byte = data[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if byte < 0x80:
            return value, pos


def encint(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


class Entry:
    def __init__(self, name, section, offset, length):
        self.name, self.section, self.offset, self.length = name, section, offset, length

    def encode(self):
        name = self.name.encode("utf-8")
        return encint(len(name)) + name + encint(self.section) + encint(self.offset) + encint(self.length)


def parse_chunk(chunk, size):
    if chunk[:4] != b"PMGL":
        fail("unexpected directory chunk %r" % chunk[:4])
    free = struct.unpack_from("<I", chunk, 4)[0]
    entries, pos, end = [], CHUNK_HEADER, size - free
    while pos < end:
        length, pos = read_encint(chunk, pos)
        name = chunk[pos:pos + length].decode("utf-8")
        pos += length
        section, pos = read_encint(chunk, pos)
        offset, pos = read_encint(chunk, pos)
        data_length, pos = read_encint(chunk, pos)
        entries.append(Entry(name, section, offset, data_length))
    return entries


def build_chunk(header, entries, size):
    """A listing chunk laid out as chmcmd lays it out: a quick-reference word
    for every fifth entry from the end backwards, the entry count last."""
    chunk = bytearray(size)
    chunk[:CHUNK_HEADER] = header[:CHUNK_HEADER]
    pos, refs = CHUNK_HEADER, 0
    for number, entry in enumerate(entries, 1):
        data = entry.encode()
        if pos + len(data) >= size - 2 * (refs + 2):
            fail("the directory chunk has no room for the corrected entry")
        chunk[pos:pos + len(data)] = data
        pos += len(data)
        if number % 5 == 0:
            refs += 1
            struct.pack_into("<H", chunk, size - 2 - 2 * refs, pos - len(data) - CHUNK_HEADER)
    struct.pack_into("<H", chunk, size - 2, len(entries))
    struct.pack_into("<I", chunk, 4, size - pos)
    return bytes(chunk)


def extract(chmls, chm, name, folder):
    target = os.path.join(folder, name.strip("/#") or "file")
    subprocess.run([chmls, "extract", chm, name, target], check=True, capture_output=True)
    with open(target, "rb") as f:
        return f.read()


def cstring(data, offset):
    end = data.find(b"\0", offset)
    return data[offset:end if end >= 0 else len(data)].decode("latin-1")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    chmls, chm = sys.argv[1], os.path.abspath(sys.argv[2])
    with open(chm, "rb") as f:
        data = bytearray(f.read())
    if data[:4] != b"ITSF" or struct.unpack_from("<I", data, 4)[0] != 3:
        fail("%s is not a version 3 compiled help file" % chm)
    header0_offset = struct.unpack_from("<Q", data, 0x38)[0]
    directory_offset = struct.unpack_from("<Q", data, 0x48)[0]
    content_offset = struct.unpack_from("<Q", data, 0x58)[0]
    if data[directory_offset:directory_offset + 4] != b"ITSP":
        fail("no directory header")
    itsp_length, chunk_size = struct.unpack_from("<I", data, directory_offset + 8)[0], \
        struct.unpack_from("<I", data, directory_offset + 16)[0]
    first_chunk = struct.unpack_from("<i", data, directory_offset + 32)[0]
    chunks_start = directory_offset + itsp_length

    # Every listing chunk, in order, by its "next" links.
    chunks, index = [], first_chunk
    while index >= 0:
        start = chunks_start + index * chunk_size
        chunk = bytes(data[start:start + chunk_size])
        entries = parse_chunk(chunk, chunk_size)
        if build_chunk(chunk, entries, chunk_size) != chunk:
            fail("directory chunk %d is not laid out as expected; not touching it" % index)
        chunks.append((start, chunk, entries))
        index = struct.unpack_from("<i", chunk, 16)[0]
    names = {e.name for _, _, entries in chunks for e in entries}
    if "/#IVB" not in names:
        return  # no context map at all

    with tempfile.TemporaryDirectory() as folder:
        ivb = extract(chmls, chm, "/#IVB", folder)
        strings = extract(chmls, chm, "/#STRINGS", folder)
    (size,) = struct.unpack_from("<I", ivb, 0)
    if size != len(ivb) - 4 or size % 8:
        fail("unexpected /#IVB layout")
    pairs = [struct.unpack_from("<II", ivb, 4 + 8 * i) for i in range(size // 8)]

    fixed, changed = [], False
    for context, offset in pairs:
        topic = cstring(strings, offset)
        if "/" + topic.lstrip("/") in names and not topic.startswith("/"):
            fixed.append((context, offset))
            continue
        # The longest tail of the path that names a file of the archive.
        tail = next((i for i, c in enumerate(topic) if c == "/" and topic[i:] in names), None)
        if tail is None:
            fail("context %d names %r, which is no file of the archive" % (context, topic))
        fixed.append((context, offset + tail + 1))
        changed = True
        print("fix_context_map: context %d: %s -> %s" % (context, topic, topic[tail + 1:]))
    if not changed:
        return

    new_ivb = struct.pack("<I", size) + b"".join(struct.pack("<II", c, o) for c, o in fixed)
    section0_offset = len(data) - content_offset
    data += new_ivb
    for start, chunk, entries in chunks:
        for entry in entries:
            if entry.name == "/#IVB":
                entry.section, entry.offset, entry.length = 0, section0_offset, len(new_ivb)
                data[start:start + chunk_size] = build_chunk(chunk, entries, chunk_size)
    struct.pack_into("<Q", data, header0_offset + 8, len(data))

    temporary = chm + ".tmp"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, chm)


if __name__ == "__main__":
    main()
