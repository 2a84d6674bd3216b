// MetadataTable: the fields a table beside a folder's documents gives them (metadata.csv or metadata.tsv), read by libcsv.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The first row names the fields; the column named "path" names a file
// relative to the folder, and each other column a field it adds to that
// file's, or overrides. Values are taken as written, blanks at their ends
// trimmed; an empty cell adds nothing. CSV as RFC 4180 writes it (quotes,
// doubled quotes, line feeds inside quotes); TSV the same with TABs.
class MetadataTable {
public:
    using Fields = std::vector<std::pair<std::string, std::string>>;

    // The names a folder's table may have, in the order looked for.
    static constexpr std::string_view names[] = {"metadata.csv", "metadata.tsv"};

    // Reads `bytes`, a table (TAB-separated when `tabs`). Nothing, with a
    // one-line `why` ("line 3: ..."), when it is not a table: no "path"
    // column, a row of another length, a quote left open, a path named twice.
    static std::optional<MetadataTable> parse(std::string_view bytes, bool tabs, std::string &why);

    // The fields the table gives the file at `relative` (its path below the
    // folder, '/' between folders); nothing when it names no such file.
    const Fields *fieldsOf(const std::string &relative) const;
    std::size_t rows() const { return rows_.size(); }

private:
    std::map<std::string, Fields> rows_;
};
