// The segmented word rules without ICU's word break data (the shim linked in makes it so): opening, asking and the command give a one-line reason and never abort.
#include "OpenedCorpus.h"
#include "QueryAnswer.h"
#include "QueryTreeOccurrences.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string missing = "ICU's word break rules cannot be loaded";
const std::string chinese = MORVANET_TEST_DATA_DIR "/chinese-fortunes.txt";

CorpusRequest segmented(const std::string &path)
{
    CorpusRequest request;
    request.path = path;
    request.options.words = WordRules::Segmented;
    request.maxBytes = 0;
    return request;
}

TEST(IcuMissing, OpeningASegmentedCorpusGivesTheReason)
{
    // Two megabytes: cut on two cores, the failure comes from either.
    const OpenedCorpus::Outcome outcome = OpenedCorpus::open(segmented(chinese));
    EXPECT_FALSE(outcome.opened);
    EXPECT_FALSE(outcome.stopped);
    EXPECT_EQ(outcome.reason, missing);
}

TEST(IcuMissing, AskingASegmentedPhraseGivesTheReason)
{
    // Plain ASCII that no word rule of ICU could join is cut without ICU,
    // so this corpus opens; a phrase that needs ICU then fails, as it does
    // when a saved index opens on a machine without the data.
    const fs::path text = fs::temp_directory_path() / ("icu-missing-" + std::to_string(::getpid()) + ".txt");
    std::ofstream(text) << "the cat sat . the dog ran .\n";
    const OpenedCorpus::Outcome outcome = OpenedCorpus::open(segmented(text.string()));
    fs::remove(text);
    ASSERT_TRUE(outcome.opened) << outcome.reason;
    const Corpus &corpus = outcome.opened->corpus();
    for (const char *phrase : {"\xe4\xbd\xa0", "don't", "the"}) {
        Query query;
        query.phrase = phrase;
        query.direction = QueryDirection::Both;
        const QueryAnswer answer = answerQuery(corpus, query);
        if (std::string(phrase) == "the") {
            EXPECT_EQ(answer.status, QueryAnswer::Status::Found);
            continue;
        }
        EXPECT_EQ(answer.status, QueryAnswer::Status::Failed) << phrase;
        EXPECT_EQ(answer.reason("corpus"), missing) << phrase;
        EXPECT_TRUE(queryTokenIds(corpus, query).empty()) << phrase;
    }
}

struct ToolRun {
    int status = -1;  // -1: ended by a signal
    std::string out, err;
};

std::string slurp(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the real command with `arguments`, the shim preloaded when `withoutIcu`.
ToolRun runTool(const std::vector<std::string> &arguments, bool withoutIcu, const fs::path &scratch)
{
    std::vector<std::string> words{MORVANET_TREE_TOOL};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char **variable = environ; *variable != nullptr; ++variable) {
        if (std::string_view(*variable).substr(0, 11) != "LD_PRELOAD=")
            environment.emplace_back(*variable);
    }
    if (withoutIcu)
        environment.push_back("LD_PRELOAD=" ICU_MISSING_SHIM);
    std::vector<char *> envp;
    for (std::string &variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    const std::string out = (scratch / "out").string(), err = (scratch / "err").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    ToolRun run;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = slurp(out);
    run.err = slurp(err);
    return run;
}

TEST(IcuMissing, TheCommandExitsWithOneLineAndStatusTwo)
{
    const fs::path scratch = fs::temp_directory_path() / ("icu-missing-tool-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    const std::string index = (scratch / "chinese.index").string();
    // Saved where the data is there; asked, kept and saved again where it is not.
    const ToolRun saved = runTool({"--segment", "--save-index", index, chinese}, false, scratch);
    ASSERT_EQ(saved.status, 0) << saved.err;
    const std::string you = "\xe4\xbd\xa0";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--segment", chinese, you}, chinese},
        {{"--segment", "--both", "--depth", "2", chinese, you}, chinese},
        {{"--segment", "--save-index", (scratch / "again.index").string(), chinese}, chinese},
        {{"--segment", index, you}, index},
        {{"--segment", "--reverse", index, you}, index},
        {{"--segment", "--kwic", "3", index, you}, index},
    };
    for (const auto &[arguments, path] : cases) {
        const ToolRun run = runTool(arguments, true, scratch);
        const std::string shown = arguments.front() + " ... " + arguments.back();
        EXPECT_EQ(run.status, 2) << shown << ": " << run.err;
        EXPECT_TRUE(run.out.empty()) << shown;
        EXPECT_EQ(run.err, "morvanet-tree: " + path + ": " + missing + "\n") << shown;
    }
    EXPECT_FALSE(fs::exists(scratch / "again.index"));
    // An ASCII phrase of the saved index needs no ICU.
    EXPECT_EQ(runTool({"--segment", "--depth", "1", index, "GNU"}, true, scratch).status, 0);
    fs::remove_all(scratch);
}

}  // namespace
