#include "report.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <set>
#include <tuple>

#include "measure/stats.h"
#include "records/json.h"
#include "report_scripts.h"
#include "tasks/task_table.h"

namespace pelorin {

namespace {

using measure::Fixed;

// ---- Text for HTML and JSON ----

std::string Html(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

// Every JSON text of the page is read from a script element.
std::string Json(std::string_view text) { return ScriptJsonString(text); }

std::string Seconds(int64_t micros) { return Fixed(double(micros) / 1e6, 3); }

// A JSON object from fields whose values are JSON already.
std::string Object(std::initializer_list<std::pair<std::string_view, std::string>> fields) {
    std::string out = "{";
    for (auto& [name, value] : fields) {
        if (out.size() > 1) out += ",";
        out += Json(name) + ":" + value;
    }
    return out + "}";
}

std::string Array(const std::vector<std::string>& items) {
    std::string out = "[";
    for (const std::string& item : items) {
        if (out.size() > 1) out += ",";
        out += item;
    }
    return out + "]";
}

// The template with each placeholder replaced by its value in one pass, so that text a value brings in
// (a key typed as "@END@") is never taken for a placeholder.
std::string Fill(std::string_view text, std::initializer_list<std::pair<std::string_view, std::string>> values) {
    std::string out;
    for (size_t at = 0; at < text.size();) {
        size_t mark = text.find('@', at);
        out += text.substr(at, mark == std::string_view::npos ? std::string_view::npos : mark - at);
        if (mark == std::string_view::npos) break;
        at = mark + 1;
        for (auto& [name, value] : values) {
            if (text.substr(mark).starts_with(name)) {
                out += value;
                at = mark + name.size();
                break;
            }
        }
        if (at == mark + 1) out += '@';
    }
    return out;
}

std::optional<double> SecondsOf(const std::optional<int64_t>& micros) {
    if (!micros) return std::nullopt;
    return double(*micros) / 1e6;
}

// ---- Blocks ----

// Whether the task presents the channel's stimuli: keys of the other channel, or of none, may come in
// any block.
bool TaskHas(const std::string& task, const std::string& channel) { return TaskPresents(task, channel); }

// One block of a run: its rows, and where it starts and ends on the run's clock.
struct BlockRows {
    int number = 0;
    std::string task;
    int64_t startMicros = 0;
    int64_t endMicros = 0;
    std::vector<const EventRow*> rows;
};

std::vector<BlockRows> Blocks(const std::vector<EventRow>& rows) {
    std::map<int, BlockRows> blocks;
    for (const EventRow& row : rows) {
        if (!row.block) continue;
        auto [entry, added] = blocks.try_emplace(*row.block);
        BlockRows& block = entry->second;
        if (added) {
            block.number = *row.block;
            block.startMicros = row.onsetMicros;
        }
        if (row.trialType == "block_start") block.startMicros = row.onsetMicros;
        block.task = row.task;
        block.endMicros = std::max(block.endMicros, row.onsetMicros);
        block.rows.push_back(&row);
    }
    std::vector<BlockRows> out;
    for (auto& [number, block] : blocks) out.push_back(std::move(block));
    return out;
}

std::string QuitAnswer(const EventRow& row) { return row.quitAnswer; }

// The longest stretch of a block in which stimuli of the channel came and none was answered: from the
// block's start, or an answer, to the next answer or the block's end, less the time a quit question
// held the block. Seconds, and where it began.
std::pair<double, double> LongestUnanswered(const BlockRows& block, const std::string& channel) {
    std::vector<int64_t> marks{block.startMicros, block.endMicros};
    std::vector<int64_t> stimuli;
    std::vector<std::pair<int64_t, int64_t>> held;
    for (const EventRow* row : block.rows) {
        if (row->trialType == channel) stimuli.push_back(row->onsetMicros);
        if (row->trialType == "response" && ResponseChannel(*row) == channel && ScoredRight(*row)) {
            marks.push_back(row->onsetMicros);
        }
        if (row->trialType == "quit_question" && row->durationMicros) {
            held.emplace_back(row->onsetMicros, row->onsetMicros + *row->durationMicros);
        }
    }
    std::sort(marks.begin(), marks.end());
    std::sort(stimuli.begin(), stimuli.end());
    std::pair<double, double> longest{0, 0};
    auto stimulus = stimuli.begin();
    for (size_t i = 1; i < marks.size(); ++i) {
        int64_t from = marks[i - 1], to = marks[i];
        // The marks and the stimuli both in time order: one pass over each.
        while (stimulus != stimuli.end() && *stimulus < from) ++stimulus;
        bool presented = stimulus != stimuli.end() && *stimulus < to;
        int64_t length = to - from;
        for (auto [start, end] : held) length -= std::max<int64_t>(0, std::min(end, to) - std::max(start, from));
        if (presented && double(length) / 1e6 > longest.first) {
            longest = {double(length) / 1e6, double(from - block.startMicros) / 1e6};
        }
    }
    return longest;
}

std::string Where(const std::string& participantId, int run, int block = 0) {
    std::string where = participantId + " run " + std::to_string(run);
    if (block > 0) where += " block " + std::to_string(block);
    return where;
}

std::string BlockAnchor(const std::string& participantId, int run, int block) {
    return "block-" + participantId + "-run-" + std::to_string(run) + "-" + std::to_string(block);
}

std::string RunAnchor(const std::string& participantId, int run) {
    return "blocks-" + participantId + "-run-" + std::to_string(run);
}

// ---- The group ----

// One subject's share correct and median response time of a task's channel, from the first block of
// that task in the subject's runs.
struct GroupPoint {
    std::string subject;
    std::string channel;
    std::string condition;
    std::optional<double> share;
    std::optional<double> medianRt;
};

std::vector<GroupPoint> Group(const ReportDataset& dataset) {
    std::vector<GroupPoint> points;
    for (const ReportSubject& subject : dataset.subjects) {
        std::set<std::pair<std::string, std::string>> taken;
        for (const ReportRun& run : subject.runs) {
            for (const SummaryRow& summary : Summarize(run.data)) {
                if (!TaskHas(summary.task, summary.channel)) continue;
                std::string task = summary.task;
                if (!taken.insert({task, summary.channel}).second) continue;
                std::string condition = task == "dual" ? "in the dual block" : "alone";
                points.push_back({subject.participantId, summary.channel, condition, summary.shareCorrect,
                                  SecondsOf(summary.medianRtCorrectMicros)});
            }
        }
    }
    return points;
}

// ---- Charts ----

constexpr const char* CONFIG = R"vl({
  "font": "DejaVu Sans, Arial, Helvetica, sans-serif",
  "axis": {"labelFontSize": 11, "titleFontSize": 12, "titleFontWeight": "normal", "titleColor": "#000000", "labelColor": "#000000"},
  "legend": {"labelFontSize": 11, "titleFontSize": 11, "titleFontWeight": "normal", "orient": "right"},
  "header": {"labelFontSize": 12, "titleFontSize": 12},
  "view": {"stroke": "#b0b0b0"},
  "title": {"fontSize": 12, "fontWeight": "normal", "anchor": "start"}
})vl";

// Blue and orange of the Okabe-Ito set, told apart by colour-blind readers and, being far apart in
// lightness, in greyscale; the shapes differ too. The bars are black and grey, solid and dashed.
constexpr const char* OUTCOME_SCALE =
    R"vl({"domain": ["right", "wrong", "answered nothing"], "range": ["#0072B2", "#E69F00", "#7f7f7f"]})vl";
constexpr const char* OUTCOME_SHAPES =
    R"vl({"domain": ["right", "wrong", "answered nothing"], "range": ["circle", "cross", "square"]})vl";

constexpr const char* BLOCK_SPEC = R"vl({
  "datasets": @DATASETS@,
  "config": @CONFIG@,
  "title": @TITLE@,
  "spacing": 8,
  "vconcat": [
    {
      "width": 620, "height": 140,
      "layer": [
        {
          "data": {"name": "bars"},
          "mark": {"type": "line", "interpolate": "step-after", "strokeWidth": 1.6},
          "encoding": {
            "x": {"field": "t", "type": "quantitative", "scale": {"domain": [0, @END@], "nice": false}, "axis": {"title": null, "labels": false}},
            "y": {"field": "height", "type": "quantitative", "scale": {"domain": [0, 1]}, "axis": {"title": ["Bar height", "(share of screen)"], "format": ".0%", "tickCount": 5}},
            "color": {"field": "bar", "type": "nominal", "scale": {"domain": ["tone bar", "letter bar"], "range": ["#000000", "#8c8c8c"]}, "legend": {"title": "Bars"}},
            "strokeDash": {"field": "bar", "type": "nominal", "scale": {"domain": ["tone bar", "letter bar"], "range": [[1, 0], [6, 3]]}, "legend": {"title": "Bars"}}
          }
        },
        {
          "data": {"name": "endings"},
          "transform": [{"filter": "datum.kind == 'end'"}],
          "mark": {"type": "rule", "strokeWidth": 2, "color": "#000000"},
          "encoding": {"x": {"field": "t", "type": "quantitative"}}
        },
        {
          "data": {"name": "endings"},
          "transform": [{"filter": "datum.kind == 'question'"}],
          "mark": {"type": "rect", "color": "#000000", "opacity": 0.12},
          "encoding": {"x": {"field": "t", "type": "quantitative"}, "x2": {"field": "until"}}
        },
        {
          "data": {"name": "endings"},
          "transform": [{"filter": "datum.kind == 'question'"}],
          "mark": {"type": "rule", "strokeWidth": 2, "color": "#000000", "strokeDash": [2, 2]},
          "encoding": {"x": {"field": "t", "type": "quantitative"}}
        },
        {
          "data": {"name": "endings"},
          "mark": {"type": "text", "align": "right", "baseline": "top", "dx": -4, "fontSize": 11, "fontWeight": "bold"},
          "encoding": {
            "x": {"field": "t", "type": "quantitative"},
            "y": {"field": "labelAt", "type": "quantitative"},
            "text": {"field": "what", "type": "nominal"}
          }
        }
      ]
    },
    {
      "width": 620, "height": @ROWS_HEIGHT@,
      "layer": [
        {
          "data": {"name": "stimuli"},
          "mark": {"type": "tick", "thickness": 1.5, "color": "#000000"},
          "encoding": {
            "x": {"field": "t", "type": "quantitative", "scale": {"domain": [0, @END@], "nice": false}, "axis": {"title": null, "labels": false}},
            "y": {"field": "row", "type": "nominal", "scale": {"domain": @ROWS@}, "axis": {"title": null}},
            "tooltip": [{"field": "stimulus", "type": "nominal"}, {"field": "t", "type": "quantitative", "title": "time (s)"}]
          }
        },
        {
          "data": {"name": "keys"},
          "mark": {"type": "point", "filled": true, "size": 40, "opacity": 0.9},
          "encoding": {
            "x": {"field": "t", "type": "quantitative"},
            "y": {"field": "row", "type": "nominal", "scale": {"domain": @ROWS@}},
            "color": {"field": "outcome", "type": "nominal", "scale": @OUTCOME_SCALE@, "legend": {"title": "Keys"}},
            "shape": {"field": "outcome", "type": "nominal", "scale": @OUTCOME_SHAPES@, "legend": {"title": "Keys"}},
            "tooltip": [{"field": "key", "type": "nominal"}, {"field": "outcome", "type": "nominal"}, {"field": "t", "type": "quantitative", "title": "time (s)"}]
          }
        }
      ]
    },
    {
      "width": 620, "height": 110,
      "data": {"name": "times"},
      "mark": {"type": "point", "filled": true, "size": 34, "opacity": 0.9},
      "encoding": {
        "x": {"field": "t", "type": "quantitative", "scale": {"domain": [0, @END@], "nice": false}, "axis": {"title": "Time from the block's start (s)"}},
        "y": {"field": "rt", "type": "quantitative", "scale": {"zero": true}, "axis": {"title": ["Response", "time (s)"], "tickCount": 4}},
        "color": {"field": "outcome", "type": "nominal", "scale": {"domain": ["right", "wrong"], "range": ["#0072B2", "#E69F00"]}, "legend": {"title": "Answers"}},
        "shape": {"field": "channel", "type": "nominal", "scale": {"domain": ["tone", "letter"], "range": ["circle", "triangle-up"]}, "legend": {"title": "Channel"}},
        "tooltip": [{"field": "channel", "type": "nominal"}, {"field": "rt", "type": "quantitative", "title": "response time (s)"}, {"field": "t", "type": "quantitative", "title": "time (s)"}]
      }
    }
  ],
  "resolve": {"scale": {"color": "independent", "shape": "independent", "strokeDash": "independent", "y": "independent"}}
})vl";

