// Saved indexes: every output from an index is the text's own, damaged indexes are refused or harmless, saving replaces whole.
#include "Concordance.h"
#include "Corpus.h"
#include "IndexFormat.h"
#include "OpenedCorpus.h"
#include "PhraseSearch.h"
#include "TreeCommand.h"

#include <gtest/gtest.h>
#include <xxhash.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <functional>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace indexformat;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
};

// The command run in this process, its standard output caught.
Outcome run(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "morvanet-tree");
    std::vector<char *> argv;
    for (std::string &argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    char *bytes = nullptr;
    std::size_t size = 0;
    std::FILE *stream = open_memstream(&bytes, &size);
    Outcome result;
    {
        OutputBuffer output(stream);
        result.status = runTreeCommand(static_cast<int>(argv.size() - 1), argv.data(), output);
    }
    std::fclose(stream);
    result.out.assign(bytes, size);
    std::free(bytes);
    return result;
}

std::string readAll(const fs::path &path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream all;
    all << file.rdbuf();
    return all.str();
}

void writeAll(const fs::path &path, const std::string &bytes)
{
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

class SavedIndex : public testing::Test {
protected:
    void SetUp() override
    {
        std::string root = (fs::temp_directory_path() / "saved-index-XXXXXX").string();
        ASSERT_TRUE(::mkdtemp(root.data()));
        root_ = root;
        // Work from inside the folder: the concordance names documents by
        // the paths they were read by, relative ones here.
        previous_ = fs::current_path();
        fs::current_path(root_);
    }
    void TearDown() override
    {
        fs::current_path(previous_);
        fs::remove_all(root_);
    }

    // Saves `input` with `options` as `index`; the command's status.
    int save(const std::string &index, const std::string &input, const std::vector<std::string> &options = {})
    {
        std::vector<std::string> arguments{"--save-index", index};
        arguments.insert(arguments.end(), options.begin(), options.end());
        arguments.push_back(input);
        return run(arguments).status;
    }

    fs::path root_, previous_;
};

// A text of few words, mixed case, marks, stops of two scripts and line feeds.
std::string randomText(std::uint32_t seed, std::size_t tokens)
{
    static const char *const words[] = {"a", "b", "The", "the", "cat", "Cat", ".", ",", "sat", "on", "\xe3\x80\x82",
                                        "\xc3\xa9t\xc3\xa9", "\n", "\n\n", "x1"};
    std::mt19937 random(seed);
    std::string text;
    for (std::size_t i = 0; i < tokens; ++i) {
        text += words[random() % std::size(words)];
        text += random() % 4 ? " " : "";
    }
    return text;
}

// Reads an index, lets `change` alter its bytes, and writes it back with
// its header's checksum made right again when `reseal`: a crafted index.
void craft(const fs::path &path, bool reseal, const std::function<void(std::string &, Header &, SectionEntry *)> &change)
{
    std::string bytes = readAll(path);
    ASSERT_GE(bytes.size(), sizeof(Header));
    Header header;
    std::memcpy(&header, bytes.data(), sizeof header);
    std::vector<SectionEntry> table(header.sectionCount);
    std::memcpy(table.data(), bytes.data() + sizeof header, table.size() * sizeof(SectionEntry));
    change(bytes, header, table.data());
    if (reseal) {
        header.checksum = 0;
        XXH3_state_t *state = XXH3_createState();
        XXH3_64bits_reset(state);
        XXH3_64bits_update(state, &header, sizeof header);
        XXH3_64bits_update(state, table.data(), std::min<std::size_t>(header.sectionCount, table.size()) * sizeof(SectionEntry));
        header.checksum = XXH3_64bits_digest(state);
        XXH3_freeState(state);
    }
    if (bytes.size() >= sizeof header + table.size() * sizeof(SectionEntry)) {
        std::memcpy(bytes.data(), &header, sizeof header);
        std::memcpy(bytes.data() + sizeof header, table.data(), table.size() * sizeof(SectionEntry));
    }
    writeAll(path, bytes);
}

SectionEntry *sectionOf(SectionEntry *table, const Header &header, SectionKind kind)
{
    for (std::uint32_t i = 0; i < header.sectionCount; ++i) {
        if (table[i].kind == static_cast<std::uint32_t>(kind))
            return &table[i];
    }
    return nullptr;
}

}  // namespace

