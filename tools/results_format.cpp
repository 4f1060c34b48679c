// Prints the column tables of docs/results-format.md from the vocabulary in src/records/event_columns.h,
// so that the document describes the columns the program writes, in their order, and no others.
// scripts/results-format puts the output between the document's markers; a test fails while they differ.

#include <iostream>
#include <span>
#include <string>
#include <string_view>

#include "records/event_columns.h"

namespace {

using namespace pelorin;

// Text for a table cell: a bar would end the cell, and an angle bracket (sub-<ID>) would be taken for
// an HTML tag and vanish.
std::string Cell(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '|': out += "\\|"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '*': out += "\\*"; break;
            default: out += c;
        }
    }
    return out;
}

std::string Form(const Column& column) {
    std::string form;
    switch (column.form) {
        case CellForm::Seconds: form = "seconds, six decimals"; break;
        case CellForm::Count: form = "whole number from 1"; break;
        case CellForm::Fraction: form = "number from 0, three decimals"; break;
        case CellForm::Level: form = column.numeric ? "a level, read as a number" : "a level"; break;
        case CellForm::Text: form = "text"; break;
    }
    if (!column.units.empty()) form += "; units `" + std::string(column.units) + "`";
    return form;
}

void PrintTable(std::span<const Column> columns) {
    std::cout << "| column | cells | what it holds | levels |\n|---|---|---|---|\n";
    for (const Column& column : columns) {
        std::cout << "| `" << column.name << "` | " << Form(column) << " | **" << Cell(column.longName) << ".** "
                  << Cell(column.description) << " | ";
        bool first = true;
        for (const Level& level : column.levels) {
            std::cout << (first ? "" : "<br>") << '`' << level.value << "`: " << Cell(level.description);
            first = false;
        }
        std::cout << " |\n";
    }
}

}  // namespace

int main() {
    std::cout << "### Events files\n\n`sub-<ID>/beh/sub-<ID>_task-" << EVENTS_TASK
              << "[_run-<k>]_events.tsv`: one row per event, the columns in this order.\n\n";
    PrintTable(EVENT_COLUMNS);
    std::cout << "\n### participants.tsv\n\nOne row per subject ID, added at registration.\n\n";
    PrintTable(PARTICIPANT_COLUMNS);
    std::cout << "\n### scans.tsv\n\n`sub-<ID>/sub-<ID>_scans.tsv`: one row per run of the subject.\n\n";
    PrintTable(SCAN_COLUMNS);
    return std::cout.good() ? 0 : 1;
}
