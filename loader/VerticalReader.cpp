#include "VerticalReader.h"

#include "LineCursor.h"

#include <algorithm>

namespace {

constexpr std::string_view wordColumn = "word";

std::string_view trimmed(std::string_view name)
{
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t'))
        name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.remove_suffix(1);
    return name;
}

std::optional<std::vector<std::string>> refuse(std::string *reason, std::string why)
{
    if (reason)
        *reason = std::move(why);
    return std::nullopt;
}

// A structure line's tag: its name, and whether it closes ("</s>").
struct Tag {
    std::string_view name;
    bool closing = false;
};

Tag tagOf(std::string_view line)
{
    line.remove_prefix(1);
    Tag tag;
    if (!line.empty() && line.front() == '/') {
        tag.closing = true;
        line.remove_prefix(1);
    }
    std::size_t end = 0;
    while (end < line.size() && line[end] != ' ' && line[end] != '/' && line[end] != '>')
        ++end;
    tag.name = line.substr(0, end);
    return tag;
}

std::string joinedNames(const std::vector<std::string> &columns)
{
    std::string out;
    for (const std::string &name : columns)
        out += (out.empty() ? "" : ",") + name;
    return out;
}

}  // namespace

std::vector<std::string> defaultVerticalColumns()
{
    return {"word", "pos", "lemma"};
}

std::optional<std::vector<std::string>> parseVerticalColumns(std::string_view value, std::string *reason)
{
    const std::string_view whole = value;
    std::vector<std::string> names;
    while (true) {
        const std::size_t comma = value.find(',');
        const std::string_view name = trimmed(value.substr(0, comma));
        if (name.empty())
            return refuse(reason, "the columns " + quotedForReason(whole) + " hold an empty name");
        if (std::find(names.begin(), names.end(), name) != names.end())
            return refuse(reason, "the column " + quotedForReason(name) + " is named twice");
        names.emplace_back(name);
        if (comma == std::string_view::npos)
            break;
        value.remove_prefix(comma + 1);
    }
    if (std::find(names.begin(), names.end(), wordColumn) == names.end())
        return refuse(reason, "no column is named \"word\"");
    return names;
}

std::vector<std::string> verticalLayers(const std::vector<std::string> &columns)
{
    std::vector<std::string> layers{std::string(wordColumn)};
    for (const std::string &name : columns) {
        if (name != wordColumn)
            layers.push_back(name);
    }
    return layers;
}

std::optional<AnnotationError> readVertical(std::string_view bytes, const std::vector<std::string> &columns,
                                            AnnotationSink &sink, const Progress &progress, std::uint64_t before,
                                            std::uint64_t total)
{
    LineCursor lines(bytes, progress, before, total);
    return readVertical(lines, columns, sink);
}

std::optional<AnnotationError> readVertical(LineCursor &lines, const std::vector<std::string> &columns,
                                            AnnotationSink &sink)
{
    // Where each column's value goes among the layers: word first.
    const auto word = std::find(columns.begin(), columns.end(), wordColumn);
    if (word == columns.end())
        return AnnotationError{0, "no column is named \"word\""};
    const std::size_t wordAt = static_cast<std::size_t>(word - columns.begin());
    std::vector<std::size_t> layerOf(columns.size());
    for (std::size_t c = 0; c < columns.size(); ++c)
        layerOf[c] = c == wordAt ? 0 : c < wordAt ? c + 1 : c;
    std::vector<std::string_view> cut(columns.size());  // a line's columns
    std::vector<std::string_view> values(columns.size());  // the same in layer order

    bool anyPosition = false;     // a position came in the file
    bool documentStarts = false;  // the next position starts a document
    bool inSentence = false;      // a position came since the last sentence end
    bool glued = false;           // the next position follows without a space
    const auto endSentence = [&] {
        if (inSentence)
            sink.endSentence();
        inSentence = glued = false;
    };
    // The file is a document already: a start is told before the next
    // position, when one came before it.
    const auto startDocument = [&] {
        endSentence();
        documentStarts = anyPosition;
    };
    while (lines.next()) {
        const std::string_view line = lines.line();
        if (line.empty())
            continue;
        if (line.front() == '<' && line.back() == '>' && line.find('\t') == std::string_view::npos) {
            const Tag tag = tagOf(line);
            if (tag.closing) {
                if (tag.name == "s")
                    endSentence();
            } else if (tag.name == "text" || tag.name == "doc") {
                startDocument();
            } else if (tag.name == "g") {
                glued = true;
            }
            continue;
        }
        const std::size_t count = splitColumns(line, cut.data(), cut.size());
        if (count < columns.size())
            return AnnotationError{lines.number(), "a token line needs " + std::to_string(columns.size())
                                                       + " TAB-separated columns (" + joinedNames(columns)
                                                       + "); this one has " + std::to_string(count)};
        for (std::size_t c = 0; c < cut.size(); ++c)
            values[layerOf[c]] = cut[c];
        if (documentStarts)
            sink.startDocument();
        sink.token(values, !(inSentence && glued), lines.number());
        inSentence = anyPosition = true;
        documentStarts = false;
        glued = false;
    }
    if (std::optional<AnnotationError> error = lines.illFormed())
        return error;
    endSentence();
    lines.finish();
    return std::nullopt;
}

std::span<const std::string_view> VerticalReader::endings() const
{
    static constexpr std::string_view taken[] = {".vrt", ".vert"};
    return taken;
}
