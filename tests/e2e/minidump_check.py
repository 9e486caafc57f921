"""Checks a minidump: prints "<exception code> <faulting thread> <in thread list> <streams>".

  minidump_check.py FILE

The exception stream (type 6) names the faulting thread and the exception; the thread list
(type 3) must hold that thread. Exit code 1 when the file is no minidump.
"""
import struct
import sys

THREAD_LIST, EXCEPTION = 3, 6


def main(path):
    data = open(path, "rb").read()
    if data[:4] != b"MDMP":
        print("not a minidump")
        return 1
    _, _, count, directory = struct.unpack_from("<IIII", data, 0)
    streams = {}
    for i in range(count):
        kind, size, rva = struct.unpack_from("<III", data, directory + 12 * i)
        streams[kind] = (size, rva)
    if EXCEPTION not in streams or THREAD_LIST not in streams:
        print("no exception or thread list stream")
        return 1
    rva = streams[EXCEPTION][1]
    thread_id = struct.unpack_from("<I", data, rva)[0]
    code = struct.unpack_from("<I", data, rva + 8)[0]  # after ThreadId and its alignment
    rva = streams[THREAD_LIST][1]
    threads = struct.unpack_from("<I", data, rva)[0]
    ids = [struct.unpack_from("<I", data, rva + 4 + 48 * i)[0] for i in range(threads)]
    print(f"0x{code:08X} {thread_id} {'listed' if thread_id in ids else 'unlisted'} {len(ids)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