constexpr const char* GROUP_PANEL = R"vl({
  "data": {"name": "group"},
  "transform": [{"filter": "isValid(datum.@FIELD@)"}],
  "facet": {"column": {"field": "channel", "type": "nominal", "sort": ["tone", "letter"], "title": null, "header": {"labelExpr": "datum.value + ' channel'"}}},
  "spec": {
    "width": 220, "height": 200,
    "layer": [
      {
        "mark": {"type": "boxplot", "extent": "min-max", "size": 36, "color": "#e0e0e0", "median": {"color": "#000000", "strokeWidth": 2}, "rule": {"color": "#000000"}, "box": {"stroke": "#000000"}},
        "encoding": {
          "x": {"field": "condition", "type": "nominal", "sort": ["alone", "in the dual block"], "axis": {"title": null, "labelAngle": 0}},
          "y": {"field": "@FIELD@", "type": "quantitative", "scale": @DOMAIN@, "axis": {"title": @TITLE@}}
        }
      },
      {
        "mark": {"type": "line", "color": "#555555", "strokeWidth": 1.2},
        "encoding": {
          "x": {"field": "condition", "type": "nominal", "sort": ["alone", "in the dual block"]},
          "y": {"field": "@FIELD@", "type": "quantitative"},
          "detail": {"field": "subject", "type": "nominal"}
        }
      },
      {
        "mark": {"type": "point", "filled": true, "color": "#000000", "size": 44},
        "encoding": {
          "x": {"field": "condition", "type": "nominal", "sort": ["alone", "in the dual block"]},
          "y": {"field": "@FIELD@", "type": "quantitative"},
          "tooltip": [{"field": "subject", "type": "nominal"}, {"field": "@FIELD@", "type": "quantitative", "format": ".3f"}]
        }
      }
    ]
  }
})vl";