TEST_F(SavedIndex, AnswersAsTheTextItWasSavedFrom)
{
    writeAll("random.txt", randomText(1, 3000));
    writeAll("genesis.txt", readAll(MORVANET_SAMPLES_DIR "/genesis.txt").substr(0, 60000));
    writeAll("folder/one.txt", randomText(2, 500));
    writeAll("folder/sub/two.txt", "the cat . the Cat sat\non the mat .\n");
    writeAll("folder/three.txt", "");
    const std::vector<std::vector<std::string>> modes = {{}, {"--ignore-case"}, {"--unicode"},
                                                         {"--unicode", "--ignore-case"}, {"--segment", "--ignore-case"}};
    const std::vector<std::vector<std::string>> outputs = {
        {}, {"--json"}, {"--counts"}, {"--layout"}, {"--reverse"}, {"--both", "--json"}, {"--depth", "2"},
        {"--min-count", "2", "--both"}, {"--kwic", "3"}, {"--sentences", "--both", "--counts"},
        {"--png", "picture.png"}, {"--svg", "picture.svg"}};
    for (const std::string input : {"random.txt", "genesis.txt", "folder"}) {
        for (const std::vector<std::string> &mode : modes) {
            std::vector<std::string> text = mode;
            text.insert(text.end(), {"--max-bytes", "0"});
            ASSERT_EQ(save("saved.index", input, text), 0) << input;
            for (const std::string phrase : {"the", "the cat", "And God", "\xc3\xa9t\xc3\xa9", "nowhere"}) {
                for (const std::vector<std::string> &output : outputs) {
                    const bool picture = !output.empty() && (output[0] == "--png" || output[0] == "--svg");
                    if (picture && (phrase != "the" || mode.size() == 1))
                        continue;
                    std::vector<std::string> asked = output;
                    asked.insert(asked.end(), mode.begin(), mode.end());
                    std::vector<std::string> fromText = asked, fromIndex = asked;
                    fromText.insert(fromText.end(), {"--max-bytes", "0", input, phrase});
                    fromIndex.insert(fromIndex.end(), {"saved.index", phrase});
                    const Outcome expected = run(fromText);
                    const std::string expectedPicture = picture ? readAll(output[1]) : "";
                    const Outcome got = run(fromIndex);
                    const std::string where = input + " " + (mode.empty() ? "" : mode[0]) + " "
                                              + (output.empty() ? "" : output[0]) + " '" + phrase + "'";
                    EXPECT_EQ(got.status, expected.status) << where;
                    EXPECT_EQ(got.out, expected.out) << where;
                    if (picture) {
                        EXPECT_EQ(readAll(output[1]), expectedPicture) << where;
                    }
                }
            }
        }
    }
}

