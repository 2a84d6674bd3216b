// Making a corpus of one large document: cutting tells how far it has come within it, and a stop is heeded within it and before the suffix sorting's first pass ends.
#include "Corpus.h"
#include "SuffixArray.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr std::uint64_t megabyte = 1 << 20;

// Ten megabytes in one document, many tokens by any rule: Chinese for the
// segmented rules (cut by ICU's dictionaries, on two cores), else mixed scripts.
std::string largeDocument(WordRules rules)
{
    std::ifstream in(MORVANET_TEST_DATA_DIR "/chinese-fortunes.txt", std::ios::binary);
    const std::string unit = rules == WordRules::Segmented
                                 ? std::string(std::istreambuf_iterator<char>(in), {})
                                 : "In the beginning God created the heaven. Gr\xc3\xb6\xc3\x9f" "e \xe6\x88\x91\xe3\x80\x82\n";
    std::string text;
    while (text.size() < 10 * megabyte)
        text += unit;
    return text;
}

TEST(CorpusStop, CuttingOneLargeDocumentIsToldAndStoppedWithinIt)
{
    for (const WordRules rules : {WordRules::Bytes, WordRules::Unicode, WordRules::Segmented}) {
        SCOPED_TRACE(static_cast<int>(rules));
        const std::string text = largeDocument(rules);
        const std::string_view documents[] = {text};
        // Told every few megabytes, rising to the whole.
        std::vector<std::uint64_t> cut{0};
        const Corpus whole(documents, {rules, false}, false, Progress([&](const Progress::Step &step) {
            if (step.stage == Progress::Stage::Cutting)
                cut.push_back(step.done);
        }, nullptr));
        ASSERT_GE(cut.size(), 4u);
        EXPECT_EQ(cut.back(), text.size());
        for (std::size_t k = 1; k < cut.size(); ++k)
            EXPECT_TRUE(cut[k] > cut[k - 1] && cut[k] - cut[k - 1] <= 5 * megabyte) << cut[k];

        // A stop asked for at the first report is heeded before the next one:
        // the document is never cut whole, folding or not.
        for (const bool fold : {false, true}) {
            std::atomic<bool> stop{false};
            std::vector<Progress::Step> heard;
            const Progress progress([&](const Progress::Step &step) {
                heard.push_back(step);
                stop = true;
            }, &stop);
            EXPECT_THROW(Corpus(documents, {rules, fold}, true, progress), Progress::Stopped);
            ASSERT_EQ(heard.size(), 1u);
            EXPECT_LT(heard[0].done, text.size());
        }
    }
}

TEST(CorpusStop, AStopSetBeforeSortingSortsNothing)
{
    // The first pass reads the flag within a million entries: no array is even made.
    std::vector<std::uint32_t> text(3'000'000), suffixArray, lcpArray;
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<std::uint32_t>(i * 2654435761u % 1000);
    const std::atomic<bool> stop{true};
    EXPECT_THROW(buildSuffixAndLcpArrays(text.data(), 3'000'000, 1000, suffixArray, lcpArray, &stop), Progress::Stopped);
    EXPECT_TRUE(suffixArray.empty() && lcpArray.empty());
}

}  // namespace
