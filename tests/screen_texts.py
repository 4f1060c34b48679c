#!/usr/bin/env python3
"""Finds words a screen or a box would show that bypass the table of texts.

Usage: screen_texts.py TEXTS_H FILE...

Every string literal given to a call that puts text on a screen or in a box (a control's caption, a
message box, the pilot's mark, a failure box, the results' reports) must be a key of the table in
TEXTS_H, a control's name, or hold no word; and every key the code asks the table for must be in it.
Exits 1, naming file and line, on any that is not.
"""
import re
import sys

# Calls whose arguments reach a screen or a box.
SHOWN = re.compile(
    r"\b(MsgBox|SetCaption|SetMark|ReportFailure|Report|ReportKept|Fail|fail|notices\.push_back|skipped\.push_back"
    r"|MenuButton"
    r"|Labels|ShowFailureBox|ShowMessageBox|ModalMessageBox|SetText|Say)\s*[({]"
    r"|\b(Label|Button|TextView)\s+\w+\s*\{"
    r"|\b(Label\d+|Command\d+|RichTextBox\d+)\s*\(\s*\*this"
    r"|\.(announcement|caption)\s*=")
LITERAL = re.compile(r'"((?:[^"\\]|\\.)*)"')
# Names of controls and screens, as the trace and the hosts know them.
CONTROL_NAME = re.compile(
    r"^((Label|Command|Text|Shape|Frame|RichTextBox|Timer|MMControl)\d+|Greet|Instruction|Display|Blanke|myDebug)$")
# The parts of a file's name.
FILE_NAME = re.compile(r"^[\w.-]*\.(tsv|json|txt|ini|po)$")
ASKED = re.compile(r'\b(?:(?:Text|Get|EnglishText)\(|SettingsNote\{)\s*"([^"]*)"')
# Data a box shows as typed rather than words of the program (the initials the shortcut fills in).
DATA_TEXTS = {"kvt"}


def table_keys(path):
    source = open(path, encoding="utf-8").read()
    return set(re.findall(r'^\s*\{"([a-z0-9.-]+)",', source, re.M))


def arguments(source, start):
    """The text from start to the bracket that closes the one opened just before it."""
    depth = 0
    at = start
    while at < len(source):
        char = source[at]
        if char == '"':
            match = LITERAL.match(source, at)
            at = match.end() if match else at + 1
            continue
        if char in "({":
            depth += 1
        elif char in ")}" and depth == 0:
            return source[start:at]
        elif char in ")}":
            depth -= 1
            if depth == 0:
                return source[start:at + 1]
        elif char in ",;" and depth == 0 and source[start] == ".":
            return source[start:at]
        at += 1
    return source[start:]


def scan(path, keys):
    faults = []
    source = open(path, encoding="utf-8").read()
    line_of = lambda offset: source.count("\n", 0, offset) + 1
    # Comments say what texts mean; they are not shown.
    code = re.sub(r"//[^\n]*", lambda m: " " * len(m.group(0)), source)
    for match in ASKED.finditer(code):
        if match.group(1) not in keys:
            faults.append(f"{path}:{line_of(match.start())}: no text \"{match.group(1)}\" in the table")
    for match in SHOWN.finditer(code):
        call = arguments(code, match.start() if match.group(0).startswith(".") else match.end() - 1)
        for literal in LITERAL.finditer(call):
            text = literal.group(1)
            if text in keys or CONTROL_NAME.match(text) or FILE_NAME.match(text) or text in DATA_TEXTS:
                continue
            # The name of a value put into a text: {"path", path}.
            if re.match(r"^[a-z]+$", text) and re.search(r"\{\s*$", call[:literal.start()]):
                continue
            # No word: an empty text, a stimulus letter, separators.
            if not re.search(r"[A-Za-z]{2}", text):
                continue
            offset = (match.start() if match.group(0).startswith(".") else match.end() - 1) + literal.start()
            faults.append(f"{path}:{line_of(offset)}: \"{text}\" is shown but not taken from the table of texts")
    return faults


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    keys = table_keys(sys.argv[1])
    if not keys:
        print(f"{sys.argv[1]}: no table of texts found", file=sys.stderr)
        return 2
    faults = [fault for path in sys.argv[2:] for fault in scan(path, keys)]
    for fault in faults:
        print(fault)
    print(f"{len(sys.argv) - 2} files, {len(faults)} texts outside the table")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