TEST_F(SavedIndex, WritesLabelsAndLinesAsTheTextDoes)
{
    // Words and marks that touch, zero bytes and long stretches without a
    // full stop (where sentence ends are listed rather than looked for).
    std::string text = randomText(8, 3000);
    for (std::size_t at = 7; at < text.size(); at += 101)
        text.insert(at, at % 2 ? std::string(1, '\0') : std::string("?"));
    text += std::string(400, 'a').replace(1, 398, std::string(199, ' ') + std::string(199, 'b')) + "!\n";
    writeAll("text.txt", text);
    writeAll("folder/one.txt", randomText(9, 400) + "the cat, the cat!");
    writeAll("folder/two.txt", "the Cat's mat.\0.the  cat ?");
    const std::vector<std::vector<std::string>> modes = {{}, {"--ignore-case"}, {"--unicode", "--ignore-case"},
                                                         {"--segment"}};
    for (const std::string input : {"text.txt", "folder"}) {
        for (const std::vector<std::string> &mode : modes) {
            std::vector<std::string> options = mode;
            options.insert(options.end(), {"--max-bytes", "0"});
            ASSERT_EQ(save("saved.index", input, options), 0);
            CorpusRequest request{input, 0, {}, true, false};
            request.options.foldCase = mode.size() > 0 && mode.back() == "--ignore-case";
            request.options.words = mode.empty() || mode[0] == "--ignore-case" ? WordRules::Bytes
                                    : mode[0] == "--unicode"                  ? WordRules::Unicode
                                                                              : WordRules::Segmented;
            const auto fromText = OpenedCorpus::open(request).opened;
            request.path = "saved.index";
            const auto fromIndex = OpenedCorpus::open(request).opened;
            ASSERT_TRUE(fromText && fromIndex) << input;
            const Corpus &a = fromText->corpus(), &b = fromIndex->corpus();
            ASSERT_TRUE(std::ranges::equal(a.separatedBits(), b.separatedBits())) << input;
            for (const std::string phrase : {"the", "the cat", "a", "b", "."}) {
                for (const bool sentences : {false, true}) {
                    for (const TreeDirection direction : {TreeDirection::Forward, TreeDirection::Backward}) {
                        const auto one = searchPhrase(a, phrase, direction, sentences).root;
                        const auto other = searchPhrase(b, phrase, direction, sentences).root;
                        ASSERT_EQ(one == nullptr, other == nullptr);
                        std::vector<std::pair<const PhraseNode *, const PhraseNode *>> pending;
                        if (one)
                            pending.emplace_back(one.get(), other.get());
                        for (std::size_t budget = 3000; !pending.empty() && budget > 0; --budget) {
                            const auto [x, y] = pending.back();
                            pending.pop_back();
                            ASSERT_EQ(x->writtenLabel(), y->writtenLabel()) << input << " '" << phrase << "'";
                            ASSERT_EQ(x->count(), y->count());
                            ASSERT_EQ(x->children().size(), y->children().size());
                            for (std::size_t i = 0; i < x->children().size(); ++i)
                                pending.emplace_back(x->children()[i].get(), y->children()[i].get());
                        }
                    }
                }
                const PhraseOccurrences found = findOccurrences(a, phrase);
                ConcordanceRow row, savedRow;
                for (const Corpus::Position p : found.starts) {
                    makeConcordanceRow(a, p, found.length, 5, row, RowSpacing::AsWritten);
                    makeConcordanceRow(b, p, found.length, 5, savedRow, RowSpacing::AsWritten);
                    ASSERT_EQ(row.before + '|' + row.phrase + '|' + row.after,
                              savedRow.before + '|' + savedRow.phrase + '|' + savedRow.after);
                }
            }
        }
    }
}

TEST_F(SavedIndex, RefusesWhatDoesNotMatchAndWarnsOfChangedSources)
{
    writeAll("text.txt", "the cat sat . the dog sat .\n");
    ASSERT_EQ(save("saved.index", "text.txt"), 0);
    EXPECT_EQ(run({"saved.index", "the"}).status, 0);
    // Other word or case options, or a byte limit: refused, whichever way.
    EXPECT_EQ(run({"--unicode", "saved.index", "the"}).status, 2);
    EXPECT_EQ(run({"--ignore-case", "saved.index", "the"}).status, 2);
    EXPECT_EQ(run({"--max-bytes", "5", "saved.index", "the"}).status, 2);
    EXPECT_EQ(run({"--segment", "saved.index", "the"}).status, 2);
    ASSERT_EQ(save("segmented.index", "text.txt", {"--segment"}), 0);
    EXPECT_EQ(run({"--segment", "segmented.index", "the"}).status, 0);
    EXPECT_EQ(run({"--unicode", "segmented.index", "the"}).status, 2);
    const auto segmented = OpenedCorpus::open({"segmented.index", std::nullopt, {WordRules::Unicode, false}, false});
    EXPECT_NE(segmented.reason.find("--segment"), std::string::npos) << segmented.reason;
    ASSERT_EQ(save("folded.index", "text.txt", {"--ignore-case"}), 0);
    EXPECT_EQ(run({"folded.index", "The"}).status, 2);
    EXPECT_EQ(run({"--ignore-case", "folded.index", "The"}).out, run({"--ignore-case", "text.txt", "The"}).out);
    const auto opened = OpenedCorpus::open({"folded.index", std::nullopt, {WordRules::Bytes, false}, false});
    EXPECT_NE(opened.reason.find("--ignore-case"), std::string::npos) << opened.reason;
    // An index of the format before the separator bits: refused in one line that says to save it again.
    ASSERT_EQ(save("old.index", "text.txt"), 0);
    craft("old.index", true, [](std::string &, Header &header, SectionEntry *table) {
        *sectionOf(table, header, SectionKind::Separated) = table[--header.sectionCount];
        header.version = 1;
    });
    const auto old = OpenedCorpus::open({"old.index", std::nullopt, {}, false});
    EXPECT_FALSE(old.opened);
    EXPECT_EQ(old.reason, "the index has format version 1; this program reads version 2 (save it again)");
    EXPECT_EQ(run({"old.index", "the"}).status, 2);
    // A changed source is told of, the answer still the index's; so is one gone.
    const auto fresh = OpenedCorpus::open({"saved.index", std::nullopt, {}, false});
    EXPECT_TRUE(fresh.warning.empty()) << fresh.warning;
    writeAll("text.txt", "changed");
    const auto stale = OpenedCorpus::open({"saved.index", std::nullopt, {}, false});
    ASSERT_TRUE(stale.opened);
    EXPECT_NE(stale.warning.find("text.txt"), std::string::npos);
    EXPECT_EQ(run({"saved.index", "dog"}).status, 0);
    fs::remove("text.txt");
    EXPECT_FALSE(OpenedCorpus::open({"saved.index", std::nullopt, {}, false}).warning.empty());
    // Saving an index again, or into a folder that is not there, is refused.
    EXPECT_EQ(save("again.index", "saved.index"), 2);
    EXPECT_EQ(save("no/such/folder/x.index", "folded.index"), 2);
}

