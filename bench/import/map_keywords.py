#!/usr/bin/env python3
"""Prints every keyword a document's map holds, one per line: term, path#anchor, type.
   bench/import/map_keywords.py TOMELET DOCUMENT"""
import subprocess
import sys

tomelet, document = sys.argv[1], sys.argv[2]
text = subprocess.run([tomelet, "cat", document, "--", "-map-"], check=True,
                      capture_output=True).stdout.decode("utf-8", "replace")
lines = text.split("\n")
typed = int(lines[0].split()[1]) >= 2
at = 1
count = int(lines[at].split()[1]); at += 1 + count
pages = []
count = int(lines[at].split()[1]); at += 1
for line in lines[at:at + count]:
    pages.append(line.split("\t", 1)[0])
at += count
count = int(lines[at].split()[1]); at += 1
out = sys.stdout
for line in lines[at:at + count]:
    fields = line.split("\t", 4 if typed else 3)
    kind, page, anchor = fields[0], pages[int(fields[1])], fields[2]
    kind_type = fields[3] if typed else ""
    term = fields[-1]
    link = page + ("#" + anchor if anchor else "")
    out.write(f"{term}\t{link}\t{kind_type}\n")
