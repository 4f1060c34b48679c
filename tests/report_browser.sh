#!/usr/bin/env bash
# The report's page in a real browser (headless Chromium): made from whole runs on the test host, it
# draws every figure as SVG with its marks, with no script error, and fetches nothing from the network;
# a page that does fetch is caught by the same check. The dataset with the report among its
# derivatives still passes both BIDS validators, when they are given (it does not look into derivatives/,
# so the derivative's own description is checked here). Screenshots are left in
# $REPORT_SHOTS (report-shots/ beside the driver unless given) to be looked at.
#   report_browser.sh REPORT_DRIVER PELORIN_REPORT [BIDS_VALIDATOR]
set -euo pipefail
driver=$1
report=$2
validator=${3:-}
command -v chromium >/dev/null || { echo "SKIP: no chromium"; exit 77; }
command -v python3 >/dev/null || { echo "SKIP: no python3"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
shots=${REPORT_SHOTS:-$(dirname "$driver")/report-shots}
mkdir -p "$shots"

"$driver" "$work" >/dev/null
"$report" "$work/Res_Data" >/dev/null
page=$work/Res_Data/derivatives/pelorin-report/index.html
test -s "$work/Res_Data/derivatives/pelorin-report/dataset_description.json"
if [ -x "$validator" ]; then
  fail() { echo "FAIL: the dataset with its report: $*"; exit 1; }
  source "$(dirname "$0")/bids/check_dataset.sh"
  check_validators "$work/Res_Data" "$validator"
else
  echo "note: no BIDS validator at '$validator' (scripts/install-validator): the dataset with its report is not validated"
fi

# Chromium's own background requests carry no page as their initiator; the page's would.
browse() {
  local name=$1
  shift
  chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
    --disable-component-update --disable-sync --user-data-dir="$work/profile-$name" --virtual-time-budget=30000 \
    --log-net-log="$work/$name.netlog.json" "$@" 2>"$work/$name.chromium.log"
}

browse page --dump-dom "file://$page" >"$work/dom.html"
browse shot --hide-scrollbars --window-size=1100,5200 --screenshot="$shots/report.png" "file://$page" >/dev/null
browse print --print-to-pdf="$shots/report.pdf" --no-pdf-header-footer "file://$page" >/dev/null

# A copy of the page that fetches an image and has no policy to stop it: the network check must see it.
sed -e 's|<meta http-equiv="Content-Security-Policy"[^>]*>||' \
    -e 's|<body>|<body><img src="http://127.0.0.1:9/probe.png" alt="">|' "$page" >"$work/fetching.html"
browse fetching --dump-dom "file://$work/fetching.html" >/dev/null

# A line that cannot be read, and a run that cannot be read at all: the page is still written, naming
# both, and the exit code says something was skipped.
printf '12.5\tgarbage\n' >>"$work/Res_Data/sub-1/beh/sub-1_task-dualtask_events.tsv"
sed -i '1s/^onset/start/' "$work/Res_Data/sub-2/beh/sub-2_task-dualtask_events.tsv"
"$report" "$work/Res_Data" -o "$work/broken.html" >/dev/null 2>"$work/broken.txt" && status=0 || status=$?
if [ "$status" != 1 ]; then
  echo "pelorin-report exit code $status, not 1, with a malformed line and file: $(cat "$work/broken.txt")"
  exit 1
fi
grep -q "skipped .*sub-1_task-dualtask_events.tsv: line [0-9]*: 2 columns, not 14" "$work/broken.txt" ||
  { echo "pelorin-report did not name the malformed line: $(cat "$work/broken.txt")"; exit 1; }
grep -q "skipped .*sub-2_task-dualtask_events.tsv: line 1: not the header of an events file" "$work/broken.txt" ||
  { echo "pelorin-report did not name the malformed file: $(cat "$work/broken.txt")"; exit 1; }
grep -q 'data-flag="unreadable"' "$work/broken.html" || { echo "the page does not flag the malformed file"; exit 1; }
grep -q '<li class="skipped">.*sub-1_task-dualtask_events.tsv: line [0-9]*:' "$work/broken.html" ||
  { echo "the page does not name the malformed line"; exit 1; }

python3 - "$page" "$work" "$shots" <<'PY'
import json, re, sys
from html.parser import HTMLParser

page_path, work, shots = sys.argv[1:4]
page = open(page_path, encoding="utf-8").read()
dom = open(work + "/dom.html", encoding="utf-8").read()
failures = []

# The derivative's description, as BIDS asks of one (the validator leaves derivatives/ out).
import os
description = json.load(open(os.path.join(os.path.dirname(page_path), "dataset_description.json")))
if description.get("DatasetType") != "derivative" or not description.get("Name") or \
        not description.get("BIDSVersion") or description.get("GeneratedBy", [{}])[0].get("Name") != "pelorin-report":
    failures.append("the derivative's dataset_description.json: %s" % description)

def page_requests(netlog):
    log = json.load(open(netlog))
    names = {number: name for name, number in log["constants"]["logEventTypes"].items()}
    urls = []
    for event in log["events"]:
        params = event.get("params", {})
        url = params.get("url", "")
        if names[event["type"]] != "URL_REQUEST_START_JOB" or not url or params.get("initiator") == "not an origin":
            continue
        if not url.startswith(("file:", "data:", "blob:", "about:", "chrome:")):
            urls.append(url)
    return urls

# Nothing fetched: not by the page, and the check finds a page that does.
fetched = page_requests(work + "/page.netlog.json") + page_requests(work + "/shot.netlog.json")
if fetched:
    failures.append("the page fetched: %s" % fetched)
if not any("probe.png" in (url or "") for url in page_requests(work + "/fetching.netlog.json")):
    failures.append("the network check did not see the fetching page's request")
# Nothing in the page points outside it.
markup = re.sub(r"<script>.*?</script>", "", page, flags=re.S)
for attribute in re.findall(r'(?:src|href)\s*=\s*"([^"#][^"]*)"', markup):
    failures.append("the page refers to %s" % attribute)

# Every figure drawn, and no script error.
figures = re.findall(r'<div class="figure" id="([^"]+)"></div>', page)
drawn = re.search(r'data-figures-drawn="(\d+)"', dom)
if not drawn or int(drawn.group(1)) != len(figures):
    failures.append("figures drawn: %s of %d" % (drawn.group(1) if drawn else "none", len(figures)))
for marker in ("data-script-errors", "data-figures-failed"):
    found = re.search(marker + r'="([^"]*)"', dom)
    if found:
        failures.append("%s: %s" % (marker, found.group(1)))

# Per figure, the marks drawn in its SVG: each role-mark group and how many items it holds.
class Figures(HTMLParser):
    def __init__(self):
        super().__init__()
        self.stack = []          # (tag, figure id or None, mark group or None)
        self.svgs = {}
        self.marks = {}
    def handle_starttag(self, tag, attributes):
        attributes = dict(attributes)
        figure = self.stack[-1][1] if self.stack else None
        group = self.stack[-1][2] if self.stack else None
        classes = (attributes.get("class") or "").split()
        if tag == "div" and "figure" in classes:
            figure = attributes.get("id")
        if figure and tag == "svg":
            self.svgs[figure] = self.svgs.get(figure, 0) + 1
        if figure and tag == "g" and "role-mark" in classes:
            group = classes[0]
        if figure and group and tag == "path" and attributes.get("role") == "graphics-symbol":
            marks = self.marks.setdefault(figure, {})
            marks[group] = marks.get(group, 0) + 1
        if tag not in ("path", "br", "img", "meta", "input", "line", "rect", "circle"):
            self.stack.append((tag, figure, group))
    def handle_endtag(self, tag):
        for index in range(len(self.stack) - 1, -1, -1):
            if self.stack[index][0] == tag:
                del self.stack[index:]
                break

parser = Figures()
parser.feed(dom)
for figure in figures:
    if parser.svgs.get(figure) != 1:
        failures.append("%s: %s SVG elements, not one" % (figure, parser.svgs.get(figure, 0)))
        continue
    marks = parser.marks.get(figure, {})
    wanted = ["mark-rect", "mark-symbol", "mark-line"]
    for kind in wanted:
        if not marks.get(kind):
            failures.append("%s: no %s drawn (%s)" % (figure, kind, marks))

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("%d figures drawn as SVG, each with its marks; nothing fetched; screenshot in %s/report.png" % (len(figures), shots))
PY
