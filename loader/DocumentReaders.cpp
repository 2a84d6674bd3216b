#include "DocumentReaders.h"

#include "ConlluReader.h"
#include "DocxReader.h"
#include "EpubReader.h"
#include "HtmlReader.h"
#include "OdtReader.h"
#include "PdfReader.h"
#include "VerticalReader.h"
#include "XmlReader.h"

#include "Utf8.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace {

const HtmlReader html;
const XmlReader xml;
const DocxReader docx;
const OdtReader odt;
const EpubReader epub;
const PdfReader pdf;
const std::array<const DocumentReader *, 6> readers{&html, &xml, &docx, &odt, &epub, &pdf};
const ConlluReader conllu;
const VerticalReader vertical;
const std::array<const AnnotatedReader *, 2> annotatedReaders{&conllu, &vertical};

}  // namespace

namespace {

// `text` with each byte that starts no well-formed UTF-8 character replaced by U+FFFD.
void makeWellFormed(std::string &text)
{
    const auto *in = reinterpret_cast<const unsigned char *>(text.data());
    std::size_t i = 0;
    while (i < text.size()) {
        // Eight ASCII bytes at a time, the usual text.
        std::uint64_t word;
        if (i + sizeof word <= text.size()) {
            std::memcpy(&word, in + i, sizeof word);
            if ((word & 0x8080808080808080) == 0) {
                i += sizeof word;
                continue;
            }
        }
        const std::uint32_t length = in[i] < 0x80 ? 1 : decodeUtf8NonAscii(in + i, text.size() - i).length;
        if (length == 0)
            break;
        i += length;
    }
    if (i == text.size())
        return;  // the usual case: nothing to copy
    std::string out(text, 0, i);
    while (i < text.size()) {
        const std::uint32_t length = in[i] < 0x80 ? 1 : decodeUtf8NonAscii(in + i, text.size() - i).length;
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    text = std::move(out);
}

}  // namespace

ExtractedDocument DocumentReader::read(std::string_view bytes) const
{
    ExtractedDocument document = readFile(bytes);
    makeWellFormed(document.text);
    for (auto &field : document.fields)
        makeWellFormed(field.second);
    for (std::string &warning : document.warnings)
        makeWellFormed(warning);
    makeWellFormed(document.error);
    return document;
}

std::span<const DocumentReader *const> documentReaders()
{
    return readers;
}

namespace {

// The first of `all` that takes a name ending as `name` does.
template <typename Reader, std::size_t count>
const Reader *readerTaking(const std::array<const Reader *, count> &all, std::string_view name)
{
    for (const Reader *reader : all) {
        for (const std::string_view ending : reader->endings()) {
            if (name.ends_with(ending))
                return reader;
        }
    }
    return nullptr;
}

}  // namespace

const DocumentReader *documentReaderFor(std::string_view name)
{
    return readerTaking(readers, name);
}

const AnnotatedReader *annotatedReaderFor(std::string_view name)
{
    return readerTaking(annotatedReaders, name);
}
