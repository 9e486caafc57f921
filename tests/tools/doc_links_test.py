#!/usr/bin/env python3
"""Every relative link in README.md and docs/*.md points to a file that exists, and a link
with an anchor (#section) to a heading of that page.

    doc_links_test.py REPOSITORY
"""
import pathlib
import re
import sys

from tool_checks import check, finish

repo = pathlib.Path(sys.argv[1])
pages = [repo / "README.md"] + sorted((repo / "docs").glob("*.md"))
# [text](target) and ![alt](target), not inside code spans or blocks.
link = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")


def prose(text):
    text = re.sub(r"^(```|    ).*$", "", text, flags=re.M)
    return re.sub(r"`[^`\n]*`", "", text)


def anchors(page):
    """GitHub's anchors of the page's headings: lower case, spaces to '-', punctuation gone."""
    names = set()
    for heading in re.findall(r"^#+ (.*)$", page.read_text(encoding="utf-8"), flags=re.M):
        names.add(re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-"))
    return names


for page in pages:
    for target in link.findall(prose(page.read_text(encoding="utf-8"))):
        if re.match(r"^[a-z]+:", target):
            continue  # a web address or mail link: not checked here
        path, _, anchor = target.partition("#")
        resolved = (page.parent / path).resolve() if path else page
        where = f"{page.relative_to(repo)}: {target}"
        check(f"{where}: the file exists", True, resolved.exists())
        if anchor and resolved.suffix == ".md" and resolved.exists():
            check(f"{where}: the heading exists", True, anchor in anchors(resolved))
check("pages with links were read", True, len(pages) > 1)
finish()
