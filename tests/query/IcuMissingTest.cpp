// The segmented word rules without ICU's word break data (the shim linked in makes it so): opening, asking and the command give a one-line reason and never abort.
#include "OpenedCorpus.h"
#include "QueryAnswer.h"
#include "QueryTreeOccurrences.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string missing = "ICU's word break rules cannot be loaded";
const std::string chinese = MORVANET_TEST_DATA_DIR "/chinese-fortunes.txt";
const fs::path scratch = fs::temp_directory_path() / ("icu-missing-" + std::to_string(::getpid()));

OpenedCorpus::Outcome openSegmented(const std::string &path)
{
    CorpusRequest request;
    request.path = path;
    request.options.words = WordRules::Segmented;
    return OpenedCorpus::open(request);
}

TEST(IcuMissing, OpeningAndAskingGiveTheReason)
{
    // Two megabytes, cut on two cores: the failure comes from either.
    const OpenedCorpus::Outcome failed = openSegmented(chinese);
    EXPECT_TRUE(!failed.opened && !failed.stopped);
    EXPECT_EQ(failed.reason, missing);

    // ASCII that no rule of ICU could join is cut without it, so this opens,
    // as a saved index does; a phrase that needs ICU then fails.
    fs::create_directories(scratch);
    std::ofstream(scratch / "plain.txt") << "the cat sat . the dog ran .\n";
    const OpenedCorpus::Outcome outcome = openSegmented((scratch / "plain.txt").string());
    ASSERT_TRUE(outcome.opened) << outcome.reason;
    Query query;
    query.direction = QueryDirection::Both;
    for (const char *phrase : {"\xe4\xbd\xa0", "don't"}) {
        query.phrase = phrase;
        const QueryAnswer answer = answerQuery(outcome.opened->corpus(), query);
        EXPECT_EQ(answer.status, QueryAnswer::Status::Failed);
        EXPECT_EQ(answer.reason("corpus"), missing);
        EXPECT_TRUE(queryTokenIds(outcome.opened->corpus(), query).empty());
    }
    query.phrase = "the cat";
    EXPECT_EQ(answerQuery(outcome.opened->corpus(), query).status, QueryAnswer::Status::Found);
    fs::remove_all(scratch);
}

// The real command's exit status, the shim preloaded when `withoutIcu`; its
// output is left in scratch/out and scratch/err.
int runTool(const std::string &arguments, bool withoutIcu)
{
    // A sanitized build wants its runtime first among the libraries; the
    // shim, preloaded, comes before it and is no business of the sanitizer.
    const std::string line = std::string(withoutIcu ? "LD_PRELOAD=" ICU_MISSING_SHIM
                                                      " ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 "
                                                    : "")
                             + MORVANET_TREE_TOOL
                             + " " + arguments + " </dev/null >" + (scratch / "out").string() + " 2>"
                             + (scratch / "err").string();
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string slurp(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(IcuMissing, TheCommandExitsWithOneLineAndStatusTwo)
{
    // Saved where the data is there; read, asked and saved again where it is not.
    fs::create_directories(scratch);
    const std::string index = (scratch / "chinese.index").string(), again = (scratch / "again.index").string();
    ASSERT_EQ(runTool("--segment --save-index " + index + " " + chinese, false), 0);
    const std::string you = " \xe4\xbd\xa0";
    for (const auto &[arguments, path] : std::vector<std::pair<std::string, std::string>>{
             {"--segment --both " + chinese + you, chinese},
             {"--segment --save-index " + again + " " + chinese, chinese},
             {"--segment --reverse " + index + you, index},
             {"--segment --kwic 3 " + index + you, index}}) {
        EXPECT_EQ(runTool(arguments, true), 2) << arguments;
        EXPECT_EQ(slurp(scratch / "out"), "") << arguments;
        EXPECT_EQ(slurp(scratch / "err"), "morvanet-tree: " + path + ": " + missing + "\n") << arguments;
    }
    EXPECT_FALSE(fs::exists(again));
    fs::remove_all(scratch);
}

}  // namespace
