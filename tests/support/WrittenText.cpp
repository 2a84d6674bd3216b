#include "WrittenText.h"

#include "Tokenizer.h"

std::vector<WrittenText::Token> WrittenText::tokensOf(std::string_view bytes, const CorpusOptions &options)
{
    std::vector<Token> tokens;
    std::string word;
    forEachTokenOf(options, bytes.data(), static_cast<std::uint32_t>(bytes.size()), word,
                   [&](std::string_view token, std::uint32_t start) {
                       std::uint32_t end = start;
                       for (std::size_t held = 0; held < token.size(); ++end)
                           held += bytes[end] != '\0';
                       tokens.push_back({std::string(token), start, end});
                   });
    return tokens;
}

std::string WrittenText::between(std::string_view bytes, std::span<const Token> tokens, std::size_t first,
                                 std::size_t last)
{
    std::string out;
    for (std::size_t k = first; k <= last; ++k) {
        if (k > first) {
            const std::string_view gap = bytes.substr(tokens[k - 1].end, tokens[k].start - tokens[k - 1].end);
            if (gap.find_first_not_of('\0') != std::string_view::npos)
                out += ' ';
        }
        for (const char c : bytes.substr(tokens[k].start, tokens[k].end - tokens[k].start)) {
            if (c != '\0')
                out += c;
        }
    }
    return out;
}

WrittenText::WrittenText(std::vector<std::string> documents, const CorpusOptions &options)
    : documents_(std::move(documents))
{
    for (std::size_t d = 0; d < documents_.size(); ++d) {
        if (d > 0)
            at_.emplace_back(d, SIZE_MAX);
        tokens_.push_back(tokensOf(documents_[d], options));
        for (std::size_t k = 0; k < tokens_.back().size(); ++k)
            at_.emplace_back(d, k);
    }
}

std::string WrittenText::written(std::uint32_t first, std::uint32_t length) const
{
    const auto [d, k] = at_[first];
    return between(documents_[d], tokens_[d], k, k + length - 1);
}

std::string WrittenText::joinBefore(std::uint32_t p) const
{
    const auto [d, k] = at_[p];
    const std::string both = between(documents_[d], tokens_[d], k - 1, k);
    return both.size() > tokens_[d][k - 1].text.size() + tokens_[d][k].text.size() ? " " : "";
}

std::string WrittenText::label(std::uint32_t first, std::uint32_t length, bool root, std::string_view phrase,
                               bool backward) const
{
    if (length == 0)
        return root ? std::string(phrase) : std::string();
    const std::string stretch = written(first, length);
    if (!root)
        return stretch;
    return backward ? stretch + joinBefore(first + length) + std::string(phrase)
                    : std::string(phrase) + joinBefore(first) + stretch;
}
