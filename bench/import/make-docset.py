#!/usr/bin/env python3
"""Makes a docset in Dash's layout from a Sphinx build: its pages copied in as the documents,
   docSet.dsidx's searchIndex from objects.inv, Info.plist naming the start page.
   bench/import/make-docset.py SPHINX_HTML_FOLDER OUT.docset"""
import os
import re
import shutil
import sqlite3
import sys
import zlib

html, docset = sys.argv[1], sys.argv[2]
resources = os.path.join(docset, "Contents", "Resources")
os.makedirs(resources, exist_ok=True)
documents = os.path.join(resources, "Documents")
if not os.path.exists(documents):
    shutil.copytree(html, documents)
with open(os.path.join(html, "objects.inv"), "rb") as inventory:
    for _ in range(4):
        inventory.readline()
    lines = zlib.decompress(inventory.read()).decode("utf-8").splitlines()
# Dash's own names for Sphinx roles; others keep the role's name with a capital.
dash_types = {"function": "Function", "class": "Class", "method": "Method", "module": "Module",
              "attribute": "Attribute", "exception": "Exception", "data": "Variable",
              "classmethod": "Method", "staticmethod": "Method", "term": "Word",
              "opcode": "Operator", "pdbcommand": "Command", "2to3fixer": "Guide"}
# Names may hold spaces; the role and priority after them tell where a name ends.
entry = re.compile(r"(.+?)\s+(\S+:\S+)\s+(-?\d+)\s+(\S*)\s+(.*)")
rows = []
for line in lines:
    match = entry.fullmatch(line)
    if not match:
        continue
    name, role, _priority, uri, display = match.groups()
    if role in ("std:doc", "std:label"):
        continue
    if uri.endswith("$"):
        uri = uri[:-1] + name
    kind = role.split(":", 1)[1]
    rows.append((display if display != "-" else name, dash_types.get(kind, kind.capitalize()), uri))
database = os.path.join(resources, "docSet.dsidx")
if os.path.exists(database):
    os.remove(database)
connection = sqlite3.connect(database)
connection.execute("CREATE TABLE searchIndex(id INTEGER PRIMARY KEY, name TEXT, type TEXT, path TEXT)")
connection.executemany("INSERT INTO searchIndex(name, type, path) VALUES (?, ?, ?)", rows)
connection.commit()
connection.close()
with open(os.path.join(docset, "Contents", "Info.plist"), "w") as info:
    info.write('<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>'
               "<key>CFBundleIdentifier</key><string>python</string>"
               "<key>CFBundleName</key><string>Python 3.11</string>"
               "<key>DocSetPlatformFamily</key><string>python</string>"
               "<key>dashIndexFilePath</key><string>index.html</string>"
               "<key>isDashDocset</key><true/></dict></plist>\n")
print(len(rows))
