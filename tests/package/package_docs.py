#!/usr/bin/env python3
"""Every relative link and path that the package's docs name resolves inside the unpacked
package: Markdown links (and their #anchors, to a heading of that page), paths in code spans,
and in any text (the plain-text pages, the header's and the sample's comments, code blocks) a
path that starts at a folder of the package or of Corvane's source tree, where a page written
for the source would point. Prints "ok <page>: <path>" per path found, and one line per path
that does not resolve.

    package_docs.py <unpacked package> <page>...
"""
import glob
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1])
pages = sys.argv[2:]

# The package's top folders, and the source tree's, whose paths a package page must not name.
PACKAGE_FOLDERS = sorted(p.name for p in root.iterdir() if p.is_dir())
SOURCE_FOLDERS = ["base", "bench", "build", "cmake", "docs", "keys", "scripts", "src", "tests"]
SEGMENT = r"[\w.*{}-]+"
PATH = rf"{SEGMENT}(?:[/\\]{SEGMENT})+"
folder_path = re.compile(
    rf"(?<![\w./\\<>:%-])((?:{'|'.join(PACKAGE_FOLDERS + SOURCE_FOLDERS)})(?:[/\\]{SEGMENT})+)")
markdown_link = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")


def anchors(page):
    """GitHub's anchors of the page's headings: lower case, spaces to '-', punctuation gone."""
    text = page.read_text(encoding="utf-8")
    return {re.sub(r"[^\w\- ]", "", h.strip().lower()).replace(" ", "-")
            for h in re.findall(r"^#+ (.*)$", text, flags=re.M)}


def resolves(path):
    path = path.replace("\\", "/").rstrip("/.,;:")
    return bool(glob.glob(str(root / path))) if "*" in path else (root / path).exists()


problems = 0


def report(page, path, good):
    global problems
    if good:
        print(f"ok {page}: {path}")
    else:
        problems += 1
        print(f"{page}: '{path}' is not in the package")


for page in pages:
    text = (root / page).read_text(encoding="utf-8")
    found = set()
    if page.endswith(".md"):
        prose = re.sub(r"^(```|    ).*$", "", text, flags=re.M)
        for target in markdown_link.findall(re.sub(r"`[^`\n]*`", "", prose)):
            if re.match(r"^[a-z]+:", target):
                continue  # a web address: not a file of the package
            path, _, anchor = target.partition("#")
            target_page = root / path if path else root / page
            good = target_page.exists() and (
                not anchor or target_page.suffix != ".md" or anchor in anchors(target_page))
            report(page, target, good)
            found.add(path)
        for span in re.findall(r"`([^`\n]+)`", prose):
            # A path, not a figure such as 2.0/8.0GB: a file name's extension or a folder.
            looks_like_path = re.search(r"\.[A-Za-z]{1,5}$", span) or span.split("/")[0] in (
                PACKAGE_FOLDERS + SOURCE_FOLDERS)
            if re.fullmatch(PATH, span) and looks_like_path and span not in found:
                report(page, span, resolves(span))
                found.add(span)
    for path in folder_path.findall(text):
        if path not in found:
            report(page, path, resolves(path))
            found.add(path)

sys.exit(1 if problems else 0)
