#!/usr/bin/env python3
"""Writes small fuzz seeds for the legacy decoders: every shrunk, reduced or imploded entry
of at most 12000 compressed bytes in the given archives, alone in an archive of its own
(local header, data, central record, end record) behind one option byte of 0.

    fuzz/legacy_seeds.py OUTPUT_DIR ARCHIVE...

Single small entries keep the fuzzer's runs short, so it tries many more of them than it
does on the whole archives."""
import os
import struct
import sys
import zipfile

MAX_COMPRESSED = 12000
LEGACY_METHODS = (1, 2, 3, 4, 5, 6)


def single_entry_archive(data, info):
    offset = info.header_offset
    name_length, extra_length = struct.unpack('<HH', data[offset + 26:offset + 30])
    start = offset + 30 + name_length + extra_length
    payload = data[start:start + info.compress_size]
    name = b'E.BIN'
    local = struct.pack('<IHHHHHIIIHH', 0x04034B50, 20, info.flag_bits, info.compress_type, 0,
                        0x21, info.CRC, len(payload), info.file_size, len(name), 0) + name
    central = struct.pack('<IHHHHHHIIIHHHHHII', 0x02014B50, 20, 20, info.flag_bits,
                          info.compress_type, 0, 0x21, info.CRC, len(payload), info.file_size,
                          len(name), 0, 0, 0, 0, 0, 0) + name
    end = struct.pack('<IHHHHIIH', 0x06054B50, 0, 0, 1, 1, len(central),
                      len(local) + len(payload), 0)
    return local + payload + central + end


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    count = 0
    for path in sys.argv[2:]:
        try:
            infos = zipfile.ZipFile(path).infolist()
        except Exception:
            continue
        data = open(path, 'rb').read()
        for info in infos:
            if info.compress_type in LEGACY_METHODS and info.compress_size <= MAX_COMPRESSED:
                count += 1
                seed = '00-m%d-%03d-%s' % (info.compress_type, count, os.path.basename(path))
                with open(os.path.join(out, seed), 'wb') as f:
                    f.write(b'\x00' + single_entry_archive(data, info))
    print('%d legacy seeds' % count)


if __name__ == '__main__':
    main()