TEST_F(SavedIndex, DamagedIndexesAreRefusedOrHarmless)
{
    writeAll("a/1.txt", randomText(3, 400));
    writeAll("a/2.txt", randomText(4, 400));
    ASSERT_EQ(save("good.index", "a"), 0);
    EXPECT_EQ(run({"--check-index", "good.index"}).out, "ok\n");
    const std::string good = readAll("good.index");
    const auto restore = [&] { writeAll("bad.index", good); };
    // Each fault: whether opening must refuse it; the check always finds it.
    struct Fault {
        const char *what;
        bool refused;
        bool reseal;
        std::function<void(std::string &, Header &, SectionEntry *)> change;
    };
    const auto inSection = [](SectionKind kind, std::function<void(char *, std::size_t)> edit) {
        return [kind, edit](std::string &bytes, Header &header, SectionEntry *table) {
            const SectionEntry *entry = sectionOf(table, header, kind);
            ASSERT_TRUE(entry);
            edit(bytes.data() + entry->offset, entry->length);
        };
    };
    const auto put32 = [](char *at, std::uint32_t value) { std::memcpy(at, &value, 4); };
    const std::vector<Fault> faults = {
        {"truncated", true, false, [](std::string &bytes, Header &, SectionEntry *) { bytes.resize(bytes.size() - 100); }},
        {"cut inside the header", true, false, [](std::string &bytes, Header &, SectionEntry *) { bytes.resize(100); }},
        {"flipped header byte", true, false, [](std::string &, Header &header, SectionEntry *) { header.positions ^= 1; }},
        {"other version", true, true, [](std::string &, Header &header, SectionEntry *) { header.version = version + 1; }},
        {"other byte order", true, true,
         [](std::string &, Header &header, SectionEntry *) { header.byteOrder = __builtin_bswap32(byteOrderMark); }},
        {"offset past the end", true, true,
         [](std::string &, Header &header, SectionEntry *table) { table[header.sectionCount - 1].offset += 1 << 30; }},
        {"length that overflows", true, true,
         [](std::string &, Header &, SectionEntry *table) { table[0].length = ~std::uint64_t{0} - 8; }},
        {"size against the counts", true, true,
         [](std::string &, Header &header, SectionEntry *table) {
             sectionOf(table, header, SectionKind::TokenIds)->length -= 4;
         }},
        {"boundaries out of order", true, false,
         inSection(SectionKind::Boundaries, [&](char *at, std::size_t) { put32(at, 0xFFFFFF00u); })},
        {"suffix array entries out of range", false, false,
         inSection(part(SectionKind::Forward, SuffixArray),
                   [&](char *at, std::size_t length) {
                       for (std::size_t i = 0; i < length; i += 12)
                           put32(at + i, 0xFFFFFFF0u - static_cast<std::uint32_t>(i));
                   })},
        {"lcp values that lie", false, false,
         inSection(part(SectionKind::Backward, Lcp),
                   [&](char *at, std::size_t length) {
                       for (std::size_t i = 4; i < length; i += 8)
                           put32(at + i, static_cast<std::uint32_t>(i * 977));
                   })},
        {"token offsets running backwards", false, false,
         inSection(SectionKind::TokenOffsets, [&](char *at, std::size_t) { put32(at + 8, 0xFFFFFFu); })},
        {"token ids out of range", true, false,
         inSection(SectionKind::TokenIds, [&](char *at, std::size_t length) {
             for (std::size_t i = 0; i < length; i += 20)
                 put32(at + i, 0xFFFFFFFEu);
         })},
        {"separator bits all clear", false, false,
         inSection(SectionKind::Separated, [&](char *at, std::size_t length) { std::memset(at, 0, length); })},
        {"full hash slots", false, false,
         inSection(SectionKind::TokenSlots, [&](char *at, std::size_t length) { std::memset(at, 0x11, length); })},
    };
    for (const Fault &fault : faults) {
        restore();
        craft("bad.index", fault.reseal, fault.change);
        const Outcome check = run({"--check-index", "bad.index"});
        EXPECT_EQ(check.status, 2) << fault.what;
        EXPECT_TRUE(check.out.empty()) << fault.what;
        // Every question either refuses (2) or answers something: never a crash.
        for (const std::vector<std::string> &asked :
             std::vector<std::vector<std::string>>{{"bad.index", "the"}, {"--both", "--counts", "bad.index", "the cat"},
                                                   {"--kwic", "2", "bad.index", "a"}, {"--reverse", "bad.index", "."}}) {
            const int status = run(asked).status;
            if (fault.refused) {
                EXPECT_EQ(status, 2) << fault.what;
            } else {
                EXPECT_TRUE(status == 0 || status == 1) << fault.what << " " << asked[0];
            }
        }
    }
}

