#include "PdfReader.h"

#include "TextCollector.h"

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-page.h>

#include <array>
#include <climits>
#include <memory>
#include <mutex>

namespace {

constexpr std::array<std::string_view, 1> pdfEndings{".pdf"};

std::string utf8(const poppler::ustring &text)
{
    const poppler::byte_array bytes = text.to_utf8();
    return std::string(bytes.begin(), bytes.end());
}

// "D:18511018120000Z" as "1851-10-18"; any other way of writing it as written.
std::string dateOf(std::string raw)
{
    if (raw.starts_with("D:"))
        raw.erase(0, 2);
    const auto digits = [&](std::size_t from, std::size_t count) {
        if (raw.size() < from + count)
            return false;
        for (std::size_t i = from; i < from + count; ++i) {
            if (raw[i] < '0' || raw[i] > '9')
                return false;
        }
        return true;
    };
    if (digits(0, 8))
        return raw.substr(0, 4) + '-' + raw.substr(4, 2) + '-' + raw.substr(6, 2);
    if (digits(0, 4))
        return raw.substr(0, 4);
    return raw;
}

void quiet(const std::string &, void *) {}

}  // namespace

std::span<const std::string_view> PdfReader::endings() const
{
    return pdfEndings;
}

ExtractedDocument PdfReader::readFile(std::string_view bytes) const
{
    ExtractedDocument out;
    static std::once_flag once;
    std::call_once(once, [] { poppler::set_debug_error_function(quiet, nullptr); });
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
        out.error = "too large for poppler (2 GB at most)";
        return out;
    }
    const std::unique_ptr<poppler::document> document(
        poppler::document::load_from_raw_data(bytes.data(), static_cast<int>(bytes.size())));
    if (!document) {
        out.error = "not a PDF poppler can read";
        return out;
    }
    if (document->is_locked()) {
        out.error = "it is encrypted (it needs a password)";
        return out;
    }
    TextCollector text;
    for (int index = 0; index < document->pages(); ++index) {
        const std::unique_ptr<poppler::page> page(document->create_page(index));
        if (!page)
            continue;
        const std::string pageText = utf8(page->text(poppler::rectf(), poppler::page::non_raw_non_physical_layout));
        std::size_t from = 0;
        while (from < pageText.size()) {
            const std::size_t end = std::min(pageText.find('\n', from), pageText.size());
            text.add(std::string_view(pageText).substr(from, end - from));
            text.endLine();
            from = end + 1;
        }
    }
    out.text = text.take();
    const auto field = [&](const char *name, std::string value) {
        TextCollector oneLine;
        oneLine.add(value);
        value = oneLine.take();
        if (!value.empty()) {
            value.pop_back();
            out.fields.emplace_back(name, std::move(value));
        }
    };
    field("title", utf8(document->get_title()));
    field("author", utf8(document->get_author()));
    field("date", dateOf(utf8(document->info_key("CreationDate"))));
    return out;
}