std::string GroupSpec(const std::vector<GroupPoint>& points) {
    std::vector<std::string> rows;
    for (const GroupPoint& point : points) {
        rows.push_back(Object({{"subject", Json(point.subject)},
                               {"channel", Json(point.channel)},
                               {"condition", Json(point.condition)},
                               {"share", point.share ? Fixed(*point.share, 3) : "null"},
                               {"rt", point.medianRt ? Fixed(*point.medianRt, 3) : "null"}}));
    }
    auto panel = [](const char* field, const char* title, const char* domain) {
        return Fill(GROUP_PANEL, {{"@FIELD@", field}, {"@TITLE@", title}, {"@DOMAIN@", domain}});
    };
    return "{\"datasets\":" + Object({{"group", Array(rows)}}) + ",\"config\":" + CONFIG +
           ",\"vconcat\":[" + panel("share", "\"Share correct\"", "{\"domain\": [0, 1]}") + "," +
           panel("rt", "[\"Median response time\", \"of correct answers (s)\"]", "{\"zero\": true}") + "]}";
}

std::string BlockSpec(const BlockRows& block, const std::string& title) {
    auto at = [&](const EventRow* row) { return Seconds(row->onsetMicros - block.startMicros); };
    std::vector<std::string> bars, stimuli, keys, endings, times;
    std::set<std::string> rowsUsed;
    for (const EventRow* row : block.rows) {
        std::string t = at(row);
        // Only the bars the block's task shows.
        if (row->toneBar && TaskHas(block.task, "tone")) {
            bars.push_back(Object({{"t", t}, {"bar", Json("tone bar")}, {"height", Fixed(*row->toneBar, 3)}}));
        }
        if (row->letterBar && TaskHas(block.task, "letter")) {
            bars.push_back(Object({{"t", t}, {"bar", Json("letter bar")}, {"height", Fixed(*row->letterBar, 3)}}));
        }
        if (row->trialType == "tone" || row->trialType == "letter") {
            std::string name = row->trialType + " stimulus";
            rowsUsed.insert(name);
            stimuli.push_back(Object({{"t", t}, {"row", Json(name)}, {"stimulus", Json(row->stimulus)}}));
        } else if (row->trialType == "response") {
            std::string channel = ResponseChannel(*row);
            std::optional<bool> right = ScoredRight(*row);
            std::string name = channel.empty() ? "other key" : channel + " key";
            rowsUsed.insert(name);
            std::string outcome = !right ? "answered nothing" : *right ? "right" : "wrong";
            keys.push_back(Object({{"t", t}, {"row", Json(name)}, {"key", Json(row->key)}, {"outcome", Json(outcome)}}));
            if (row->responseMicros) {
                times.push_back(Object({{"t", t}, {"rt", Seconds(*row->responseMicros)}, {"channel", Json(channel)},
                                        {"outcome", Json(outcome)}}));
            }
        } else if (row->trialType == "overflow" || row->trialType == "time_up" || row->trialType == "quit" ||
                   row->trialType == "quit_question") {
            std::string what = row->trialType == "time_up"    ? "time up"
                               : row->trialType == "overflow" ? "overflow"
                               : row->trialType == "quit"     ? "quit"
                                                              : "quit? " + QuitAnswer(*row);
            bool question = row->trialType == "quit_question";
            // The question holds the block while it is up: its span is shaded.
            std::string until = question && row->durationMicros
                                    ? Seconds(row->onsetMicros + *row->durationMicros - block.startMicros)
                                    : t;
            endings.push_back(Object({{"t", t}, {"until", until}, {"what", Json(what)},
                                      {"kind", Json(question ? "question" : "end")},
                                      {"labelAt", question ? "0.12" : "0.97"}}));
        }
    }
    // The rows of the task's channels always, in a fixed order; a row of stray keys only when typed.
    std::vector<std::string> rowNames;
    for (const char* channel : {"tone", "letter"}) {
        if (TaskHas(block.task, channel)) {
            rowNames.push_back(std::string(channel) + " stimulus");
            rowNames.push_back(std::string(channel) + " key");
        } else if (rowsUsed.contains(std::string(channel) + " key")) {
            rowNames.push_back(std::string(channel) + " key");
        }
    }
    if (rowsUsed.contains("other key")) rowNames.push_back("other key");
    std::vector<std::string> rowJson;
    for (const std::string& name : rowNames) rowJson.push_back(Json(name));

    double end = std::max(60.0, double(block.endMicros - block.startMicros) / 1e6);
    std::string datasets = Object({{"bars", Array(bars)},
                                   {"stimuli", Array(stimuli)},
                                   {"keys", Array(keys)},
                                   {"endings", Array(endings)},
                                   {"times", Array(times)}});
    return Fill(BLOCK_SPEC, {{"@DATASETS@", datasets},
                             {"@CONFIG@", CONFIG},
                             {"@TITLE@", Json(title)},
                             {"@END@", Fixed(std::ceil(end), 0)},
                             {"@ROWS_HEIGHT@", std::to_string(22 * rowNames.size())},
                             {"@ROWS@", Array(rowJson)},
                             {"@OUTCOME_SCALE@", OUTCOME_SCALE},
                             {"@OUTCOME_SHAPES@", OUTCOME_SHAPES}});
}

