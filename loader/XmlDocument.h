// XmlDocument: an XML file parsed by libxml2 the one safe way every reader of XML uses: no DTD, no network, libxml2's bounds.
#pragma once

#include <libxml/tree.h>

#include <memory>
#include <string>
#include <string_view>

// Entities are substituted by libxml2 within its bounds on expansion (a
// "billion laughs" file ends in a fault, not in memory); no DTD or external
// entity is ever loaded (one that names a file or an address reads as
// nothing); the network is never used. A file that is not well-formed is
// kept as far as libxml2's recovery reads it.
class XmlDocument {
public:
    explicit XmlDocument(std::string_view bytes);
    ~XmlDocument();
    XmlDocument(const XmlDocument &) = delete;
    XmlDocument &operator=(const XmlDocument &) = delete;

    // The root element; nullptr when nothing could be read.
    xmlNode *root() const;
    // Whether the file was well-formed; when not, fault() says where, in one line.
    bool wellFormed() const { return wellFormed_; }
    const std::string &fault() const { return fault_; }

private:
    xmlDoc *doc_ = nullptr;
    bool wellFormed_ = false;
    std::string fault_;
};

// Readies libxml2 once per process, before any parse: its parser set up
// and external entities refused for every document. Safe to call from
// several threads at once; every reader of XML or HTML calls it first, so
// that no thread parses while another changes what libxml2 shares.
void prepareXmlParser();

// The text of `node` and all below it, white space run together, on one line.
std::string textOf(const xmlNode *node);
// The value of `node`'s attribute with the local name `name`, or "".
std::string attributeOf(const xmlNode *node, const char *name);
// Whether `node` is an element with the local name `name` (any namespace).
bool isElement(const xmlNode *node, const char *name);
// The first element named `name` below `node` (not `node` itself), in document order.
const xmlNode *findBelow(const xmlNode *node, const char *name);
