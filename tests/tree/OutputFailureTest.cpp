// A failing output, at every point of every printed format: the command stops cleanly, no byte reaches the
// output after the failure, and the tree walk makes no more children.
#include "JsonWriter.h"
#include "OutlineWriter.h"
#include "OutputBuffer.h"
#include "PhraseSearch.h"
#include "TreeCommand.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A sink that takes `room` bytes and then fails, noting every call.
struct Failing {
    explicit Failing(std::size_t room) : room(room) {}

    std::size_t room;
    std::string taken;
    bool failed = false;
    int callsAfterFailing = 0;

    OutputBuffer::Sink sink()
    {
        return [this](std::string_view bytes) {
            if (failed)
                ++callsAfterFailing;
            const std::size_t part = std::min(bytes.size(), room - taken.size());
            taken.append(bytes.substr(0, part));
            failed = failed || part < bytes.size();
            return !failed;
        };
    }
};

int runCommand(std::vector<std::string> arguments, OutputBuffer &output)
{
    arguments.insert(arguments.begin(), "morvanet-tree");
    std::vector<char *> argv;
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    return runTreeCommand(static_cast<int>(arguments.size()), argv.data(), output);
}

// Nodes whose children have been made, found without making any.
std::size_t nodesWithChildrenMade(const PhraseNode &root)
{
    std::size_t made = 0;
    std::vector<const PhraseNode *> pending{&root};
    while (!pending.empty()) {
        const PhraseNode *node = pending.back();
        pending.pop_back();
        if (!node->childrenMade() || node->children().empty())
            continue;
        ++made;
        for (const auto &child : node->children())
            pending.push_back(child.get());
    }
    return made;
}

TEST(OutputFailure, EveryFormatStopsAtEveryCutWithNothingWrittenAfter)
{
    const std::string path = testing::TempDir() + "output-failure.txt";
    std::ofstream(path) << "a b c . a b d .\nx a c . a b c e . y a b\n\na b c d e f\n";
    // Messages about the failed output go to standard error: not into the test's log.
    std::fflush(stderr);
    const int savedError = dup(2);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    const std::vector<std::vector<std::string>> commands = {
        {"--counts", path, "a"}, {"--json", path, "a"}, {"--both", "--json", "--counts", path, "a b"},
        {"--reverse", "--json", path, "c"}, {"--both", path, "a"}, {"--kwic", "2", path, "a"}};
    for (const auto &command : commands) {
        Failing whole(SIZE_MAX);
        OutputBuffer complete(whole.sink(), 1);
        ASSERT_EQ(runCommand(command, complete), 0);
        ASSERT_GT(whole.taken.size(), 20u);
        for (std::size_t cut = 0; cut < whole.taken.size(); cut += 1 + cut / 64) {
            Failing failing(cut);
            OutputBuffer output(failing.sink(), 1 + cut % 7);
            EXPECT_EQ(runCommand(command, output), 2) << command[0] << " cut at " << cut;
            EXPECT_EQ(failing.taken, whole.taken.substr(0, cut)) << command[0] << " cut at " << cut;
            EXPECT_EQ(failing.callsAfterFailing, 0) << command[0] << " cut at " << cut;
            EXPECT_TRUE(output.failed());
        }
    }
    dup2(savedError, 2);
    close(savedError);
    close(null);
}

TEST(OutputFailure, TheWalkMakesNoChildrenOnceTheOutputHasFailed)
{
    std::string text;
    for (int i = 0; i < 200; ++i)
        text += "a " + std::to_string(i % 7) + " " + std::to_string(i % 5) + " " + std::to_string(i) + " . ";
    const Corpus corpus(text.data(), static_cast<std::uint32_t>(text.size()));
    for (const bool json : {false, true}) {
        for (std::size_t cut = 0; cut < 400; cut += 13) {
            const PhraseSearchResult result = searchPhrase(corpus, "a", TreeDirection::Forward);
            ASSERT_TRUE(result.root);
            Failing failing(cut);
            OutputBuffer output(failing.sink(), 1);
            json ? writeJson(*result.root, {}, output) : writeOutline(*result.root, {}, output);
            ASSERT_TRUE(output.failed());
            // Each node entered wrote a line and flushed it; the walk read
            // the children of those before the failure, and of no other.
            const std::size_t entered = static_cast<std::size_t>(std::count(failing.taken.begin(), failing.taken.end(), '\n')) + 1;
            EXPECT_LE(nodesWithChildrenMade(*result.root), entered) << json << " cut at " << cut;
        }
    }
}

}  // namespace