// One panel of a run's figure: per group of neighbouring blocks (at most 200 groups across the run),
// the mean of @FIELD@ as a line and its range as a band, so that a run of any length stays readable.
constexpr const char* RUN_PANEL = R"vl({
      "width": 620, "height": 120,
      "data": {"name": "blocks"},
      "transform": [
        {"filter": "isValid(datum.@FIELD@)"},
        {"bin": {"maxbins": 200}, "field": "block", "as": ["from", "to"]},
        {"aggregate": [{"op": "mean", "field": "@FIELD@", "as": "mean"}, {"op": "min", "field": "@FIELD@", "as": "low"},
                       {"op": "max", "field": "@FIELD@", "as": "high"}], "groupby": ["from", "channel"]}
      ],
      "layer": [
        {
          "mark": {"type": "area", "opacity": 0.18},
          "encoding": {
            "x": {"field": "from", "type": "quantitative", "axis": {"title": @X_TITLE@}},
            "y": {"field": "low", "type": "quantitative", "scale": @DOMAIN@, "axis": {"title": @TITLE@, "tickCount": 5}},
            "y2": {"field": "high"},
            "color": {"field": "channel", "type": "nominal", "scale": {"domain": ["tone", "letter"], "range": ["#000000", "#8c8c8c"]}, "legend": {"title": "Channel"}}
          }
        },
        {
          "mark": {"type": "line", "strokeWidth": 1.4},
          "encoding": {
            "x": {"field": "from", "type": "quantitative"},
            "y": {"field": "mean", "type": "quantitative"},
            "color": {"field": "channel", "type": "nominal", "scale": {"domain": ["tone", "letter"], "range": ["#000000", "#8c8c8c"]}, "legend": {"title": "Channel"}},
            "strokeDash": {"field": "channel", "type": "nominal", "scale": {"domain": ["tone", "letter"], "range": [[1, 0], [6, 3]]}, "legend": {"title": "Channel"}}
          }
        }
      ]
    })vl";

