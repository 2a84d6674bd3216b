// Fuzzes the document readers: the first byte picks the format (mode % 8:
// 0 HTML, 1 XML, 2 gzip, whose inflated bytes then go to the reader mode / 8
// picks, 3 DOCX, 4 ODT, 5 EPUB, 6 PDF, 7 a metadata table, CSV or TSV by
// mode / 8, after a first line that is a --where condition), the rest is
// the file. A reader may refuse a file, with a one-line reason, or read it:
// its text is well-formed UTF-8, every line ends in a line feed and none is
// empty; metadata values and warnings are one line. gunzip inflates within
// its bounds; a table gives no empty field and no "path" field.
#include "DocumentReaders.h"
#include "FuzzInput.h"
#include "FuzzUtf8.h"
#include "DocumentFilter.h"
#include "GzipReader.h"
#include "MetadataTable.h"

#include <algorithm>
#include <optional>
#include <string>

namespace {

bool oneLine(std::string_view text)
{
    return text.find('\n') == std::string_view::npos;
}

void check(const char *name, std::string_view bytes)
{
    const ExtractedDocument read = documentReaderFor(name)->read(bytes);
    if (!read.error.empty()) {
        FUZZ_CHECK(oneLine(read.error) && read.text.empty());
        return;
    }
    FUZZ_CHECK(fuzzinput::wellFormed(read.text));
    FUZZ_CHECK(read.text.empty() || read.text.back() == '\n');
    FUZZ_CHECK(read.text.find("\n\n") == std::string::npos && !read.text.starts_with("\n"));
    FUZZ_CHECK(read.text.find('\r') == std::string::npos);
    for (const auto &[field, value] : read.fields)
        FUZZ_CHECK(!field.empty() && oneLine(value) && fuzzinput::wellFormed(value));
    for (const std::string &warning : read.warnings)
        FUZZ_CHECK(oneLine(warning));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzzinput::Reader reader(data, size);
    const std::uint8_t mode = reader.byte();
    const std::string_view file = reader.rest();
    static const char *const names[] = {"x.html", "x.xml", "x.docx", "x.odt", "x.epub", "x.pdf"};
    switch (mode % 8) {
    case 0: check("x.html", file); break;
    case 1: check("x.xml", file); break;
    case 2: {
        std::string inflated, why;
        if (gunzip(file, inflated, why)) {
            FUZZ_CHECK(inflated.size() <= file.size() * maxInflateRatio && inflated.size() <= maxInflatedBytes);
            check(names[mode / 8 % 6], inflated);
        } else {
            FUZZ_CHECK(inflated.empty() && oneLine(why) && !why.empty());
        }
        break;
    }
    case 7: {
        const std::size_t feed = std::min(file.find('\n'), file.size());
        std::string why;
        const std::optional<DocumentFilter> filter =
            DocumentFilter::parse({std::string(file.substr(0, feed))}, why);
        FUZZ_CHECK(filter || (!why.empty() && oneLine(why)));
        const std::optional<MetadataTable> table =
            MetadataTable::parse(file.substr(std::min(feed + 1, file.size())), mode / 8 % 2 == 1, why);
        FUZZ_CHECK(table.has_value() || (!why.empty() && oneLine(why)));
        if (table && filter) {
            for (const char *path : {"a.txt", "b/c.html", ""}) {
                if (const MetadataTable::Fields *fields = table->fieldsOf(path)) {
                    for (const auto &[name, value] : *fields)
                        FUZZ_CHECK(!name.empty() && !value.empty() && name != "path");
                    (void)filter->matches(*fields);
                }
            }
        }
        break;
    }
    default: check(names[mode % 8 - 1], file); break;
    }
    return 0;
}
