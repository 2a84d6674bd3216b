#include "MetadataTable.h"

#include <csv.h>

#include <algorithm>

namespace {

struct Rows {
    std::vector<std::vector<std::string>> rows{{}};
    std::vector<std::size_t> lines{1};  // the line each row starts on
};

void addCell(void *cell, std::size_t size, void *data)
{
    auto &rows = *static_cast<Rows *>(data);
    rows.rows.back().emplace_back(cell ? static_cast<const char *>(cell) : "", cell ? size : 0);
}

void endRow(int, void *data)
{
    auto &rows = *static_cast<Rows *>(data);
    rows.rows.emplace_back();
}

std::string trimmed(const std::string &text)
{
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::optional<MetadataTable> MetadataTable::parse(std::string_view bytes, bool tabs, std::string &why)
{
    csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI | CSV_APPEND_NULL) != 0) {
        why = "not enough memory to read the table";
        return std::nullopt;
    }
    if (tabs)
        csv_set_delim(&parser, '\t');
    Rows rows;
    // Row by row, to say on which line a fault is.
    std::size_t line = 1;
    bool failed = false;
    std::size_t at = 0;
    while (at < bytes.size() && !failed) {
        const std::size_t feed = bytes.find('\n', at);
        const std::size_t end = feed == std::string_view::npos ? bytes.size() : feed + 1;
        const std::size_t before = rows.rows.size();
        if (csv_parse(&parser, bytes.data() + at, end - at, addCell, endRow, &rows) != end - at)
            failed = true;
        for (std::size_t r = before; r < rows.rows.size(); ++r)
            rows.lines.push_back(line + 1);
        ++line;
        at = end;
    }
    if (!failed && csv_fini(&parser, addCell, endRow, &rows) != 0)
        failed = true;
    const int error = csv_error(&parser);
    csv_free(&parser);
    if (failed) {
        why = "line " + std::to_string(line - (at > 0 ? 1 : 0)) + ": " + csv_strerror(error);
        return std::nullopt;
    }
    if (rows.rows.back().empty())
        rows.rows.pop_back();
    if (rows.rows.empty()) {
        why = "the table is empty: its first row names the fields";
        return std::nullopt;
    }
    const std::vector<std::string> &header = rows.rows.front();
    std::vector<std::string> names;
    for (const std::string &name : header)
        names.push_back(trimmed(name));
    const auto pathColumn = std::find(names.begin(), names.end(), "path");
    if (pathColumn == names.end()) {
        why = "line 1: no column is named \"path\"";
        return std::nullopt;
    }
    const auto path = static_cast<std::size_t>(pathColumn - names.begin());
    MetadataTable table;
    for (std::size_t r = 1; r < rows.rows.size(); ++r) {
        const std::vector<std::string> &row = rows.rows[r];
        const std::string where = "line " + std::to_string(rows.lines[r]);
        if (row.size() != names.size()) {
            why = where + ": " + std::to_string(row.size()) + " cells where the first row names "
                  + std::to_string(names.size());
            return std::nullopt;
        }
        std::string file = trimmed(row[path]);
        while (file.starts_with("./"))
            file.erase(0, 2);
        Fields fields;
        for (std::size_t c = 0; c < row.size(); ++c) {
            std::string value = trimmed(row[c]);
            if (c != path && !names[c].empty() && !value.empty())
                fields.emplace_back(names[c], std::move(value));
        }
        if (!table.rows_.emplace(file, std::move(fields)).second) {
            why = where + ": the path \"" + file + "\" is named twice";
            return std::nullopt;
        }
    }
    return table;
}

const MetadataTable::Fields *MetadataTable::fieldsOf(const std::string &relative) const
{
    const auto found = rows_.find(relative);
    return found == rows_.end() ? nullptr : &found->second;
}
