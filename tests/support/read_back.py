#!/usr/bin/env python3
"""Reads quillmot's -F csv or -F json output back with Python's own csv and json modules and
checks that every record gives back the texts it was made from, read as a user reads them: the
whole output strictly as UTF-8 text, and what is not UTF-8 in a text replaced as Python's own
decoder replaces it (U+FFFD for each maximal invalid part). Prints one line per difference,
nothing when all is well.

  read_back.py csv|json LEVEL DELIMITER RECORD_END < output
  the records it was made from on file descriptor 3: one a line, "HEXNAME ID HEXCOMMENT"
"""
import csv
import io
import json
import os
import sys

form, level, delimiter, record_end = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
records = []
with os.fdopen(3) as made:
    for line in made:
        name, gid, comment = (line.rstrip("\n").split(" ") + ["", "", ""])[:3]
        records.append((bytes.fromhex(name), int(gid), bytes.fromhex(comment)))
keys = ["name", "id", "description"][: level + 1]
data = sys.stdin.buffer.read()
problems = []


def expect(what, got, wanted):
    if got != wanted:
        problems.append("%s: got %r, wanted %r" % (what, got, wanted))


def carried(text):
    return text.decode("utf-8", errors="replace")


if form == "csv":
    text = data.decode("utf-8")  # strictly, as csv in text mode, pandas and csvkit read it
    record_end = record_end.encode().decode("unicode_escape")
    expect("the file's end", text[-len(record_end):] if text else "", record_end if text else "")
    rows = list(csv.reader(io.StringIO(text, newline=""), delimiter=delimiter, strict=True))
    expect("header", rows[:1], [keys])
    expect("records", len(rows) - 1, len(records))
    for row, (name, gid, comment) in zip(rows[1:], records):
        wanted = [carried(name), str(gid), carried(comment)][: level + 1]
        expect("record of %d" % gid, row, wanted)
else:
    expect("the file's end", data[-1:], b"\n" if records else b"")
    lines = data.decode("utf-8").split("\n")[:-1]  # strictly UTF-8, as JSON must be
    expect("records", len(lines), len(records))
    for line, (name, gid, comment) in zip(lines, records):
        obj = json.loads(line)
        expect("keys of %d" % gid, list(obj), keys)
        wanted = {"name": carried(name), "id": gid, "description": carried(comment)}
        for key in keys:
            expect("%s of %d" % (key, gid), obj.get(key), wanted[key])
for problem in problems:
    print(problem)
