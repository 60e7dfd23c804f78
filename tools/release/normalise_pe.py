#!/usr/bin/env python3
"""Makes linked PE files and their PDBs depend on their contents only.

    normalise_pe.py STAMP FILE.dll|FILE.exe...

For each PE file, and the PDB beside it that its debug directory names:
every time stamp (COFF header, export and resource directories, debug
directory, the PDB's signature) becomes STAMP; the PDB's identity (GUID and
age, in the PE's CodeView record and in the PDB's info and DBI streams)
becomes a digest of both files' contents and 1; the CodeView record names
the PDB by its file name alone; the PE checksum is recomputed.
"""
import hashlib
import os
import struct
import sys


def fail(message):
    sys.exit("normalise_pe: " + message)


class Pe:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            fail("not a PE file")
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            fail("no PE signature")
        self.coff = self.pe + 4
        sections, optional_size = struct.unpack_from("<H12xH", data, self.coff + 2)
        self.opt = self.coff + 20
        magic = struct.unpack_from("<H", data, self.opt)[0]
        if magic != 0x20B:
            fail("not a PE32+ file")
        self.checksum_at = self.opt + 64
        self.dirs = self.opt + 112
        self.sections = []
        for i in range(sections):
            at = self.opt + optional_size + 40 * i
            vsize, rva, raw_size, raw = struct.unpack_from("<IIII", data, at + 8)
            self.sections.append((rva, max(vsize, raw_size), raw))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        fail("address 0x%x is in no section" % rva)

    def directory(self, index):
        rva, size = struct.unpack_from("<II", self.data, self.dirs + 8 * index)
        return (self.offset(rva), size) if rva else (None, 0)

    def set_stamp(self, at, stamp):
        struct.pack_into("<I", self.data, at, stamp)

    def checksum(self):
        data = bytes(self.data[:self.checksum_at]) + b"\0\0\0\0" + bytes(self.data[self.checksum_at + 4:])
        if len(data) % 2:
            data += b"\0"
        total = 0
        for (word,) in struct.iter_unpack("<H", data):
            total += word
            total = (total & 0xFFFF) + (total >> 16)
        return ((total & 0xFFFF) + (total >> 16)) + len(self.data)


class Pdb:
    MAGIC = b"Microsoft C/C++ MSF 7.00\r\n\x1aDS\0\0\0"

    def __init__(self, data):
        self.data = data
        if data[:32] != self.MAGIC:
            fail("not an MSF 7.00 PDB")
        self.block, _, _, dir_bytes, _, map_block = struct.unpack_from("<6I", data, 32)
        count = -(-dir_bytes // self.block)
        dir_blocks = struct.unpack_from("<%dI" % count, data, map_block * self.block)
        directory = b"".join(data[b * self.block:(b + 1) * self.block] for b in dir_blocks)[:dir_bytes]
        streams = struct.unpack_from("<I", directory)[0]
        sizes = struct.unpack_from("<%dI" % streams, directory, 4)
        at = 4 + 4 * streams
        self.streams = []
        for size in sizes:
            n = 0 if size == 0xFFFFFFFF else -(-size // self.block)
            self.streams.append(struct.unpack_from("<%dI" % n, directory, at))
            at += 4 * n

    def offset(self, stream, position):
        """The file offset of a stream's byte (fields used here never span blocks)."""
        blocks = self.streams[stream]
        return blocks[position // self.block] * self.block + position % self.block

    def set_identity(self, stamp, guid, age):
        info = self.offset(1, 0)
        struct.pack_into("<II16s", self.data, info + 4, stamp, age, guid)
        struct.pack_into("<I", self.data, self.offset(3, 8), age)


def normalise(path, stamp):
    with open(path, "rb") as f:
        pe = Pe(bytearray(f.read()))
    data = pe.data
    pe.set_stamp(pe.coff + 4, stamp)
    for index in (0, 2):  # export, resource
        at, _ = pe.directory(index)
        if at is not None and struct.unpack_from("<I", data, at + 4)[0]:
            pe.set_stamp(at + 4, stamp)
    struct.pack_into("<I", data, pe.checksum_at, 0)

    at, size = pe.directory(6)
    records = []
    for entry in range(at, at + size, 28) if at is not None else ():
        pe.set_stamp(entry + 4, stamp)
        kind, length, _, raw = struct.unpack_from("<IIII", data, entry + 12)
        if kind == 2 and data[raw:raw + 4] == b"RSDS":
            records.append((raw, length))
    if len(records) != 1:
        fail("%s: expected one CodeView record, found %d" % (path, len(records)))
    raw, length = records[0]
    named = bytes(data[raw + 24:raw + length]).split(b"\0")[0].decode()
    pdb_name = named.replace("\\", "/").rsplit("/", 1)[-1]
    pdb_path = os.path.join(os.path.dirname(path), pdb_name)
    with open(pdb_path, "rb") as f:
        pdb = Pdb(bytearray(f.read()))

    # The identity: a digest of both files with every identity field cleared.
    name = pdb_name.encode()
    if len(name) + 24 >= length:
        fail("%s: no room for the PDB name" % path)
    struct.pack_into("<16sI%ds" % (length - 24), data, raw + 4, b"\0" * 16, 1, name)
    pdb.set_identity(stamp, b"\0" * 16, 1)
    guid = hashlib.sha256(bytes(data) + bytes(pdb.data)).digest()[:16]
    struct.pack_into("<16s", data, raw + 4, guid)
    pdb.set_identity(stamp, guid, 1)
    struct.pack_into("<I", data, pe.checksum_at, pe.checksum())

    for target, content in ((path, data), (pdb_path, pdb.data)):
        with open(target, "wb") as f:
            f.write(content)


def main():
    if len(sys.argv) < 3:
        sys.exit("usage: normalise_pe.py STAMP FILE...")
    stamp = int(sys.argv[1])
    for path in sys.argv[2:]:
        normalise(path, stamp)


if __name__ == "__main__":
    main()
