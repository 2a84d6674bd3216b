// morvanet-tree run as a process on every kind of bad file and phrase: it never
// hangs or crashes, and answers with its exit status and a one-line reason.
#include "BadFileSet.h"

#include "Corpus.h"
#include "PhraseSearch.h"
#include "ViewerTextFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int exitTree = 0;
constexpr int exitNoTree = 1;
constexpr int exitTrouble = 2;

struct Result {
    bool finished = false;  // false: crashed by a signal, or killed after the time limit
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Runs the tool on FILE and PHRASE (raw bytes), killing it after `limit`.
Result runTool(const QByteArray &file, const std::string &phrase, const QTemporaryDir &scratch,
               std::chrono::seconds limit = std::chrono::seconds(20))
{
    const QByteArray outPath = QFile::encodeName(scratch.filePath(QStringLiteral("out")));
    const QByteArray errPath = QFile::encodeName(scratch.filePath(QStringLiteral("err")));
    std::string phraseArgument = phrase;
    std::vector<char *> argv{const_cast<char *>(MORVANET_TREE_TOOL), const_cast<char *>("--"),
                             const_cast<char *>(file.constData()), phraseArgument.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, MORVANET_TREE_TOOL, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    Result result;
    if (spawned != 0)
        return result;

    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    pid_t waited = 0;
    while ((waited = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (waited == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        result.err = "killed after the time limit";
        return result;
    }
    result.finished = WIFEXITED(status);
    result.status = result.finished ? WEXITSTATUS(status) : -1;
    result.out = slurp(QFile::decodeName(outPath));
    result.err = slurp(QFile::decodeName(errPath));
    return result;
}

// One line on standard error, starting with the program's name, and nothing
// on standard output; a note that the byte limit cut the text may come first.
void expectOneLineReason(Result result, const std::string &context)
{
    const std::size_t note = result.err.find("--max-bytes 0 reads it all\n");
    if (note != std::string::npos)
        result.err.erase(0, result.err.find('\n', note) + 1);
    EXPECT_TRUE(result.out.empty()) << context;
    EXPECT_EQ(result.err.rfind("morvanet-tree: ", 0), 0u) << context << ": " << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << context << ": " << result.err;
    EXPECT_EQ(result.err.back(), '\n') << context;
}

class ToolBadInput : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch_.isValid()); }

    QTemporaryDir scratch_;
};

TEST_F(ToolBadInput, EveryKindOfFileGetsItsStatusAndOneLineReason)
{
    const BadFileSet files;
    ASSERT_TRUE(files.valid());
    for (const BadFileSet::Case &c : files.cases()) {
        const std::string context = c.name.toStdString();
        const QByteArray path = QFile::encodeName(c.path);
        // "the" stands in every text here that has words; the binary gets its own phrase below.
        const Result result = runTool(path, "the", scratch_);
        ASSERT_TRUE(result.finished) << context << ": " << result.err;
        if (c.name == QLatin1String("directory")) {
            // A folder is read as its .txt files: here there are none.
            EXPECT_EQ(result.status, exitNoTree) << context;
            expectOneLineReason(result, context);
        } else if (!c.loads) {
            EXPECT_EQ(result.status, exitTrouble) << context;
            expectOneLineReason(result, context);
            EXPECT_NE(result.err.find(path.toStdString()), std::string::npos) << context << ": " << result.err;
        } else if (c.knownText && c.text.find("the") != std::string::npos) {
            EXPECT_EQ(result.status, exitTree) << context << ": " << result.err;
            EXPECT_EQ(result.out.find("\tthe"), result.out.find('\t')) << context;
            // Nothing on standard error but the note that the byte limit cut the text.
            EXPECT_TRUE(result.err.empty() || result.err.ends_with("--max-bytes 0 reads it all\n")) << context;
        } else if (c.knownText) {
            EXPECT_EQ(result.status, exitNoTree) << context;
            expectOneLineReason(result, context);
        }
    }

    // Executables: the tool answers as the loader and the tree builder do in-process.
    for (const char *name : {"binary", "this program"}) {
        const BadFileSet::Case &binary = files.at(QString::fromLatin1(name));
        const std::optional<std::string> bytes = loadTextFile(binary.path);
        ASSERT_TRUE(bytes.has_value());
        const Corpus corpus(bytes->data(), static_cast<std::uint32_t>(bytes->size()));
        for (const std::string phrase : {"GLIBC", "ELF", "the", "\x7f" "ELF\x02\x01"}) {
            const Result result = runTool(QFile::encodeName(binary.path), phrase, scratch_);
            ASSERT_TRUE(result.finished) << name << ", " << phrase << ": " << result.err;
            const bool found = buildPhraseTree(corpus, phrase) != nullptr;
            EXPECT_EQ(result.status, found ? exitTree : exitNoTree) << name << ", " << phrase << ": " << result.err;
            if (!found)
                expectOneLineReason(result, phrase);
        }
    }

    // Of a file longer than the limit only the first 1,000,000 bytes count.
    const QByteArray big = QFile::encodeName(files.at(QStringLiteral("50 MB")).path);
    const Result abel = runTool(big, "Abel and Cain", scratch_);
    EXPECT_EQ(abel.status, exitTree) << abel.err;
    const Result zebra = runTool(big, "zebra", scratch_);
    EXPECT_EQ(zebra.status, exitNoTree) << zebra.err;
    expectOneLineReason(zebra, "zebra beyond the limit");
}

TEST_F(ToolBadInput, EveryKindOfPhraseGetsItsStatus)
{
    // The longest single argument Linux passes is 128 KiB; the phrases stay below it.
    std::string text;
    while (text.size() < 100'000)
        text += "the cat sat on the mat . a dog ran \x01 home \xc3\xa9t\xc3\xa9 .\r\n";
    const QString path = scratch_.filePath(QStringLiteral("text.txt"));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), static_cast<qint64>(text.size()));
    }
    std::string delivered = text;
    std::erase(delivered, '\r');  // text mode

    std::string pasted;
    while (pasted.size() < 120'000)
        pasted += "the cat sat on the mat and went away ";
    struct Case {
        const char *name;
        std::string phrase;
        int status;
    };
    const std::vector<Case> cases = {
        {"empty", "", exitNoTree},
        {"blanks only", " \t \n ", exitNoTree},
        {"pasted text", pasted, exitNoTree},
        {"control characters", "\x01the\x1b cat\x7f\x02", exitTree},
        {"outside Latin-1 (UTF-8)", "\xe2\x82\xac dog \xe2\x82\xac ran", exitTree},
        {"accented word split at its bytes", "\xc3\xa9t\xc3\xa9", exitTree},
        {"the whole text", delivered, exitTree},
        {"a dash first", "-- the", exitNoTree},
    };
    for (const Case &c : cases) {
        const Result result = runTool(QFile::encodeName(path), c.phrase, scratch_);
        ASSERT_TRUE(result.finished) << c.name << ": " << result.err;
        EXPECT_EQ(result.status, c.status) << c.name << ": " << result.err;
        if (c.status == exitTree) {
            // The root line: its weight, a tab, then the phrase byte for byte.
            const std::size_t tab = result.out.find('\t');
            ASSERT_NE(tab, std::string::npos) << c.name;
            EXPECT_EQ(result.out.compare(tab + 1, c.phrase.size(), c.phrase), 0) << c.name;
            EXPECT_TRUE(result.err.empty()) << c.name;
        } else {
            expectOneLineReason(result, c.name);
        }
    }
}

