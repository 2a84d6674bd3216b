// Opening a corpus with progress and a stop flag, and the answers to queries: what the command and the explorer share.
#include "DocumentFilter.h"
#include "OpenedCorpus.h"
#include "PhraseSearch.h"
#include "QueryAnswer.h"
#include "QueryTreeOccurrences.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
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

// Every node's label, count and weight, depth first, without recursion.
std::string outline(const PhraseNode *root)
{
    std::string out;
    std::vector<std::pair<const PhraseNode *, int>> stack{{root, 0}};
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        out += std::string(depth, ' ') + node->label() + " " + std::to_string(node->count()) + " "
               + std::to_string(node->weight()) + "\n";
        for (auto child = node->children().rbegin(); child != node->children().rend(); ++child)
            stack.emplace_back(child->get(), depth + 1);
    }
    return out;
}

// Asked within some documents, a corpus answers as the corpus of those
// documents alone would: trees, weights, occurrences and lines.
TEST(DocumentSubset, AnswersAsTheCorpusOfItsDocumentsAlone)
{
    std::mt19937 random(7);
    const char *words[] = {"a", "b", "a", ".", "c", "A"};
    for (int round = 0; round < 60; ++round) {
        std::vector<std::string> texts(1 + random() % 6);
        for (std::string &text : texts) {
            for (int k = random() % 14; k > 0; --k)
                text += std::string(words[random() % 6]) + (random() % 5 ? " " : "\n");
        }
        std::vector<std::uint32_t> chosen;
        std::vector<std::string_view> all, kept;
        for (std::uint32_t d = 0; d < texts.size(); ++d) {
            all.emplace_back(texts[d]);
            if (random() % 2) {
                chosen.push_back(d);
                kept.emplace_back(texts[d]);
            }
        }
        const CorpusOptions options{WordRules::Bytes, round % 2 == 1};
        const Corpus whole(all, options, true), alone(kept, options, true);
        const auto within = std::make_shared<const DocumentSubset>(whole, chosen);
        EXPECT_EQ(within->tokenCount(), alone.tokenCount());
        for (const char *phrase : {"a", "b a", "a a", ".", "[word=\"a|c\"] []"}) {
            for (const bool sentences : {false, true}) {
                const Query plain{phrase, {}, QueryDirection::Both, {}, sentences};
                const QueryAnswer expected = answerQuery(alone, plain);
                Query query = plain;
                query.within = within;
                const QueryAnswer actual = answerQuery(whole, query);
                const std::string context = std::string(phrase) + " in round " + std::to_string(round);
                ASSERT_EQ(actual.status, expected.status) << context;
                if (expected.status != QueryAnswer::Status::Found)
                    continue;
                EXPECT_EQ(outline(actual.forward.get()), outline(expected.forward.get())) << context;
                EXPECT_EQ(outline(actual.backward.get()), outline(expected.backward.get())) << context;
                EXPECT_EQ(queryOccurrences(whole, query).starts.size(),
                          queryOccurrences(alone, plain).starts.size()) << context;
                for (const TreeDirection side : {TreeDirection::Forward, TreeDirection::Backward}) {
                    const TreeOccurrences lines = queryTreeOccurrences(whole, query, side);
                    const PhraseNode &root = side == TreeDirection::Forward ? *actual.forward : *actual.backward;
                    for (const auto &child : root.children()) {
                        const std::vector<const PhraseNode *> path{&root, child.get()};
                        EXPECT_EQ(lines.through(path).size(), child->count()) << context;
                    }
                }
            }
        }
    }
}

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
