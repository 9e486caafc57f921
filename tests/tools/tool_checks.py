"""Shared by the Python tool tests, as tool_test_lib.sh is by the shell ones: checks that
count, and the closing line and exit code."""
import sys

failures = 0


def check(what, expected, actual):
    global failures
    if expected == actual:
        print(f"ok   {what}")
    else:
        print(f"FAIL {what}: expected [{expected}], got [{actual}]")
        failures += 1


def finish():
    print("all passed" if failures == 0 else f"{failures} failed")
    sys.exit(1 if failures else 0)
