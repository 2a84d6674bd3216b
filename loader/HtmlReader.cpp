#include "HtmlReader.h"

#include "TextCollector.h"
#include "XmlDocument.h"
#include "XmlTreeWalk.h"

#include "Utf8.h"

#include <libxml/HTMLparser.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr std::array<std::string_view, 3> htmlEndings{".html", ".htm", ".xhtml"};

// What an element is to the reader, as bits: an element may be several.
enum ElementKind : unsigned {
    titleElement = 1,
    metaElement = 2,
    headElement = 4,
    preElement = 8,
    hiddenElement = 16,  // its text is not shown
    blockElement = 32,   // it stands on lines of its own
};

struct KnownElement {
    std::string_view name;  // lowercase
    unsigned kinds;
};

// Sorted by name, for a binary search: an element is looked up once as it
// is entered and once as it is left, where comparing its name with each
// list in turn took a tenth of a page's reading.
constexpr std::array<KnownElement, 50> knownElements{{
    {"address", blockElement},    {"article", blockElement},  {"aside", blockElement},
    {"blockquote", blockElement}, {"body", blockElement},     {"br", blockElement},
    {"caption", blockElement},    {"center", blockElement},   {"dd", blockElement},
    {"details", blockElement},    {"div", blockElement},      {"dl", blockElement},
    {"dt", blockElement},         {"fieldset", blockElement}, {"figcaption", blockElement},
    {"figure", blockElement},     {"footer", blockElement},   {"form", blockElement},
    {"h1", blockElement},         {"h2", blockElement},       {"h3", blockElement},
    {"h4", blockElement},         {"h5", blockElement},       {"h6", blockElement},
    {"head", headElement | hiddenElement},                    {"header", blockElement},
    {"hr", blockElement},         {"iframe", hiddenElement},  {"legend", blockElement},
    {"li", blockElement},         {"main", blockElement},     {"meta", metaElement},
    {"nav", blockElement},        {"noscript", hiddenElement}, {"object", hiddenElement},
    {"ol", blockElement},         {"option", blockElement},   {"p", blockElement},
    {"pre", preElement | blockElement},                       {"script", hiddenElement},
    {"section", blockElement},    {"style", hiddenElement},   {"summary", blockElement},
    {"table", blockElement},      {"td", blockElement},       {"template", hiddenElement},
    {"th", blockElement},         {"title", titleElement | blockElement},
    {"tr", blockElement},         {"ul", blockElement},
}};
static_assert(std::is_sorted(knownElements.begin(), knownElements.end(),
                             [](const KnownElement &a, const KnownElement &b) { return a.name < b.name; }));

