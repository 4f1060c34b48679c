"""The schema-based BIDS validator's JSON output (--json) in a few lines: its summary, then each issue
code with its severity, how often it came and where first; every error in full. Exits 1 when the
validator found an error, 2 when the output is no validation's.
    schema_report.py OUTPUT.json"""
import collections
import json
import sys

import validation_output

(issues,), summary = validation_output.read(sys.argv[1], "issues")

print(f"schema validator: {summary['totalFiles']} files, {len(summary['subjects'])} subjects, "
      f"data types {', '.join(summary['dataTypes']) or 'none'}, schema {summary['schemaVersion']}")
by_code = collections.OrderedDict()
for issue in issues:
    by_code.setdefault((issue["severity"], issue["code"], issue.get("subCode", "")), []).append(issue)
for (severity, code, sub_code), found in sorted(by_code.items()):
    where = found[0].get("location", "")
    more = f" and {len(found) - 1} more" if len(found) > 1 else ""
    print(f"  [{severity.upper()}] {code}{' ' + sub_code if sub_code else ''}: {where}{more}")
errors = [issue for issue in issues if issue["severity"] == "error"]
for issue in errors:
    print("  error:", json.dumps(issue, ensure_ascii=False))
print(f"schema validator: {len(errors)} errors, {len(issues) - len(errors)} warnings")
sys.exit(1 if errors else 0)
