// Opening a corpus with progress and a stop flag, and the answers to queries: what the command and the explorer share.
#include "DocumentFilter.h"
#include "OpenedCorpus.h"
#include "PhraseSearch.h"
#include "QueryAnswer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Scratch {
    std::string root = (fs::temp_directory_path() / "query-test-XXXXXX").string();
    Scratch() { root = ::mkdtemp(root.data()) ? root : std::string(); }
    ~Scratch() { std::error_code ignored; fs::remove_all(root, ignored); }
    std::string write(const std::string &relative, const std::string &bytes) const
    {
        const fs::path path = fs::path(root) / relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
};

}  // namespace

TEST(OpenedCorpus, ReportsEachStageAndStopsWhenAsked)
{
    Scratch scratch;
    scratch.write("texts/a.txt", "the cat sat .\n");
    scratch.write("texts/b.txt", "the dog sat .\n");
    const CorpusRequest request{scratch.root + "/texts", std::nullopt, {}, true};

    std::vector<Progress::Stage> stages;
    std::atomic<bool> stop{false};
    const auto opened = OpenedCorpus::open(request, Progress([&](const Progress::Step &step) {
        if (stages.empty() || stages.back() != step.stage)
            stages.push_back(step.stage);
    }, &stop));
    ASSERT_TRUE(opened.opened) << opened.reason;
    EXPECT_EQ(stages, (std::vector{Progress::Stage::Reading, Progress::Stage::Cutting, Progress::Stage::Sorting}));
    EXPECT_EQ(opened.opened->documentCount(), 2u);
    EXPECT_EQ(opened.opened->bytesRead(), 28u);

    // A stop asked for while reading, or already set, keeps nothing and gives no reason.
    for (const bool early : {true, false}) {
        stop = early;
        const auto stopped = OpenedCorpus::open(request, Progress([&](const Progress::Step &step) {
            if (step.stage == Progress::Stage::Cutting)
                stop = true;
        }, &stop));
        EXPECT_TRUE(stopped.stopped);
        EXPECT_FALSE(stopped.opened);
        EXPECT_TRUE(stopped.reason.empty());
    }

    const auto missing = OpenedCorpus::open({scratch.root + "/none", std::nullopt, {}, false});
    EXPECT_FALSE(missing.opened);
    EXPECT_FALSE(missing.stopped);
    EXPECT_FALSE(missing.reason.empty());
}

TEST(QueryAnswer, TokensAnswerAsTheirPhraseAndReasonsNameWhatIsMissing)
{
    const char text[] = "x the cat sat . y the cat ran . the dog";
    const Corpus corpus(text, sizeof text - 1, {WordRules::Bytes, true});
    Query byText{"THE cat", {}, QueryDirection::Both, {}};
    const QueryAnswer fromText = answerQuery(corpus, byText);
    ASSERT_EQ(fromText.status, QueryAnswer::Status::Found);
    ASSERT_TRUE(fromText.forward && fromText.backward);

    // The same tokens given as ids: the same trees, the root as labelled.
    std::vector<Corpus::TokenId> ids;
    ASSERT_TRUE(corpus.findTokens("the cat", 7, ids));
    const QueryAnswer fromIds = answerQuery(corpus, Query{"THE cat", ids, QueryDirection::Both, {}});
    ASSERT_EQ(fromIds.status, QueryAnswer::Status::Found);
    EXPECT_EQ(fromIds.forward->label(), fromText.forward->label());
    EXPECT_EQ(fromIds.forward->count(), 2u);
    EXPECT_EQ(fromIds.backward->children().size(), fromText.backward->children().size());
    EXPECT_EQ(queryOccurrences(corpus, Query{"", ids, QueryDirection::After, {}}).starts,
              queryOccurrences(corpus, byText).starts);

    const QueryAnswer missing = answerQuery(corpus, Query{"the Bird", {}, QueryDirection::Before, {}});
    EXPECT_EQ(missing.status, QueryAnswer::Status::NotFound);
    EXPECT_EQ(missing.phraseTokens, (std::vector<std::string>{"the", "Bird"}));
    EXPECT_EQ(missing.reason("t.txt"), "the phrase does not occur in t.txt");
    EXPECT_EQ(answerQuery(corpus, Query{" ", {}, QueryDirection::After, {}}).status, QueryAnswer::Status::NoTokens);
    EXPECT_EQ(answerQuery(corpus, Query{"", {}, QueryDirection::After, {}}).reason("t"),
              "the phrase has no words or marks to search for");
}

namespace {

// Numbers compare as numbers, other values as text; '*' runs; a missing field is empty.
TEST(DocumentFilter, ComparesYearsAsNumbersTextAsTextAndStarsAsAnyRun)
{
    const DocumentFilter::Fields dickens{{"author", "Dickens, Charles"}, {"year", "850"}, {"date", "c. 850"}};
    const auto holds = [&](std::vector<std::string> conditions) {
        std::string why;
        const std::optional<DocumentFilter> filter = DocumentFilter::parse(conditions, why);
        EXPECT_TRUE(filter) << why;
        return filter && filter->matches(dickens);
    };
    EXPECT_TRUE(holds({"year < 1850"}));           // as numbers: 850 < 1850
    EXPECT_FALSE(holds({"date<c. 1850"}));         // as text: "c. 850" > "c. 1850"
    EXPECT_TRUE(holds({"author=Dick*Charles", "year>=850"}));
    EXPECT_FALSE(holds({"author=Dick*", "year>850"}));
    EXPECT_TRUE(holds({"author=**ns,*"}));
    EXPECT_TRUE(holds({"title!=X"}));
    EXPECT_FALSE(holds({"title>A"}));              // no title is neither before nor after
    std::string why;
    for (const char *wrong : {"year", "=1850", "year!1850"})
        EXPECT_FALSE(DocumentFilter::parse({wrong}, why)) << wrong;
}

}  // namespace