TEST_F(SavedIndex, IdsThatNameNoTokenAreRefusedWhenOpened)
{
    // Each id is changed with the checksums left as they were: opening
    // reads every id (not the checksums) and refuses the index in one line.
    writeAll("a/1.txt", randomText(6, 300));
    writeAll("a/2.txt", randomText(7, 300));
    ASSERT_EQ(save("plain.index", "a"), 0);
    ASSERT_EQ(save("folded.index", "a", {"--ignore-case"}), 0);
    const auto sound = OpenedCorpus::open({"plain.index", std::nullopt, {}, false}).opened;
    ASSERT_TRUE(sound);
    const Corpus::Position boundary = sound->corpus().boundaries().front();
    const struct {
        const char *what, *index;
        SectionKind kind;
        std::size_t at;
        std::uint32_t value;
    } faults[] = {
        {"a token id far out of range", "plain.index", SectionKind::TokenIds, 5, 0x40000000u},
        {"a token id just out of range", "plain.index", SectionKind::TokenIds, boundary + 1, sound->corpus().vocabularySize()},
        {"a boundary id inside a document", "plain.index", SectionKind::TokenIds, 3, Corpus::noToken},
        {"a boundary without its id", "plain.index", SectionKind::TokenIds, boundary, 0},
        {"a spelling id out of range", "folded.index", SectionKind::SpellingIds, 7, 0xFFFFFF00u},
        {"a one-byte token out of range", "plain.index", SectionKind::TokenSingles, 'a', 0x40000000u},
        {"a stop id out of range", "plain.index", SectionKind::StopIds, 0, 0x40000000u},
    };
    for (const auto &fault : faults) {
        writeAll("bad.index", readAll(fault.index));
        craft("bad.index", false, [&](std::string &bytes, Header &header, SectionEntry *table) {
            const SectionEntry *entry = sectionOf(table, header, fault.kind);
            ASSERT_TRUE(entry && fault.at * 4 < entry->length);
            std::memcpy(bytes.data() + entry->offset + fault.at * 4, &fault.value, 4);
        });
        const OpenedCorpus::Outcome opened = OpenedCorpus::open({"bad.index", std::nullopt, {}, true, true});
        EXPECT_FALSE(opened.opened) << fault.what;
        EXPECT_TRUE(!opened.reason.empty() && opened.reason.find('\n') == std::string::npos) << fault.what;
        const std::string mode = std::string(fault.index) == "folded.index" ? "--ignore-case" : "--both";
        EXPECT_EQ(run({mode, "bad.index", "the"}).status, 2) << fault.what;
        EXPECT_EQ(run({"--check-index", "bad.index"}).status, 2) << fault.what;
    }
}