constexpr const char* RUN_SPEC = R"vl({
  "datasets": @DATASETS@,
  "config": @CONFIG@,
  "title": @TITLE@,
  "spacing": 8,
  "vconcat": [@SHARE@, @RT@]
})vl";

// Every block of a run, one point per block and channel of its task: its share correct and median
// response time.
std::string RunSpec(const std::vector<SummaryRow>& summaries, const std::string& title) {
    std::vector<std::string> rows;
    for (const SummaryRow& s : summaries) {
        if (!TaskHas(s.task, s.channel)) continue;
        rows.push_back(Object({{"block", std::to_string(s.block)},
                               {"channel", Json(s.channel)},
                               {"share", s.shareCorrect ? Fixed(*s.shareCorrect, 3) : "null"},
                               {"rt", s.medianRtCorrectMicros ? Seconds(*s.medianRtCorrectMicros) : "null"}}));
    }
    std::string share = Fill(RUN_PANEL, {{"@FIELD@", "share"},
                                         {"@X_TITLE@", "null"},
                                         {"@DOMAIN@", "{\"domain\": [0, 1]}"},
                                         {"@TITLE@", "[\"Share\", \"correct\"]"}});
    std::string rt = Fill(RUN_PANEL, {{"@FIELD@", "rt"},
                                      {"@X_TITLE@", "\"Block\""},
                                      {"@DOMAIN@", "{\"zero\": true}"},
                                      {"@TITLE@", "[\"Median response\", \"time (s)\"]"}});
    return Fill(RUN_SPEC, {{"@DATASETS@", Object({{"blocks", Array(rows)}})},
                           {"@CONFIG@", CONFIG},
                           {"@TITLE@", Json(title)},
                           {"@SHARE@", share},
                           {"@RT@", rt}});
}

// ---- The page ----