// The kinds of element `node` is, its name compared without regard to ASCII case; 0 for any other.
unsigned kindsOf(const xmlNode *node)
{
    const auto *name = reinterpret_cast<const char *>(node->name);
    char lower[16];
    std::size_t length = 0;
    for (; name[length] != '\0'; ++length) {
        if (length == sizeof lower)
            return 0;  // longer than any known name
        const char c = name[length];
        lower[length] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    const std::string_view key(lower, length);
    const auto found = std::lower_bound(knownElements.begin(), knownElements.end(), key,
                                        [](const KnownElement &known, std::string_view k) { return known.name < k; });
    return found != knownElements.end() && found->name == key ? found->kinds : 0;
}

// Whether libxml2 reads `bytes` the same whether told they are UTF-8 or
// told nothing: well-formed UTF-8 (it never gives up on a byte and falls
// back to Latin-1) without a zero byte (it detects UTF-16 and UCS-4 by
// the zeros of their first bytes). Eight bytes at a time while they are ASCII.
bool readsAlikeAsUtf8(std::string_view bytes)
{
    constexpr std::uint64_t ones = 0x0101010101010101, highs = 0x8080808080808080;
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    const std::size_t size = bytes.size();
    std::size_t i = 0;
    while (i < size) {
        if (i + 8 <= size) {
            std::uint64_t word;
            std::memcpy(&word, in + i, sizeof word);
            if (((word | ((word - ones) & ~word)) & highs) == 0) {
                i += 8;
                continue;
            }
        }
        if (in[i] == 0)
            return false;
        if (in[i] < 0x80) {
            ++i;
            continue;
        }
        const std::uint32_t length = decodeUtf8NonAscii(in + i, size - i).length;
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string attribute(xmlNode *node, const char *name)
{
    xmlChar *value = xmlGetProp(node, reinterpret_cast<const xmlChar *>(name));
    if (!value)
        return {};
    std::string out(reinterpret_cast<const char *>(value));
    xmlFree(value);
    return out;
}

// <meta name="author" content="..."> and the dates pages carry (Dublin
// Core's, the one pandoc writes, the one scholarly sites write).
void readMeta(xmlNode *node, ExtractedDocument &out)
{
    std::string name = attribute(node, "name");
    for (char &c : name)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    const char *field = name == "author"                                                        ? "author"
                        : name == "date" || name == "dcterms.date" || name == "dc.date" || name == "citation_date" ? "date"
                                                                                                   : nullptr;
    if (!field)
        return;
    for (const auto &known : out.fields) {
        if (known.first == field)
            return;  // the first one counts
    }
    TextCollector value;
    value.add(attribute(node, "content"));
    std::string text = value.take();
    if (!text.empty()) {
        text.pop_back();
        out.fields.emplace_back(field, std::move(text));
    }
}

struct DocumentDeleter {
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
using Document = std::unique_ptr<xmlDoc, DocumentDeleter>;

Document parse(std::string_view bytes, const char *encoding)
{
    constexpr int options = HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING
                            | HTML_PARSE_NOIMPLIED | HTML_PARSE_COMPACT;
    return Document(htmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, encoding, options));
}

}  // namespace

std::span<const std::string_view> HtmlReader::endings() const
{
    return htmlEndings;
}

ExtractedDocument HtmlReader::readFile(std::string_view bytes) const
{
    ExtractedDocument out;
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        out.error = "too large for the HTML parser (2 GB at most)";
        return out;
    }
    prepareXmlParser();
    // The page's own character set when it names one (libxml2 reads a byte
    // order mark and <meta charset>); else UTF-8, not the parser's Latin-1.
    // A page that names none but is UTF-8 already reads as it would be
    // read again (an e-book's chapters, declared only by <?xml?>, which
    // the HTML parser passes over): read once, not twice.
    Document doc = parse(bytes, nullptr);
    if (doc && doc->encoding == nullptr && !bytes.starts_with("\xEF\xBB\xBF") && !bytes.starts_with("\xFF\xFE")
        && !bytes.starts_with("\xFE\xFF") && !readsAlikeAsUtf8(bytes))
        doc = parse(bytes, "UTF-8");
    if (!doc) {
        out.error = "not an HTML document libxml2 can read";
        return out;
    }
    TextCollector text, title;
    int pre = 0;     // <pre> elements open
    int inHead = 0;  // inside <head>: no text shown, but the title read
    const auto enter = [&](xmlNode *node) {
        if (node->type == XML_ELEMENT_NODE) {
            const unsigned kinds = kindsOf(node);
            if ((kinds & titleElement) && title.size() == 0) {
                for (xmlNode *child = node->children; child; child = child->next) {
                    if (child->type == XML_TEXT_NODE && child->content)
                        title.add(reinterpret_cast<const char *>(child->content));
                }
            }
            if (kinds & metaElement)
                readMeta(node, out);
            if (kinds & headElement) {
                ++inHead;
                return true;
            }
            if (kinds & hiddenElement)
                return false;
            if (inHead > 0)
                return true;
            if (kinds & blockElement)
                text.endLine();
            pre += (kinds & preElement) != 0;
        } else if ((node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) && node->content
                   && inHead == 0) {
            const auto *content = reinterpret_cast<const char *>(node->content);
            pre > 0 ? text.addPreformatted(content) : text.add(content);
        }
        return true;
    };
    const auto leave = [&](xmlNode *node) {
        if (node->type != XML_ELEMENT_NODE)
            return;
        const unsigned kinds = kindsOf(node);
        if (kinds & headElement) {
            --inHead;
            return;
        }
        if ((kinds & hiddenElement) || inHead > 0)
            return;
        if ((kinds & preElement) && pre > 0)
            --pre;
        if (kinds & blockElement)
            text.endLine();
    };
    for (xmlNode *top = doc->children; top; top = top->next)
        walkXmlTree(top, enter, leave);
    out.text = text.take();
    std::string titleText = title.take();
    if (!titleText.empty()) {
        titleText.pop_back();  // the line feed take() ends it with
        out.fields.emplace(out.fields.begin(), "title", std::move(titleText));
    }
    return out;
}
