// OfficeText: what the readers of packed office formats share: reading an XML member and taking its metadata fields.
#pragma once

#include "ExtractedDocument.h"
#include "XmlDocument.h"
#include "ZipArchive.h"

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

// The member `name` of `archive` parsed as XML; nothing, with `out.error`
// set, when it cannot be read; a warning in `out` when it was recovered.
inline std::unique_ptr<XmlDocument> readXmlMember(const ZipArchive &archive, const std::string &name,
                                                  ExtractedDocument &out)
{
    std::string why;
    const std::optional<std::string> bytes = archive.read(name, why);
    if (!bytes) {
        out.error = why;
        return nullptr;
    }
    auto document = std::make_unique<XmlDocument>(*bytes);
    if (!document->root()) {
        out.error = name + " is not XML (" + document->fault() + ")";
        return nullptr;
    }
    if (!document->wellFormed())
        out.warnings.push_back(name + " is not well-formed XML, read as far as libxml2 recovers it ("
                               + document->fault() + ")");
    return document;
}

// Adds `field` from the first element below `from` with one of `names`
// (local names, tried in order) that holds text.
inline void addField(ExtractedDocument &out, const char *field, const xmlNode *from,
                     std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        if (const xmlNode *found = findBelow(from, name)) {
            std::string value = textOf(found);
            if (!value.empty()) {
                out.fields.emplace_back(field, std::move(value));
                return;
            }
        }
    }
}
