#!/usr/bin/python3
"""Independent check of klv_tool version: prints, for each file given, the fixed file
version of its version resource as the pefile library reads it, in klv_tool's form
(the four numbers, a tab, the file name). A missing file (or a folder) gives -1.-1.-1.-1,
a file without a readable version resource 0.0.0.0.

Usage: pe_version_oracle.py FILE...
Exit status 77 when the pefile module is not available (Debian: python3-pefile).
"""
import os
import sys

try:
    import pefile
except ImportError:
    print("pe_version_oracle: the pefile module is missing (python3-pefile)", file=sys.stderr)
    sys.exit(77)

RESOURCE_DIRECTORY = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]


def file_version(path):
    if not os.path.isfile(path):
        return (-1, -1, -1, -1)
    try:
        pe = pefile.PE(path, fast_load=True)
        pe.parse_data_directories(directories=[RESOURCE_DIRECTORY])
    except pefile.PEFormatError:
        return (0, 0, 0, 0)
    infos = getattr(pe, "VS_FIXEDFILEINFO", None)
    if not infos or infos[0].Signature != 0xFEEF04BD:
        return (0, 0, 0, 0)
    ms, ls = infos[0].FileVersionMS, infos[0].FileVersionLS
    return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def main(paths):
    for path in paths:
        print(".".join(str(n) for n in file_version(path)) + "\t" + path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
