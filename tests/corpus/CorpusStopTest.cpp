// Making a corpus of one large document: how far cutting has come is told within it, and a stop is heeded within it and within the indexing.
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

// One document of at least `bytes` bytes that every word rule cuts into
// many tokens: Chinese for the segmented rules (cut by ICU's dictionaries,
// on two cores), mixed scripts otherwise.
std::string largeDocument(WordRules rules, std::uint64_t bytes)
{
    std::string unit;
    if (rules == WordRules::Segmented) {
        std::ifstream in(MORVANET_TEST_DATA_DIR "/chinese-fortunes.txt", std::ios::binary);
        unit.assign(std::istreambuf_iterator<char>(in), {});
    } else {
        unit = "In the beginning God created the heaven and the earth. Die Gr\xc3\xb6\xc3\x9f"
               "e der Stra\xc3\x9f" "e, \xe6\x88\x91\xe6\x98\xaf\xe4\xb8\xad\xe5\x9b\xbd\xe4\xba\xba\xe3\x80\x82\n";
    }
    std::string text;
    text.reserve(bytes + unit.size());
    while (text.size() < bytes)
        text += unit;
    return text;
}

const char *nameOf(WordRules rules)
{
    return rules == WordRules::Bytes ? "bytes" : rules == WordRules::Unicode ? "unicode" : "segmented";
}

TEST(CorpusProgress, CuttingOneLargeDocumentIsToldEveryFewMegabytes)
{
    for (const WordRules rules : {WordRules::Bytes, WordRules::Unicode, WordRules::Segmented}) {
        const std::string text = largeDocument(rules, 10 * megabyte);
        const std::string_view documents[] = {text};
        std::vector<std::uint64_t> cut;
        const Corpus corpus(documents, {rules, false}, false, Progress([&](const Progress::Step &step) {
            if (step.stage == Progress::Stage::Cutting) {
                EXPECT_EQ(step.total, text.size());
                cut.push_back(step.done);
            }
        }, nullptr));
        ASSERT_GE(cut.size(), 3u) << nameOf(rules);
        EXPECT_EQ(cut.back(), text.size()) << nameOf(rules);
        std::uint64_t before = 0;
        for (const std::uint64_t done : cut) {
            EXPECT_GT(done, before) << nameOf(rules);
            EXPECT_LE(done - before, 5 * megabyte) << nameOf(rules);
            before = done;
        }
    }
}

TEST(CorpusStop, HeededWhileOneLargeDocumentIsCut)
{
    // The stop is asked for at the first report, from inside the document:
    // no report follows, the document is never cut whole.
    for (const WordRules rules : {WordRules::Bytes, WordRules::Unicode, WordRules::Segmented}) {
        for (const bool fold : {false, true}) {
            const std::string text = largeDocument(rules, 10 * megabyte);
            const std::string_view documents[] = {text};
            std::atomic<bool> stop{false};
            std::vector<Progress::Step> heard;
            const Progress progress([&](const Progress::Step &step) {
                heard.push_back(step);
                stop = true;
            }, &stop);
            EXPECT_THROW(Corpus(documents, {rules, fold}, true, progress), Progress::Stopped) << nameOf(rules);
            ASSERT_EQ(heard.size(), 1u) << nameOf(rules);
            EXPECT_EQ(heard[0].stage, Progress::Stage::Cutting);
            EXPECT_LT(heard[0].done, text.size()) << nameOf(rules);
        }
    }
}

TEST(CorpusStop, HeededWhenIndexingStartsInEitherDirection)
{
    const std::string text = largeDocument(WordRules::Bytes, 4 * megabyte);
    const std::string_view documents[] = {text, text};
    for (const bool backwardToo : {false, true}) {
        std::atomic<bool> stop{false};
        std::uint64_t directionsDone = 0;
        const Progress progress([&](const Progress::Step &step) {
            if (step.stage != Progress::Stage::Sorting)
                return;
            directionsDone = step.done;
            stop = true;
        }, &stop);
        EXPECT_THROW(Corpus(documents, {}, backwardToo, progress), Progress::Stopped);
        EXPECT_EQ(directionsDone, 0u);
    }
}

TEST(SuffixArrayStop, AStopSetBeforeSortingSortsNothing)
{
    // The first pass reads the flag before it has gone a million entries:
    // nothing is sorted, so the arrays are not even made.
    std::vector<std::uint32_t> text(3'000'000);
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<std::uint32_t>(i * 2654435761u % 1000);
    const std::atomic<bool> stop{true};
    std::vector<std::uint32_t> suffixArray, lcpArray;
    EXPECT_THROW(buildSuffixAndLcpArrays(text.data(), static_cast<std::uint32_t>(text.size()), 1000, suffixArray,
                                         lcpArray, &stop),
                 Progress::Stopped);
    EXPECT_TRUE(suffixArray.empty());
    EXPECT_TRUE(lcpArray.empty());
}

}  // namespace
