#!/usr/bin/env python3
"""Calls the plug-in's order API from Python through ctypes: the C ABI needs
no C++ on the caller's side. Usage: zint_version.py PATH/libKovoZint.so"""
import ctypes
import sys


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    library = ctypes.CDLL(sys.argv[1])
    get_version = library.zint_GetVersion
    get_version.argtypes = [ctypes.c_char_p, ctypes.c_size_t]
    get_version.restype = None
    buffer = ctypes.create_string_buffer(32)
    get_version(buffer, ctypes.sizeof(buffer))
    print(buffer.value.decode())
    # A buffer too small for the version still comes back NUL-terminated.
    small = ctypes.create_string_buffer(b"xxxx", 4)
    get_version(small, 4)
    print(small.value.decode())
    return 0


if __name__ == "__main__":
    sys.exit(main())
