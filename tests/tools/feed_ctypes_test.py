#!/usr/bin/env python3
"""The host kit as a Python (or, alike, a C#) host calls it: ctypes over libcorvane_feed.so
publishes documents and corvane-inspect reads them with the overlay's own reader and parser.
Also the refusals and the last message a host reads after each call.

    feed_ctypes_test.py LIBRARY INSPECT FEED PROJECT_VERSION
"""
import ctypes
import json
import os
import subprocess
import sys

from tool_checks import check, finish

library_path, inspect, feed, project_version = sys.argv[1:5]
name = f"corvane-feed-ctypes-test-{os.getpid()}"

# The lines a host writes (the README shows them).
lib = ctypes.CDLL(library_path)
lib.corvane_feed_open.argtypes = [ctypes.c_char_p, ctypes.POINTER(ctypes.c_void_p)]
lib.corvane_feed_publish.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_size_t,
                                     ctypes.c_int, ctypes.c_uint32]
lib.corvane_feed_last_message.argtypes = [ctypes.c_void_p]
lib.corvane_feed_last_message.restype = ctypes.c_char_p
lib.corvane_feed_close.argtypes = [ctypes.c_void_p]
lib.corvane_feed_version.restype = ctypes.c_char_p

OK, BAD_ARGUMENT, TOO_LARGE, FAILED = 0, 1, 2, 3


def inspect_block(*args):
    done = subprocess.run([inspect, "--name", name, *args], capture_output=True, text=True)
    return done.returncode, json.loads(done.stdout) if done.stdout else None


def message(handle):
    return lib.corvane_feed_last_message(handle).decode()


try:
    check("version: the project's", project_version, lib.corvane_feed_version().decode())
    check("interface version", 1, lib.corvane_feed_interface_version())

    feed_handle = ctypes.c_void_p()
    check("open: OK", OK, lib.corvane_feed_open(name.encode(), ctypes.byref(feed_handle)))
    check("open: no message", "", message(feed_handle))

    document = {"fps": [{"game_id": 12345, "cur": 59.6, "min": 41.0, "max": 60.2}],
                "cpu": 23.5, "memory": {"free": 9216, "total": 16384},
                "diskio": [{"name": "_Total", "used": 3.5}, {"name": "C:", "used": 1.2}],
                "ui_style": json.dumps({"alpha": 80, "pos": "bottom-right"})}
    text = json.dumps(document).encode()
    check("publish: OK", OK, lib.corvane_feed_publish(feed_handle, text, len(text), 1, 0x1A2B))
    check("publish: no message", "", message(feed_handle))
    code, seen = inspect_block("--game-id", "12345", "--drive", "C:")
    check("inspect: exit code", 0, code)
    check("inspect: read, shown, IPC window", [True, True, 0x1A2B],
          [seen["read"], seen["enabled"], seen["ipc_wnd"]])
    check("inspect: rows", ["60", "23.5%", "7.0/16.0GB", "1.2%"],
          [seen["rows"][i]["value"] for i in (0, 2, 3, 4)])
    check("inspect: style", [204, "bottom-right"], [seen["style"]["alpha"], seen["style"]["pos"]])

    # A second publication replaces the first whole: a shorter document, hidden, no window.
    text = b'{"cpu": 7.5}'
    check("republish: OK", OK, lib.corvane_feed_publish(feed_handle, text, len(text), 0, 0))
    code, seen = inspect_block()
    check("republish: read, hidden, no window", [0, True, False, 0],
          [code, seen["read"], seen["enabled"], seen["ipc_wnd"]])
    check("republish: CPU, and no frame rate", ["7.5%", "--"],
          [seen["rows"][2]["value"], seen["rows"][0]["value"]])

    # Refusals leave the block as it was and say why.
    big = b" " * 4096 + b"{}"
    check("too large: refused", TOO_LARGE, lib.corvane_feed_publish(feed_handle, big, len(big), 1, 0))
    check("too large: says the limit", True, "4096" in message(feed_handle))
    check("empty: refused", BAD_ARGUMENT, lib.corvane_feed_publish(feed_handle, b"", 0, 1, 0))
    check("no document: refused", BAD_ARGUMENT,
          lib.corvane_feed_publish(feed_handle, None, 5, 1, 0))
    check("no handle: refused", BAD_ARGUMENT, lib.corvane_feed_publish(None, text, len(text), 1, 0))
    check("no handle: a message all the same", True, len(message(None)) > 0)
    code, seen = inspect_block()
    check("refusals: the block unchanged", [0, "7.5%"], [code, seen["rows"][2]["value"]])
    check("success after a refusal: OK", OK, lib.corvane_feed_publish(feed_handle, text, len(text), 0, 0))
    check("... and the refusal's message is gone", "", message(feed_handle))
    lib.corvane_feed_close(feed_handle)
    lib.corvane_feed_close(None)

    # A block that cannot be made: a handle all the same, which says why.
    failed = ctypes.c_void_p()
    check("bad name: refused", BAD_ARGUMENT, lib.corvane_feed_open(b"a/b", ctypes.byref(failed)))
    check("bad name: a handle that says why", [True, True],
          [failed.value is not None, "'/'" in message(failed)])
    check("bad name: publishing fails", FAILED, lib.corvane_feed_publish(failed, text, len(text), 1, 0))
    check("bad name: ... and says so", True, "not created" in message(failed))
    lib.corvane_feed_close(failed)
    check("no place for the handle: refused", BAD_ARGUMENT, lib.corvane_feed_open(None, None))
    # A name POSIX shared memory refuses (longer than a file name may be).
    check("system refuses: FAILED", FAILED,
          lib.corvane_feed_open(b"x" * 300, ctypes.byref(failed)))
    check("system refuses: the system error", True, "system error" in message(failed))
    lib.corvane_feed_close(failed)
finally:
    subprocess.run([feed, "--remove", "--name", name], capture_output=True)

finish()
