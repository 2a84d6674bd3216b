#include "WrittenText.h"

#include "Tokenizer.h"

std::vector<SpannedToken> spannedTokens(std::string_view bytes, const CorpusOptions &options)
{
    std::vector<SpannedToken> tokens;
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

std::string writtenBetween(std::string_view bytes, std::span<const SpannedToken> tokens, std::size_t first,
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
