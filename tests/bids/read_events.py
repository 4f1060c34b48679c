"""Reads every events file of a dataset as a pandas user does and checks what each column becomes.

    read_events.py DATASET COLUMNS [KEY...]

COLUMNS is the vocabulary's list of the events columns, one "name<TAB>numeric|text" a line, in their
order. Every file must give the header's columns, as many rows as it has lines after the header,
numbers in the numeric columns and text in the others, whether read alone or all files together; the
KEYs named must each be in some file's key column.
"""
import glob
import json
import os
import sys

import pandas as pd


def fail(message):
    print("read_events.py: " + message)
    sys.exit(1)


def check_types(frame, numeric, where):
    for column in frame.columns:
        kind = frame[column].dtype
        values = frame[column].dropna()
        if len(values) == 0:
            # A column with nothing in it (a file of the header alone) has no type to read.
            continue
        if numeric[column]:
            if not pd.api.types.is_numeric_dtype(kind):
                fail("%s: column %s read as %s, not numbers: %s" % (where, column, kind, list(values.unique())[:5]))
        else:
            # Text stays text: no cell of a text column is taken for a number.
            if kind != object or any(not isinstance(value, str) for value in values):
                fail("%s: column %s read as %s, not text: %s" % (where, column, kind, list(values.unique())[:5]))


def check_sidecar(path, names):
    sidecar_path = path[: -len(".tsv")] + ".json"
    with open(sidecar_path, encoding="utf-8") as handle:
        sidecar = json.load(handle)
    # Every cell as the text it is, to set beside the levels.
    cells = pd.read_csv(path, sep="\t", dtype=str, keep_default_na=False)
    for column in names:
        entry = sidecar.get(column)
        if not isinstance(entry, dict) or not entry.get("LongName") or not entry.get("Description"):
            fail("%s does not describe the column %s" % (sidecar_path, column))
        levels = entry.get("Levels")
        if levels:
            unknown = set(cells[column]) - set(levels) - {"n/a"}
            if unknown:
                fail("%s: column %s holds %s, not among its levels" % (path, column, sorted(unknown)))


def main():
    dataset, columns_file = sys.argv[1], sys.argv[2]
    expected_keys = sys.argv[3:]
    with open(columns_file, encoding="utf-8") as handle:
        vocabulary = [line.rstrip("\n").split("\t") for line in handle if line.strip()]
    names = [name for name, _ in vocabulary]
    numeric = {name: kind == "numeric" for name, kind in vocabulary}

    paths = sorted(glob.glob(os.path.join(dataset, "sub-*", "beh", "*_events.tsv")))
    if not paths:
        fail("no events files in " + dataset)
    frames = []
    for path in paths:
        frame = pd.read_csv(path, sep="\t", na_values="n/a")
        with open(path, encoding="utf-8", newline="") as handle:
            lines = handle.read().count("\n")
        if list(frame.columns) != names:
            fail("%s: columns %s" % (path, list(frame.columns)))
        if len(frame) != lines - 1:
            fail("%s: %d rows read of %d" % (path, len(frame), lines - 1))
        check_types(frame, numeric, path)
        check_sidecar(path, names)
        frames.append(frame)
    together = pd.concat(frames, ignore_index=True)
    check_types(together, numeric, "all files together")
    keys = set(together["key"].dropna())
    for key in expected_keys:
        if key not in keys:
            fail("no key %r in %s" % (key, sorted(keys)))
    print("pandas read %d events files, %d rows: %s" % (
        len(paths), len(together),
        ", ".join("%s %s" % (column, together[column].dtype) for column in together.columns)))


main()
