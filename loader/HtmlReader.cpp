#include "HtmlReader.h"

#include "TextCollector.h"
#include "XmlDocument.h"
#include "XmlTreeWalk.h"

#include <libxml/HTMLparser.h>

#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr std::array<std::string_view, 3> htmlEndings{".html", ".htm", ".xhtml"};

bool named(const xmlNode *node, std::initializer_list<const char *> names)
{
    const auto *name = reinterpret_cast<const char *>(node->name);
    for (const char *candidate : names) {
        if (::strcasecmp(name, candidate) == 0)
            return true;
    }
    return false;
}

// Elements whose text is not shown.
bool hidden(const xmlNode *node)
{
    return named(node, {"script", "style", "head", "template", "noscript", "iframe", "object"});
}

// Elements that stand on lines of their own.
bool block(const xmlNode *node)
{
    return named(node, {"p",     "div",   "h1",     "h2",      "h3",      "h4",         "h5",       "h6",
                        "li",    "dt",    "dd",     "td",      "th",      "tr",         "br",       "hr",
                        "pre",   "table", "ul",     "ol",      "dl",      "blockquote", "section",  "article",
                        "aside", "header", "footer", "nav",    "main",    "figure",     "figcaption", "caption",
                        "address", "title", "body", "form",    "fieldset", "legend",    "details",  "summary",
                        "option", "center"});
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
    Document doc = parse(bytes, nullptr);
    if (doc && doc->encoding == nullptr && !bytes.starts_with("\xEF\xBB\xBF") && !bytes.starts_with("\xFF\xFE")
        && !bytes.starts_with("\xFE\xFF"))
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
            if (named(node, {"title"}) && title.size() == 0) {
                for (xmlNode *child = node->children; child; child = child->next) {
                    if (child->type == XML_TEXT_NODE && child->content)
                        title.add(reinterpret_cast<const char *>(child->content));
                }
            }
            if (named(node, {"meta"}))
                readMeta(node, out);
            if (named(node, {"head"})) {
                ++inHead;
                return true;
            }
            if (hidden(node))
                return false;
            if (inHead > 0)
                return true;
            if (block(node))
                text.endLine();
            pre += named(node, {"pre"});
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
        if (named(node, {"head"})) {
            --inHead;
            return;
        }
        if (hidden(node) || inHead > 0)
            return;
        if (named(node, {"pre"}) && pre > 0)
            --pre;
        if (block(node))
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
