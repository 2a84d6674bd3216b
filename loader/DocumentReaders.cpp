#include "DocumentReaders.h"

#include "HtmlReader.h"
#include "XmlReader.h"

#include <array>

namespace {

const HtmlReader html;
const XmlReader xml;
const std::array<const DocumentReader *, 2> readers{&html, &xml};

}  // namespace

std::span<const DocumentReader *const> documentReaders()
{
    return readers;
}

const DocumentReader *documentReaderFor(std::string_view name)
{
    for (const DocumentReader *reader : readers) {
        for (const std::string_view ending : reader->endings()) {
            if (name.ends_with(ending))
                return reader;
        }
    }
    return nullptr;
}