TEST_F(SavedIndex, KeepsThePathItWasReadFromToNameItsDocumentsBy)
{
    writeAll("texts/part03.txt", "a b\n");
    writeAll("texts/sub/part03.txt", "b c\n");
    ASSERT_EQ(save("folder.index", "texts"), 0);
    const auto rootOf = [](const char *path) {
        const OpenedCorpus::Outcome outcome = OpenedCorpus::open({path, std::nullopt, {}, false});
        EXPECT_TRUE(outcome.opened) << outcome.reason;
        return outcome.opened ? outcome.opened->root() : std::string("(none)");
    };
    EXPECT_EQ(rootOf("texts"), "texts");
    EXPECT_EQ(rootOf("folder.index"), "texts");
    // An index saved before indexes kept the path (no such section): its
    // documents are named below the folder they all share.
    craft("folder.index", true, [](std::string &, Header &header, SectionEntry *table) {
        SectionEntry *opened = sectionOf(table, header, SectionKind::OpenedPath);
        ASSERT_TRUE(opened);
        *opened = table[--header.sectionCount];
    });
    EXPECT_EQ(rootOf("folder.index"), "texts/");
}

TEST_F(SavedIndex, SavingReplacesTheIndexWholeOrNotAtAll)
{
    writeAll("texts/big.txt", randomText(5, 200000));
    writeAll("old.index", "the old index");
    const auto onlyTheIndex = [] {
        std::vector<std::string> names;
        for (const fs::directory_entry &entry : fs::directory_iterator("."))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    // A file size limit (a full disk looks alike to the writer) and an
    // interrupt: the old index stays, and nothing else is left. The command
    // runs as a process of its own, the limit set only while it starts.
    for (const int way : {0, 1}) {
        rlimit before{};
        ::getrlimit(RLIMIT_FSIZE, &before);
        rlimit limit = before;
        limit.rlim_cur = 1 << 20;
        if (way == 0)
            ::setrlimit(RLIMIT_FSIZE, &limit);
        char tool[] = MORVANET_TREE_TOOL, save[] = "--save-index", index[] = "old.index", texts[] = "texts";
        char *argv[] = {tool, save, index, texts, nullptr};
        pid_t child = 0;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int spawned = ::posix_spawn(&child, tool, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::setrlimit(RLIMIT_FSIZE, &before);
        ASSERT_EQ(spawned, 0);
        if (way == 1) {
            ::usleep(30'000);
            ::kill(child, SIGINT);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (way == 0) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
        }
        const std::string now = readAll("old.index");
        // An interrupt that came too late finds the save done: a whole index.
        EXPECT_TRUE(now == "the old index" || (way == 1 && run({"--check-index", "old.index"}).status == 0));
        EXPECT_EQ(onlyTheIndex(), (std::vector<std::string>{"old.index", "texts"})) << way;
    }
    ASSERT_EQ(save("old.index", "texts"), 0);
    EXPECT_EQ(run({"--check-index", "old.index"}).out, "ok\n");
    EXPECT_EQ(onlyTheIndex(), (std::vector<std::string>{"old.index", "texts"}));
}

// The documents' fields travel in the index, and --where asks within them
// as it asks the folder, without reading it.
TEST_F(SavedIndex, KeepsTheDocumentsFieldsAndAsksWithinThem)
{
    writeAll("texts/a.txt", "the cat sat .\nthe cat ran .\n");
    writeAll("texts/b.txt", "the dog sat .\n");
    writeAll("texts/c.txt", "the cat slept .\n");
    writeAll("texts/metadata.csv", "path,year,note\na.txt,1801,\"tab\there\\\"\nc.txt,1850,\n");
    ASSERT_EQ(save("texts.index", "texts"), 0);
    fs::remove_all("texts");
    EXPECT_EQ(run({"--documents", "texts.index"}).out, "path\tformat\ttokens\tyear\tnote\n"
                                                        "a.txt\ttxt\t8\t1801\ttab here\\\n"
                                                        "b.txt\ttxt\t4\t\t\n"
                                                        "c.txt\ttxt\t4\t1850\t\n");
    writeAll("texts/a.txt", "the cat sat .\nthe cat ran .\n");
    writeAll("texts/c.txt", "the cat slept .\n");
    for (const char *format : {"--json", "--kwic=9"}) {
        const Outcome fromIndex = run({format, "--where", "year<1900", "texts.index", "the cat"});
        EXPECT_EQ(fromIndex.status, 0);
        EXPECT_EQ(fromIndex.out, run({format, "texts", "the cat"}).out);
    }
    EXPECT_EQ(run({"--where", "year>1900", "texts.index", "the"}).status, 2);
}
