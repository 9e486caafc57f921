#!/usr/bin/env python3
"""The document's JSON Schema against the overlay's own parser (`corvane-feed --check`), with a
standard validator (Debian's python3-jsonschema, draft 2020-12):

- the host protocol page's example, the documents `corvane-feed --live` publishes and the fuzzers' seeds
  that the parser reads whole are valid; the seeds it stops on are not;
- every value of the host protocol page's example (each key, each entry, the top level and the style text
  inside "ui_style"), replaced in turn by null, a string, a boolean, a number, an object and an
  array: the schema rejects the document exactly when the parser stops on it, and the parser
  names the replaced value.

    document_schema_test.py FEED HOST_PROTOCOL_PAGE SEEDS_DIR SCHEMA_DIR
"""
import copy
import json
import os
import pathlib
import re
import subprocess
import sys
import tempfile

import jsonschema

from tool_checks import check, finish

feed, protocol_page, seeds_dir, schema_dir = sys.argv[1:5]
work = pathlib.Path(tempfile.mkdtemp())


def load_schema(name):
    schema = json.loads((pathlib.Path(schema_dir) / name).read_text())
    jsonschema.Draft202012Validator.check_schema(schema)
    return jsonschema.Draft202012Validator(schema)


document_schema = load_schema("document.schema.json")
style_schema = load_schema("ui-style.schema.json")


def strict_json(text):
    """JSON as the overlay's parser takes it: no NaN or Infinity."""
    def refuse(constant):
        raise ValueError(constant)
    return json.loads(text, parse_constant=refuse)


def schema_errors(text):
    """What the schemas find wrong with a document's text (the style text is checked on its
    own: a validator does not look inside a string)."""
    try:
        document = strict_json(text)
    except ValueError:
        return ["not JSON"]
    errors = [e.message for e in document_schema.iter_errors(document)]
    style = document.get("ui_style") if isinstance(document, dict) else None
    if isinstance(style, str):
        try:
            errors += ["ui_style: " + e.message for e in style_schema.iter_errors(strict_json(style))]
        except ValueError:
            pass  # a style text that is not JSON is ignored by the overlay
    return errors


def parser_check(text):
    """(read whole, the key it stopped at or None) from corvane-feed --check."""
    path = work / "doc.json"
    path.write_text(text)
    done = subprocess.run([feed, "--check", str(path)], capture_output=True, text=True)
    line = done.stdout.strip()
    if done.returncode == 0:
        return True, None
    found = re.search(r'(?:stops at|leaves out) (?:"([^"]*)"|(the top level))', line)
    return False, (found.group(1) or "") if found else line


def protocol_page_example():
    text = pathlib.Path(protocol_page).read_text()
    section = text[text.index("# For host developers"):]
    block = re.search(r"For example:\n\n((?:    .*\n)+)", section).group(1)
    return "\n".join(line[4:] for line in block.splitlines())


def live_documents():
    name = f"corvane-schema-test-{os.getpid()}"
    fps_file = work / "fps.txt"
    fps_file.write_text("59.5\n" + " ".join(["16.7"] * 250 + ["50.2"]) + "\n")
    runs = [["--live", "--once"],
            ["--live", "--once", "--game-id", "12345", "--fps-file", str(fps_file),
             "--style", '{"alpha": 60, "pos": "bottom-right", "font-color": "#00ff80"}']]
    documents = []
    try:
        for args in runs:
            subprocess.run([feed, "--name", name, *args], check=True)
            block = pathlib.Path("/dev/shm", name).read_bytes()
            length = int.from_bytes(block[12:16], "little")
            documents.append(block[20:20 + length].decode())
    finally:
        subprocess.run([feed, "--remove", "--name", name], capture_output=True)
    return documents


# Documents that must be read whole, and valid.
example = protocol_page_example()
live = live_documents()
check("live: the second has a frame rate and a style", True,
      "fps" in strict_json(live[1]) and "ui_style" in strict_json(live[1]))
live_game = strict_json(live[1])["fps"][0]
check("live: the newest 200 frame times and the lows of all of them",
      (200, 50.2, 59.9, 19.9),
      (len(live_game.get("frame_ms", [])), live_game.get("frame_ms", [0])[-1], live_game.get("low1"),
       live_game.get("low01")))
for what, text in [("protocol page example", example), ("live", live[0]), ("live with game", live[1])]:
    check(f"{what}: read whole", (True, None), parser_check(text))
    check(f"{what}: valid", [], schema_errors(text))

# The seeds: valid exactly when read whole (both kinds are among them).
verdicts = set()
for seed in sorted(pathlib.Path(seeds_dir).glob("*.json")):
    text = seed.read_text()
    whole, _ = parser_check(text)
    verdicts.add(whole)
    check(f"seed {seed.name}: valid as it is read whole ({whole})", whole, not schema_errors(text))
check("seeds: some read whole, some not", {True, False}, verdicts)


def nodes(value, path=""):
    """(check's path, getter/setter path) of every value inside `value`."""
    if isinstance(value, dict):
        for key, inner in value.items():
            inner_path = f"{path}.{key}" if path else key
            yield inner_path, (key,)
            for sub_path, steps in nodes(inner, inner_path):
                yield sub_path, (key, *steps)
    elif isinstance(value, list):
        for index, inner in enumerate(value):
            inner_path = f"{path}[{index}]"
            yield inner_path, (index,)
            for sub_path, steps in nodes(inner, inner_path):
                yield sub_path, (index, *steps)


def replaced(document, steps, value):
    changed = copy.deepcopy(document)
    target = changed
    for step in steps[:-1]:
        target = target[step]
    target[steps[-1]] = value
    return changed


# The protocol page's example with each value replaced: inside the document, and inside its style.
replacements = [None, "12", True, 7, {"a": 1}, [1]]
base = strict_json(example)
style = strict_json(base["ui_style"])
cases = [("", lambda v: v)]  # the top level itself
cases += [(path, lambda v, s=steps: replaced(base, s, v)) for path, steps in nodes(base)]
cases += [("ui_style", lambda v: dict(base, ui_style=json.dumps(v)))]
cases += [(f"ui_style.{path}", lambda v, s=steps: dict(base, ui_style=json.dumps(replaced(style, s, v))))
          for path, steps in nodes(style)]
agreements = stops = 0
for path, make in cases:
    for value in replacements:
        text = json.dumps(make(value))
        whole, key = parser_check(text)
        errors = schema_errors(text)
        what = f"{path or '(top level)'} = {json.dumps(value)}"
        check(f"{what}: the schema rejects it as the parser stops", not whole, bool(errors))
        if not whole:
            stops += 1
            # The value itself, or one inside it (an entry of an array put in place of one).
            named = key == path or key.startswith(path + "[") or key.startswith(path + ".")
            check(f"{what}: the parser names it ({key})", True, named)
        agreements += 1
print(f"{agreements} replacements, {stops} of them stop the parser")
check("replacements: many stop the parser, many do not", True, 30 < stops < agreements - 30)

finish()
