"""Reads a BIDS validator's JSON output (--json), for legacy_report.py and schema_report.py."""
import json
import sys


def read(path, *keys):
    """The output's issues under keys (each a path into output["issues"]) and its summary; exits 2,
    saying why, when the file holds no validation."""
    try:
        output = json.load(open(path, encoding="utf-8"))
        return [output["issues"][key] for key in keys], output["summary"]
    except (OSError, ValueError, KeyError) as error:
        print(f"no validation in {path}: {error}")
        sys.exit(2)
