#!/usr/bin/env python3
"""Writes the committed seed corpora (fuzz/corpus/<target>/). Deterministic."""
import os
import struct

root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def write(target, name, data):
    folder = os.path.join(root, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes(data))


def record(command, words=(), strings=()):
    r = bytearray(12016)
    struct.pack_into("<III", r, 0, 12016, command, 1)
    for offset, value in words:
        struct.pack_into("<I", r, offset, value & 0xFFFFFFFF)
    for offset, text in strings:
        encoded = text.encode("utf-16-le")
        r[offset:offset + len(encoded)] = encoded
    return r


# reply: flag byte, then the reply (bit 0: protect it first, bit 1: result 1).
write("reply", "empty", [0])
write("reply", "one-byte", [0, 0x41])
write("reply", "status-whole", [1] + list(record(1, [(12, 1)])) + [0] * 16)
write("reply", "status-12048", [3] + list(record(1, [(12, 1)])) + [0] * 32)
write("reply", "short-12031", [1] + list(record(2, [(20, 50)])) + [0] * 14)
write("reply", "long-12033", [1] + list(record(2, [(20, 50)])) + [0] * 17)
write("reply", "result-0", [1] + list(record(2, [(8, 0), (20, 50)])) + [0] * 16)
write("reply", "raw-16", [0] + list(range(16)))

# decoders: export selector, flags (7: size, result 1, protected), capacity, record.
names = [(16 + 200 * i, "name %d" % i) for i in range(8)]
table = names + [(6016 + 200 * i, "mode %d" % i) for i in range(8)]
write("decoders", "white-points", [0, 7, 8] + list(record(4, [(20, 1), (24, 5)] + [(28 + 4 * i, i) for i in range(5)])))
write("decoders", "input-sources", [1, 7, 3] + list(record(4, [(20, 1), (24, 30)])))
write("decoders", "display-modes", [2, 7, 10] + list(record(4, [(20, 1), (24, 4), (28, 0), (32, 5), (36, 0x33), (40, 99)])))
write("decoders", "auto-color-table", [3, 7, 0] + list(record(15, [(12, 8)], table)))
write("decoders", "auto-color-modes", [4, 7, 0] + list(record(21, [(12, 31)], names)))
write("decoders", "screens", [5, 7, 0] + list(record(18, [(12, 0x80000000)], names)))
write("decoders", "schedule-times", [6, 7, 0] + list(record(24, [(12, 1), (16, 2), (20, 3), (24, 4)])))
write("decoders", "vcp-value", [7, 7, 0] + list(record(2, [(20, 70)])))
write("decoders", "modes", [8, 7, 0] + list(record(26, [(16, 12), (20, 12)])))
write("decoders", "flags", [9, 7, 0] + list(record(11, [(12, 1)])))
write("decoders", "features", [10, 15, 0] + list(record(29, [(12, 0xDEADBEEF)])))
write("decoders", "partition", [11, 7, 2] + list(record(7, [(16, 3)])))
write("decoders", "status", [12, 7, 0] + list(record(1, [(12, 2)])))
write("decoders", "unprotected", [3, 3, 0] + list(record(15, [(12, 2)], table)))

# events: 0/1 notify (code index, value), 2 enable, 3 disable (type index),
# 4 queue (kind, type) for inside the handler, 5 set the handler (type index: handler = index % 3).
write("events", "deliver", [5, 1, 0, 0, 0, 3, 0, 0, 0, 0, 1, 1, 0, 2, 0, 0, 0, 2, 9, 0, 12, 0, 0, 11, 1, 0, 11, 2])
write("events", "mute", [5, 1, 3, 10, 0, 1, 0, 2, 2, 0, 1, 0, 0, 12, 0])
write("events", "inside-handler", [5, 1, 4, 2, 5, 4, 1, 0, 0, 0, 0, 0, 1, 0, 3, 9, 0, 12, 0, 5, 4, 0, 1, 0])
write("events", "raw-codes", [0x80, 0xF0, 0, 0, 1, 0, 0, 0, 0, 0x10, 1, 2, 3, 4, 5, 6, 7, 8, 5, 1])