constexpr const char* STYLE = R"vl(
body { font-family: "DejaVu Sans", Arial, Helvetica, sans-serif; font-size: 14px; color: #000; margin: 24px; max-width: 1100px; }
h1 { font-size: 22px; margin: 0 0 4px; }
h2 { font-size: 18px; margin: 28px 0 8px; border-bottom: 1px solid #888; }
h3 { font-size: 15px; margin: 18px 0 6px; }
p.lead { margin: 0 0 12px; color: #333; }
table { border-collapse: collapse; font-size: 12px; margin: 8px 0; }
th, td { padding: 2px 4px; border-bottom: 1px solid #ddd; text-align: left; vertical-align: top; }
th { border-bottom: 1px solid #000; font-weight: bold; }
td.when { white-space: nowrap; }
td.num, th.num { text-align: right; font-variant-numeric: tabular-nums; }
tr.run-first td { border-top: 1px solid #000; }
ul.flags { padding-left: 20px; }
li.flag { margin: 2px 0; }
.flag-mark { font-weight: bold; }
.figure { margin: 6px 0 18px; break-inside: avoid; page-break-inside: avoid; }
.error { color: #a00; font-weight: bold; }
a { color: #000; }
@page { size: A4 landscape; margin: 10mm; }
@media print {
  body { margin: 0; max-width: none; font-size: 11px; }
  h2, h3 { break-after: avoid; page-break-after: avoid; }
}
)vl";

constexpr const char* EMBED = R"vl((function () {
  var root = document.documentElement;
  var errors = [];
  window.addEventListener('error', function (event) {
    errors.push(String(event.message));
    root.setAttribute('data-script-errors', errors.join(' | '));
  });
  var figures = JSON.parse(document.getElementById('pelorin-figures').textContent);
  var drawn = figures.map(function (figure) {
    return vegaEmbed('#' + figure.id, figure.chart, {renderer: 'svg', actions: false, mode: 'vega-lite'});
  });
  Promise.all(drawn).then(function () {
    root.setAttribute('data-figures-drawn', String(figures.length));
  }, function (error) {
    root.setAttribute('data-figures-failed', String(error));
    var note = document.getElementById('figure-error');
    note.textContent = 'A figure could not be drawn: ' + error;
  });
})();)vl";


// acq_time as a person reads it: 2026-03-14 09:26:53.
std::string Started(const std::string& acqTime) {
    std::string text = acqTime;
    if (text.size() > 10 && text[10] == 'T') text[10] = ' ';
    return text;
}

std::string Number(const std::optional<double>& value) { return value ? Fixed(*value, 3) : "–"; }

}  // namespace

const char* FlagName(ReportFlag::Kind kind) {
    switch (kind) {
    case ReportFlag::Kind::Quit: return "quit";
    case ReportFlag::Kind::Unanswered: return "unanswered";
    case ReportFlag::Kind::Silent: return "silent";
    case ReportFlag::Kind::BelowChance: return "below-chance";
    case ReportFlag::Kind::Unreadable: return "unreadable";
    }
    return "";
}

std::vector<ReportFlag> FindFlags(const ReportDataset& dataset) {
    std::vector<ReportFlag> flags;
    for (const ReportSubject& subject : dataset.subjects) {
        const std::string& id = subject.participantId;
        for (const ReportRun& run : subject.runs) {
            if (!run.error.empty()) {
                flags.push_back({ReportFlag::Kind::Unreadable, id, run.run, 0, "",
                                 Where(id, run.run) + ": " + run.filename + " cannot be read: " + run.error});
                continue;
            }
            if (run.silent == true) {
                flags.push_back({ReportFlag::Kind::Silent, id, run.run, 0, "",
                                 Where(id, run.run) + ": no sound: no audio device was open, the tones were not heard"});
            }
            std::vector<SummaryRow> summaries = Summarize(run.data);
            std::map<int, std::vector<const SummaryRow*>> ofBlock;
            for (const SummaryRow& summary : summaries) ofBlock[summary.block].push_back(&summary);
            std::vector<BlockRows> blocks = Blocks(run.data.rows);
            for (const BlockRows& block : blocks) {
                std::string where = Where(id, run.run, block.number) + " (" + block.task + ")";
                const std::vector<const SummaryRow*>& channels = ofBlock[block.number];
                const SummaryRow* first = channels.empty() ? nullptr : channels.front();
                if (first && first->ended == "quit") {
                    flags.push_back({ReportFlag::Kind::Quit, id, run.run, block.number, "",
                                     where + ": ended by the quit question"});
                }
                for (const char* channel : {"tone", "letter"}) {
                    if (!TaskHas(block.task, channel)) continue;
                    auto [length, from] = LongestUnanswered(block, channel);
                    if (length >= UNANSWERED_SECONDS) {
                        flags.push_back({ReportFlag::Kind::Unanswered, id, run.run, block.number, channel,
                                         where + ": no " + channel + " answer for " + Fixed(length, 1) + " s, from " +
                                             Fixed(from, 1) + " s"});
                    }
                }
                for (const SummaryRow* channel : channels) {
                    const SummaryRow& summary = *channel;
                    if (!TaskHas(summary.task, summary.channel)) continue;
                    if (summary.shareCorrect && *summary.shareCorrect < CHANCE) {
                        flags.push_back({ReportFlag::Kind::BelowChance, id, run.run, block.number, summary.channel,
                                         where + ": " + summary.channel + " share correct " +
                                             Fixed(*summary.shareCorrect, 3) + ", below chance (1/3)"});
                    }
                }
            }
        }
    }
    return flags;
}

std::string MakeReport(const ReportDataset& dataset, const std::string& version) {
    std::vector<ReportFlag> flags = FindFlags(dataset);
    // Each run's flags by block (0: the whole run's), for the table's marks.
    std::map<std::tuple<std::string, int, int>, std::vector<const ReportFlag*>> flagsAt;
    for (const ReportFlag& flag : flags) flagsAt[{flag.participantId, flag.run, flag.block}].push_back(&flag);
    // A run's blocks up to this number have a figure and table rows of their own.
    std::map<std::pair<std::string, int>, int> drawnUpTo;
    size_t runCount = 0, blockCount = 0;
    std::vector<std::string> dates;
    for (const ReportSubject& subject : dataset.subjects) {
        for (const ReportRun& run : subject.runs) {
            ++runCount;
            std::vector<BlockRows> blocks = Blocks(run.data.rows);
            blockCount += blocks.size();
            drawnUpTo[{subject.participantId, run.run}] =
                blocks.size() > MAX_BLOCK_FIGURES ? blocks[MAX_BLOCK_FIGURES - 1].number : INT_MAX;
            if (!run.acqTime.empty()) dates.push_back(run.acqTime.substr(0, 10));
        }
    }
    auto drawn = [&](const std::string& id, int run, int block) { return block <= drawnUpTo[{id, run}]; };
    std::sort(dates.begin(), dates.end());
    std::string title = dataset.name.empty() ? "Pelorin dataset" : dataset.name;

    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    // The page may run its own inline scripts and nothing else: it loads, sends and fetches nothing.
    page += "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; script-src 'unsafe-inline' "
            "'unsafe-eval'; style-src 'unsafe-inline'; img-src data:\">\n";
    page += "<title>" + Html(title) + " – report</title>\n<style>" + STYLE + "</style>\n";
    for (std::string_view script : {VegaScript(), VegaLiteScript(), VegaEmbedScript()}) {
        page += "<script>";
        page += script;
        page += "</script>\n";
    }
    page += "</head>\n<body>\n";
    page += "<h1>" + Html(title) + "</h1>\n";
    page += "<p class=\"lead\">Made by pelorin-report " + Html(version) + ". " + std::to_string(dataset.subjects.size()) +
            " subjects, " + std::to_string(runCount) + " runs, " + std::to_string(blockCount) + " blocks";
    if (!dates.empty()) {
        // The dates are the lab's scans tables' text.
        page += ", " + Html(dates.front() == dates.back() ? dates.front() : dates.front() + " to " + dates.back());
    }
    page += ".</p>\n<p id=\"figure-error\" class=\"error\"></p>\n";
    page += "<noscript><p class=\"error\">The figures need scripts, which this browser does not run.</p></noscript>\n";

    // 1. At a glance.
    page += "<h2 id=\"glance\">The dataset at a glance</h2>\n";
    page += "<h3>Flags</h3>\n";
    if (flags.empty()) {
        page += "<p id=\"no-flags\">None: every block ended by time or by a bar, every channel was answered, every "
                "run had sound and every share correct is at chance or above.</p>\n";
    } else {
        page += "<ul class=\"flags\">\n";
        for (const ReportFlag& flag : flags) {
            std::string where = Where(flag.participantId, flag.run, flag.block);
            std::string link = flag.block == 0 ? "#run-" + flag.participantId + "-" + std::to_string(flag.run)
                               : drawn(flag.participantId, flag.run, flag.block)
                                   ? "#" + BlockAnchor(flag.participantId, flag.run, flag.block)
                                   : "#" + RunAnchor(flag.participantId, flag.run);
            page += "<li class=\"flag\" data-flag=\"" + std::string(FlagName(flag.kind)) + "\" data-where=\"" +
                    Html(where) + "\" data-channel=\"" + Html(flag.channel) + "\"><span class=\"flag-mark\">&#9873; " +
                    FlagName(flag.kind) + "</span> <a href=\"" + Html(link) + "\">" + Html(flag.text) + "</a></li>\n";
        }
        page += "</ul>\n";
    }
    if (!dataset.skipped.empty()) {
        page += "<h3>Skipped</h3>\n<p class=\"lead\">The dataset was read as far as it could be; these were left "
                "out:</p>\n<ul class=\"flags\" id=\"skipped\">\n";
        for (const std::string& skipped : dataset.skipped) page += "<li class=\"skipped\">" + Html(skipped) + "</li>\n";
        page += "</ul>\n";
    }
    page += "<h3>Blocks</h3>\n<p class=\"lead\">Share correct: correct answers over the keys that answered a "
            "stimulus. Median response time: of the correct answers. Keys unanswered: keys of the channel, or of no "
            "channel, that answered nothing.</p>\n";
    page += "<table id=\"blocks\">\n<tr><th>Subject</th><th>Order</th><th>Run</th><th>Started</th><th>Sound</th>"
            "<th class=\"num\">Block</th><th>Task</th><th>Ended</th><th>Channel</th><th class=\"num\">Presented</th>"
            "<th class=\"num\">Answered</th><th class=\"num\">Correct</th><th class=\"num\">Share correct</th>"
            "<th class=\"num\">Median RT (s)</th><th class=\"num\">Keys unanswered</th><th>Flags</th></tr>\n";
    for (const ReportSubject& subject : dataset.subjects) {
        const std::string& id = subject.participantId;
        for (const ReportRun& run : subject.runs) {
            std::string sound = run.silent == true ? "silent" : run.silent == false ? "on" : "not recorded";
            std::string runCells = "<td><a href=\"#run-" + Html(id) + "-" + std::to_string(run.run) + "\">" + Html(id) +
                                   "</a></td><td>" + Html(subject.orderCondition) + "</td><td class=\"num\">" +
                                   std::to_string(run.run) + "</td><td class=\"when\">" + Html(Started(run.acqTime)) + "</td><td>" + sound +
                                   "</td>";
            std::string blank = "<td></td><td></td><td></td><td></td><td></td>";
            if (!run.error.empty()) {
                page += "<tr class=\"run-first\">" + runCells + "<td colspan=\"11\" class=\"error\">" +
                        Html(run.filename + " cannot be read: " + run.error) + "</td></tr>\n";
                continue;
            }
            std::vector<SummaryRow> summaries = Summarize(run.data);
            if (summaries.empty()) {
                page += "<tr class=\"run-first\">" + runCells + "<td colspan=\"11\">no block was run</td></tr>\n";
            }
            std::set<int> notDrawn;
            for (size_t i = 0; i < summaries.size(); ++i) {
                const SummaryRow& s = summaries[i];
                if (!drawn(id, run.run, s.block)) {
                    notDrawn.insert(s.block);
                    continue;
                }
                bool firstOfBlock = i == 0 || summaries[i - 1].block != s.block;
                std::string marks;
                auto mark = [&](int block, bool applies) {
                    for (const ReportFlag* flag : flagsAt[{id, run.run, block}]) {
                        if (applies && (block == 0 || (flag->channel.empty() ? firstOfBlock : flag->channel == s.channel))) {
                            marks += std::string(marks.empty() ? "" : ", ") + FlagName(flag->kind);
                        }
                    }
                };
                mark(0, i == 0);
                mark(s.block, true);
                std::string rowId = "row-" + id + "-run-" + std::to_string(run.run) + "-block-" + std::to_string(s.block) +
                                    "-" + s.channel;
                page += "<tr id=\"" + Html(rowId) + "\"" + (i == 0 ? " class=\"run-first\"" : "") + ">" +
                        (i == 0 ? runCells : blank);
                if (firstOfBlock) {
                    page += "<td class=\"num\"><a href=\"#" + Html(BlockAnchor(id, run.run, s.block)) + "\">" +
                            std::to_string(s.block) + "</a></td><td>" + Html(s.task) + "</td><td>" +
                            Html(s.ended) + "</td>";
                } else {
                    page += "<td></td><td></td><td></td>";
                }
                page += "<td>" + Html(s.channel) + "</td><td class=\"num\" data-col=\"presented\">" +
                        std::to_string(s.presented) + "</td><td class=\"num\" data-col=\"answered\">" +
                        std::to_string(s.answered) + "</td><td class=\"num\" data-col=\"correct\">" +
                        std::to_string(s.correct) + "</td><td class=\"num\" data-col=\"share_correct\">" +
                        Number(s.shareCorrect) + "</td><td class=\"num\" data-col=\"median_rt_correct\" data-value=\"" +
                        (s.medianRtCorrectMicros ? Fixed(double(*s.medianRtCorrectMicros) / 1e6, 6) : "NA") + "\">" +
                        Number(SecondsOf(s.medianRtCorrectMicros)) + "</td><td class=\"num\" data-col=\"keys_unanswered\">" +
                        std::to_string(s.keysUnanswered) + "</td><td class=\"flag-mark\">" + Html(marks) + "</td></tr>\n";
            }
            if (!notDrawn.empty()) {
                page += "<tr class=\"more-blocks\">" + blank + "<td colspan=\"11\">" + std::to_string(notDrawn.size()) +
                        " more blocks, " + std::to_string(*notDrawn.begin()) + " to " +
                        std::to_string(*notDrawn.rbegin()) + ": block by block in <a href=\"#" +
                        Html(RunAnchor(id, run.run)) + "\">the figure of the whole run</a>, and every number in "
                        "pelorin-summary --csv</td></tr>\n";
            }
        }
    }
    page += "</table>\n";

    // 2. The group, then 3. every run.
    std::vector<std::pair<std::string, std::string>> figures;
    page += "<h2 id=\"group\">The group</h2>\n<p class=\"lead\">Per channel, each subject's share correct and median "
            "response time with the task alone and in the dual block (the first block of each task in the subject's "
            "runs), the group's box (quartiles, median, range) behind them; the line between a subject's two dots is "
            "the dual-task cost.</p>\n";
    page += "<div class=\"figure\" id=\"figure-group\"></div>\n";
    figures.emplace_back("figure-group", GroupSpec(Group(dataset)));

    page += "<h2 id=\"runs\">Runs</h2>\n<p class=\"lead\">Per block: the bars' heights over the block, each stimulus "
            "as a tick and each key as a mark (right, wrong, or answering nothing), the ending as a line, a quit "
            "question answered No as a dotted line and a shaded span (it holds the block while it is up), and the "
            "response times over the block.</p>\n";
    for (const ReportSubject& subject : dataset.subjects) {
        const std::string& id = subject.participantId;
        for (const ReportRun& run : subject.runs) {
            page += "<section class=\"run\" id=\"run-" + Html(id) + "-" + std::to_string(run.run) + "\">\n<h3>" +
                    Html(id) + ", run " + std::to_string(run.run) +
                    (run.acqTime.empty() ? "" : ", started " + Html(Started(run.acqTime))) +
                    (run.language.empty() ? "" : ", in language " + Html(run.language)) +
                    (run.silent == true ? ", <span class=\"flag-mark\">no sound</span>" : "") + "</h3>\n";
            if (!run.error.empty()) {
                page += "<p class=\"error\">" + Html(run.filename + " cannot be read: " + run.error) + "</p>\n";
            }
            std::vector<BlockRows> blocks = Blocks(run.data.rows);
            for (const BlockRows& block : blocks) {
                if (!drawn(id, run.run, block.number)) break;
                std::string anchor = BlockAnchor(id, run.run, block.number);
                std::string blockTitle = "Block " + std::to_string(block.number) + ": " + block.task;
                page += "<div class=\"figure\" id=\"" + Html(anchor) + "\"></div>\n";
                figures.emplace_back(anchor, BlockSpec(block, blockTitle));
            }
            if (blocks.size() > MAX_BLOCK_FIGURES) {
                // A long run: a page of thousands of figures could not be opened, so one figure shows them all.
                std::string anchor = RunAnchor(id, run.run);
                page += "<p class=\"lead\" id=\"" + Html(anchor) + "-note\">This run has " + std::to_string(blocks.size()) +
                        " blocks: the first " + std::to_string(MAX_BLOCK_FIGURES) +
                        " have a figure each (the page draws at most " + std::to_string(MAX_BLOCK_FIGURES) +
                        " a run); the figure below shows every block's share correct and median response time "
                        "per channel: for each group of neighbouring blocks (at most 200 groups) the mean as a line and "
                        "the lowest to the highest as a band.</p>\n";
                page += "<div class=\"figure\" id=\"" + Html(anchor) + "\"></div>\n";
                figures.emplace_back(anchor, RunSpec(Summarize(run.data), Where(id, run.run) + ": every block"));
            }
            page += "</section>\n";
        }
    }

    std::vector<std::string> figureJson;
    for (auto& [id, chart] : figures) figureJson.push_back(Object({{"id", Json(id)}, {"chart", chart}}));
    page += "<script type=\"application/json\" id=\"pelorin-figures\">" + Array(figureJson) + "</script>\n";
    page += std::string("<script>") + EMBED + "</script>\n</body>\n</html>\n";
    return page;
}

}  // namespace pelorin
