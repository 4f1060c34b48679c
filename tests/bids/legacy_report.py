"""The legacy BIDS validator's JSON output (--json) in a few lines: its summary, each issue with its
severity, how often it came and where first; every error in full. Exits 1 when it found an error, 2
when the output is no validation's.

One error is the legacy validator's alone and is reported, not counted: it reads every key of an events
sidecar but StimulusPresentation as a column's description, so it fails the task keys BIDS puts there
(TaskName, TaskDescription, Instructions), which the schema-based validator BIDS maintains recommends.
Any other error of that code, on any other key or file, counts.
    legacy_report.py OUTPUT.json"""
import sys

import validation_output

TASK_KEYS = ("TaskName", "TaskDescription", "Instructions")
SCHEMA_ERROR = 55  # JSON_SCHEMA_VALIDATION_ERROR


def task_key_misread(issue, file):
    path = (file.get("file") or {}).get("relativePath", "")
    return (issue["code"] == SCHEMA_ERROR and path.endswith("_events.json")
            and file.get("evidence") in {f"['{key}'] should be object" for key in TASK_KEYS})


(errors, warnings), summary = validation_output.read(sys.argv[1], "errors", "warnings")

print(f"legacy validator: {summary['totalFiles']} files, {len(summary['subjects'])} subjects, "
      f"tasks {', '.join(summary['tasks']) or 'none'}")
counted = 0
misread = 0
for issue in errors:
    files = [file for file in issue["files"] if not task_key_misread(issue, file)]
    misread += len(issue["files"]) - len(files)
    if not files and issue["files"]:
        continue
    counted += 1
    print(f"  [ERR] {issue['key']}: {issue['reason']}")
    for file in files:
        print(f"    {file['file']['relativePath'] if file.get('file') else ''}: {file.get('evidence')}")
for issue in warnings:
    where = issue["files"][0]["file"]["relativePath"] if issue["files"] and issue["files"][0].get("file") else ""
    more = f" and {len(issue['files']) - 1} more" if len(issue["files"]) > 1 else ""
    print(f"  [WARN] {issue['key']}{': ' + where if where else ''}{more}")
if misread:
    print(f"  (not counted: {misread} task keys of events sidecars read as column descriptions)")
print(f"legacy validator: {counted} errors, {len(warnings)} warnings")
sys.exit(1 if counted else 0)