TEST_F(ToolBadInput, ReasonsStayOnOneLineWhateverTheFileName)
{
    // File names may hold any byte but "/" and NUL, line breaks included.
    const QByteArray dir = QFile::encodeName(scratch_.path());
    for (const QByteArray &name : {QByteArray("no\nsuch\r.txt"), QByteArray("tab\tand\x1b[31mred")}) {
        const Result missing = runTool(dir + "/" + name, "the", scratch_);
        ASSERT_TRUE(missing.finished);
        EXPECT_EQ(missing.status, exitTrouble);
        expectOneLineReason(missing, name.toStdString());
    }
    const QByteArray path = dir + "/two\nlines.txt";
    {
        QFile file(QFile::decodeName(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("a b c");
    }
    const Result absent = runTool(path, "zebra", scratch_);
    EXPECT_EQ(absent.status, exitNoTree);
    expectOneLineReason(absent, "phrase not in a file with a line break in its name");
}

// The command passes the name on as the bytes it was given: a QString would
// decode it as UTF-8 and lose a name in another encoding.
TEST_F(ToolBadInput, OpensAFileWhoseNameIsNotUtf8)
{
    const QByteArray path = QFile::encodeName(scratch_.path()) + "/caf\xe9.txt";
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "the cat", 7), 7);
    ::close(fd);
    const Result result = runTool(path, "the", scratch_);
    EXPECT_EQ(result.status, exitTree) << result.err;
}

}  // namespace
