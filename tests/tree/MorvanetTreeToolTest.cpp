// The morvanet-tree command run as a process: its two output formats and its exit statuses.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Result {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the tool with `arguments` passed as raw bytes, its output captured in `dir`.
Result runTool(const QList<QByteArray> &arguments, const QTemporaryDir &dir)
{
    const QByteArray outPath = QFile::encodeName(dir.filePath(QStringLiteral("stdout")));
    const QByteArray errPath = QFile::encodeName(dir.filePath(QStringLiteral("stderr")));
    std::vector<char *> argv{const_cast<char *>(MORVANET_TREE_TOOL)};
    for (const QByteArray &argument : arguments)
        argv.push_back(const_cast<char *>(argument.constData()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Result result;
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, MORVANET_TREE_TOOL, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return result;
    result.status = WEXITSTATUS(status);
    QFile out(QFile::decodeName(outPath));
    QFile err(QFile::decodeName(errPath));
    if (out.open(QIODevice::ReadOnly))
        result.out = out.readAll();
    if (err.open(QIODevice::ReadOnly))
        result.err = err.readAll();
    return result;
}

std::string weightText(float count, float total)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(std::pow(count / total, 0.55f)));
    return text;
}

class MorvanetTreeTool : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    Result runTool(const QList<QByteArray> &arguments) { return ::runTool(arguments, dir_); }

    QByteArray write(const char *name, const QByteArray &bytes)
    {
        QFile file(dir_.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return QFile::encodeName(file.fileName());
    }

    QTemporaryDir dir_;
};

TEST_F(MorvanetTreeTool, PrintsTheOutline)
{
    const QByteArray path = write("abc.txt", "a b . a b . a c\n");
    const Result result = runTool({path, "a"});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_TRUE(result.err.isEmpty());
    const std::string expected = weightText(3, 8) + "\ta\n"
                                 + "  " + weightText(2, 8) + "\tb . a\n"
                                 + "    " + weightText(1, 8) + "\tb .\n"
                                 + "    " + weightText(1, 8) + "\tc\n"
                                 + "  " + weightText(1, 8) + "\tc\n";
    EXPECT_EQ(result.out.toStdString(), expected);

    // The root label keeps the search text's bytes as they are.
    const QByteArray lines = write("lines.txt", "one two\nthree two\nfour\n");
    const Result kept = runTool({lines, "  two"});
    EXPECT_EQ(kept.status, 0);
    EXPECT_EQ(kept.out.toStdString(), weightText(2, 5) + "\t  two\n"
                                          + "  " + weightText(1, 5) + "\tthree two four\n"
                                          + "  " + weightText(1, 5) + "\tfour\n");
}

TEST_F(MorvanetTreeTool, PrintsJson)
{
    const QByteArray path = write("abc.txt", "a b . a b . a c\n");
    const Result result = runTool({"--json", path, "a"});
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(result.out, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << result.out.toStdString();
    const QJsonObject root = document.object();
    EXPECT_EQ(root.value("label").toString(), QStringLiteral("a"));
    EXPECT_EQ(static_cast<float>(root.value("weight").toDouble()), std::pow(3.0f / 8.0f, 0.55f));
    const QJsonArray children = root.value("children").toArray();
    ASSERT_EQ(children.size(), 2);
    EXPECT_EQ(children[0].toObject().value("label").toString(), QStringLiteral("b . a"));
    EXPECT_EQ(children[0].toObject().value("children").toArray().size(), 2);
    EXPECT_EQ(children[1].toObject().value("label").toString(), QStringLiteral("c"));
    EXPECT_TRUE(children[1].toObject().value("children").toArray().isEmpty());

    // Label bytes are Latin-1 characters; quotes, backslashes and control
    // characters are escaped.
    const QByteArray marks = write("marks.txt", "x a\"\\ b\n");
    const QByteArray phrase("\x01" "a\xe9\"\\\t");
    const Result escaped = runTool({"--json", marks, phrase});
    ASSERT_EQ(escaped.status, 0) << escaped.err.toStdString();
    const QJsonDocument parsed = QJsonDocument::fromJson(escaped.out, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << escaped.out.toStdString();
    EXPECT_EQ(parsed.object().value("label").toString(), QString::fromLatin1(phrase + " b"));
}

TEST_F(MorvanetTreeTool, ExitStatuses)
{
    const QByteArray path = write("text.txt", "the cat sat\n");

    // No tree: one line on standard error, nothing on standard output, status 1.
    for (const QByteArray &phrase : {QByteArray("dog"), QByteArray(" \t"), QByteArray("The")}) {
        const Result none = runTool({path, phrase});
        EXPECT_EQ(none.status, 1) << phrase.toStdString();
        EXPECT_TRUE(none.out.isEmpty());
        EXPECT_EQ(none.err.count('\n'), 1);
    }

    // A file that cannot be read is named; status 2.
    const QByteArray missing = QFile::encodeName(dir_.filePath(QStringLiteral("missing.txt")));
    for (const QByteArray &file : {missing}) {
        const Result unreadable = runTool({file, "cat"});
        EXPECT_EQ(unreadable.status, 2);
        EXPECT_TRUE(unreadable.out.isEmpty());
        EXPECT_EQ(unreadable.err.count('\n'), 1);
        EXPECT_TRUE(unreadable.err.contains(file)) << unreadable.err.toStdString();
    }

    // Wrong invocations: usage on standard error, status 2.
    for (const QList<QByteArray> &wrong : {QList<QByteArray>{}, QList<QByteArray>{path},
                                           QList<QByteArray>{path, "cat", "sat"},
                                           QList<QByteArray>{"--bogus", path, "cat"}}) {
        const Result usage = runTool(wrong);
        EXPECT_EQ(usage.status, 2);
        EXPECT_TRUE(usage.out.isEmpty());
        EXPECT_TRUE(usage.err.contains("Usage: morvanet-tree"));
    }

    const Result help = runTool({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains("Usage: morvanet-tree"));
    EXPECT_TRUE(help.err.isEmpty());

    // "--" lets a phrase start with a dash.
    const QByteArray dashes = write("dashes.txt", "a - b\n");
    const Result dash = runTool({dashes, "--", "- b"});
    EXPECT_EQ(dash.status, 0);
    EXPECT_EQ(dash.out.toStdString(), weightText(1, 3) + "\t- b\n");
}

TEST_F(MorvanetTreeTool, ModesCombine)
{
    const QByteArray path = write("abc.txt", "a b . a b . a c\n");
    // Backwards from "b": both occurrences are preceded by "a", then one by
    // "." and one by the start of the text: the root absorbs "a" and ".".
    const Result reverse = runTool({"--reverse", "--counts", path, "b"});
    ASSERT_EQ(reverse.status, 0) << reverse.err.toStdString();
    EXPECT_EQ(reverse.out.toStdString(), "1\t" + weightText(1, 8) + "\t. a b\n");

    const Result forward = runTool({"--counts", path, "b"});
    const Result both = runTool({"--both", "--counts", path, "b"});
    ASSERT_EQ(both.status, 0);
    EXPECT_EQ(both.out, reverse.out + "\n" + forward.out);

    const Result json = runTool({"--both", "--json", "--counts", path, "b"});
    const QJsonObject doubled = QJsonDocument::fromJson(json.out).object();
    EXPECT_EQ(doubled.value("before").toObject().value("label").toString(), QStringLiteral(". a b"));
    EXPECT_EQ(doubled.value("after").toObject().value("count").toInt(), 2);

    // Case folded; labels spelled as first met, the root as typed; UTF-8 words.
    const QByteArray mixed = write("mixed.txt", "The Café opened. the café closed. THE CAFÉ opened\n");
    const Result folded = runTool({"--ignore-case", "--unicode", "--json", mixed, "the café"});
    ASSERT_EQ(folded.status, 0) << folded.err.toStdString();
    const QJsonObject root = QJsonDocument::fromJson(folded.out).object();
    EXPECT_EQ(root.value("label").toString(), QString::fromUtf8("the café"));
    const QJsonArray children = root.value("children").toArray();
    ASSERT_EQ(children.size(), 2);
    EXPECT_EQ(children[0].toObject().value("label").toString(), QStringLiteral("opened ."));
    EXPECT_EQ(children[1].toObject().value("label").toString(), QStringLiteral("closed ."));
    EXPECT_EQ(runTool({"--unicode", mixed, "— …"}).status, 1);  // separators and marks not in the text

    EXPECT_EQ(runTool({"--reverse", "--both", path, "b"}).status, 2);
    const Result help = runTool({"--help"});
    for (const char *option : {"--reverse", "--both", "--sentences", "--ignore-case", "--unicode", "--segment", "--counts"})
        EXPECT_TRUE(help.out.contains(option)) << option;

    // --sentences stops every branch after a sentence end, either way; the
    // concordance is the same with it.
    const QByteArray twice = write("twice.txt", "Who is it? It is I! Who is it? It is I!\n");
    EXPECT_EQ(runTool({twice, "It is"}).out, "0.217637628\tIt is I ! Who is it ? It is I !\n");
    EXPECT_EQ(runTool({"--sentences", twice, "It is"}).out, "0.318640143\tIt is I !\n");
    EXPECT_EQ(runTool({"--sentences", "--reverse", "--counts", twice, "It is"}).out, "2\t0.318640143\t? It is\n");
    EXPECT_EQ(runTool({"--sentences", "--kwic", "2", twice, "is I"}).out, runTool({"--kwic", "2", twice, "is I"}).out);
}

TEST_F(MorvanetTreeTool, SegmentCutsWordsOfScriptsWithoutBlanks)
{
    // "I like eating apples. I like school.": under --unicode each clause is
    // one word; segmented, "I" and "like" are words, and labels show where
    // the words part.
    const QByteArray path = write("zh.txt", "\xe6\x88\x91\xe5\x96\x9c\xe6\xac\xa2\xe5\x90\x83\xe8\x8b\xb9\xe6\x9e\x9c\xe3\x80\x82"
                                            "\xe6\x88\x91\xe5\x96\x9c\xe6\xac\xa2\xe5\xad\xa6\xe6\xa0\xa1\xe3\x80\x82\n");
    const QByteArray me = "\xe6\x88\x91";
    EXPECT_EQ(runTool({"--unicode", path, me}).status, 1);
    const Result tree = runTool({"--segment", "--counts", path, me});
    ASSERT_EQ(tree.status, 0) << tree.err.toStdString();
    EXPECT_EQ(tree.out.toStdString(), "2\t" + weightText(2, 9) + "\t\xe6\x88\x91 \xe5\x96\x9c\xe6\xac\xa2\n"
                                      "  1\t" + weightText(1, 9) + "\t\xe5\x90\x83 \xe8\x8b\xb9\xe6\x9e\x9c \xe3\x80\x82\n"
                                      "  1\t" + weightText(1, 9) + "\t\xe5\xad\xa6\xe6\xa0\xa1 \xe3\x80\x82\n");
    // --unicode with it changes nothing; the concordance and the reverse tree go by the same words.
    EXPECT_EQ(runTool({"--unicode", "--segment", "--counts", path, me}).out, tree.out);
    const Result kwic = runTool({"--segment", "--kwic", "1", path, "\xe5\x96\x9c\xe6\xac\xa2"});
    EXPECT_EQ(kwic.out, path + ":1\t" + me + "\t\xe5\x96\x9c\xe6\xac\xa2\t\xe5\x90\x83\n" + path + ":1\t" + me
                            + "\t\xe5\x96\x9c\xe6\xac\xa2\t\xe5\xad\xa6\xe6\xa0\xa1\n");
    // A phrase that does not occur tells the words it was cut into ("I like eating rice").
    const Result missing = runTool({"--segment", path, "\xe6\x88\x91\xe5\x96\x9c\xe6\xac\xa2\xe5\x90\x83\xe9\xa5\xad"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(missing.err.contains(": \xe6\x88\x91 \xe5\x96\x9c\xe6\xac\xa2 \xe5\x90\x83\xe9\xa5\xad)")) << missing.err.toStdString();
}

TEST_F(MorvanetTreeTool, FoldersPruningAndConcordance)
{
    // Read: a/z.txt, then b.txt. Left out: hidden names, other suffixes, links.
    QDir(dir_.path()).mkpath(QStringLiteral("corpus/a"));
    QDir(dir_.path()).mkpath(QStringLiteral("corpus/.d"));
    write("corpus/b.txt", "\nx y .\n");
    write("corpus/a/z.txt", "y x\n");
    write("corpus/.h.txt", "x z\n");
    write("corpus/.d/c.txt", "x z\n");
    write("corpus/notes.rtf", "x w\n");
    QFile::link(dir_.filePath(QStringLiteral("corpus/b.txt")), dir_.filePath(QStringLiteral("corpus/l.txt")));
    const QByteArray folder = QFile::encodeName(dir_.filePath(QStringLiteral("corpus")));

    // The x that ends a/z.txt continues with nothing: the root absorbs "y ." alone.
    const Result tree = runTool({"--counts", folder, "x"});
    ASSERT_EQ(tree.status, 0) << tree.err.toStdString();
    EXPECT_EQ(tree.out.toStdString(), "1\t" + weightText(1, 5) + "\tx y .\n");
    EXPECT_EQ(runTool({folder, "x z"}).status, 1);

    const Result kwic = runTool({"--kwic", "2", folder, "x"});
    ASSERT_EQ(kwic.status, 0) << kwic.err.toStdString();
    EXPECT_EQ(kwic.out, folder + "/a/z.txt:1\ty\tx\t\n" + folder + "/b.txt:2\t\tx\ty .\n");

    // A byte limit across files cuts the last one read and says so.
    const Result cut = runTool({"--max-bytes", "3", "--kwic", "5", folder, "x"});
    ASSERT_EQ(cut.status, 0);
    EXPECT_EQ(cut.out, folder + "/a/z.txt:1\ty\tx\t\n");
    EXPECT_TRUE(cut.err.contains("read 3 of")) << cut.err.toStdString();

    // Pruning keeps weights and order; the root always stays.
    const QByteArray path = write("abc.txt", "a b . a b . a c\n");
    const Result full = runTool({path, "a"});
    const Result shallow = runTool({"--depth", "1", path, "a"});
    const Result common = runTool({"--min-count", "2", path, "a"});
    const QList<QByteArray> lines = full.out.split('\n');
    EXPECT_EQ(shallow.out, lines[0] + "\n" + lines[1] + "\n" + lines[4] + "\n");
    EXPECT_EQ(common.out, lines[0] + "\n" + lines[1] + "\n");
    EXPECT_EQ(runTool({"--depth", "0", "--min-count", "9", path, "a"}).out, lines[0] + "\n");
    EXPECT_EQ(runTool({"--depth", "x", path, "a"}).status, 2);
}

TEST_F(MorvanetTreeTool, ConcordanceLinesOfWordsGatheredAcrossZeroBytes)
{
    // Two words in a row hold a zero byte, and a UTF-16 text has one after
    // every character: each word keeps the line of its first byte.
    const QByteArray zeros = write("z.txt", QByteArray("a\0b c\0d\nx\n", 10));
    const Result z = runTool({"--kwic", "2", zeros, "cd"});
    ASSERT_EQ(z.status, 0) << z.err.toStdString();
    EXPECT_EQ(z.out, zeros + ":1\tab\tcd\tx\n");

    QByteArray utf16("\xFF\xFE", 2);
    for (const char c : std::string("to be\n\nor not to\nbe\n")) {
        utf16 += c;
        utf16 += '\0';
    }
    const QByteArray path = write("u.txt", utf16);
    for (const char *rules : {"--ignore-case", "--unicode", "--segment"}) {
        const Result kwic = runTool({rules, "--kwic", "1", path, "be"});
        ASSERT_EQ(kwic.status, 0) << kwic.err.toStdString();
        EXPECT_EQ(kwic.out, path + ":1\tto\tbe\tor\n" + path + ":4\tto\tbe\t\n");
    }
}

}  // namespace

TEST_F(MorvanetTreeTool, SaveIndexNeverReplacesTheTextItIsMadeOf)
{
    const QByteArray text = "a b . a c .\n";
    const QByteArray file = write("g.txt", text);
    QDir(dir_.path()).mkpath(QStringLiteral("corpus/sub"));
    QDir(dir_.path()).mkpath(QStringLiteral("corpus/.cache"));
    const QByteArray inFolder = write("corpus/sub/a.txt", text);
    const auto at = [&](const char *name) { return QFile::encodeName(dir_.filePath(QString::fromLatin1(name))); };
    const QByteArray folder = at("corpus");
    QFile::link(QFile::decodeName(file), dir_.filePath(QStringLiteral("link.index")));
    ASSERT_EQ(::link(inFolder.constData(), at("hard.index").constData()), 0);
    const auto entries = [&](const char *below) {
        QStringList names = QDir(dir_.filePath(QString::fromLatin1(below))).entryList(QDir::AllEntries | QDir::Hidden);
        names.removeAll(QStringLiteral("stdout"));
        names.removeAll(QStringLiteral("stderr"));
        return names;
    };
    const QStringList before = entries(".") + entries("corpus/sub");

    // INDEX is FILE, by any spelling or link; a file the folder reads; or
    // where the folder would read it as a text next time.
    const QList<QList<QByteArray>> refused = {
        {file, file},         {at("corpus/../g.txt"), file},      {at("link.index"), file},
        {inFolder, folder},   {at("hard.index"), folder},         {at("corpus/sub/new.txt"), folder},
        {at("corpus/new.txt"), folder + "/sub/.."},
    };
    for (const QList<QByteArray> &c : refused) {
        const Result result = runTool({"--save-index", c[0], c[1]});
        EXPECT_EQ(result.status, 2) << c[0].toStdString();
        EXPECT_TRUE(result.out.isEmpty());
        EXPECT_TRUE(result.err.startsWith("morvanet-tree: " + c[0] + ": ") && result.err.count('\n') == 1)
            << result.err.toStdString();
    }
    EXPECT_EQ(entries(".") + entries("corpus/sub"), before);
    for (const QByteArray &path : {file, inFolder}) {
        QFile read(QFile::decodeName(path));
        EXPECT_TRUE(read.open(QIODevice::ReadOnly) && read.readAll() == text);
    }
    // Names the folder rules leave out are fine inside it.
    for (const char *name : {"corpus/corpus.index", "corpus/.corpus.txt", "corpus/.cache/corpus.txt"})
        EXPECT_EQ(runTool({"--save-index", at(name), folder}).status, 0) << name;
}

namespace {

// Two sentences of a tiny treebank; "said" and "says" share the lemma "say".
const QByteArray treebank =
    "# newdoc id = a\n"
    "# text = He said to them.\n"
    "1\tHe\the\tPRON\tPRP\t_\t2\tnsubj\t_\t_\n"
    "2\tsaid\tsay\tVERB\tVBD\t_\t0\troot\t_\t_\n"
    "3\tto\tto\tADP\tIN\t_\t4\tcase\t_\t_\n"
    "4\tthem\tthey\tPRON\tPRP\t_\t2\tobl\t_\tSpaceAfter=No\n"
    "5\t.\t.\tPUNCT\t.\t_\t2\tpunct\t_\t_\n"
    "\n"
    "1-2\tShe's\t_\t_\t_\t_\t_\t_\t_\t_\n"
    "1\tShe\tshe\tPRON\tPRP\t_\t3\tnsubj\t_\t_\n"
    "2\t's\tbe\tAUX\tVBZ\t_\t3\taux\t_\t_\n"
    "3\tsays\tsay\tVERB\tVBZ\t_\t0\troot\t_\t_\n"
    "4\tto\tto\tADP\tIN\t_\t5\tcase\t_\t_\n"
    "5\tus\twe\tPRON\tPRP\t_\t3\tobl\t_\t_\n"
    "\n";

}  // namespace

TEST_F(MorvanetTreeTool, ReadsAnnotatedCorporaByAnyLayerAndPattern)
{
    const QByteArray file = write("tiny.conllu", treebank);
    const Result layers = runTool({"--layers", file});
    EXPECT_EQ(layers.status, 0) << layers.err.constData();
    EXPECT_EQ(layers.out, "word\t9\nlemma\t8\npos\t5\nxpos\t5\nfeats\t1\ndeprel\t6\n");

    // The lemma tree groups "said" and "says" (and absorbs the "to" both go on with); a
    // continuation met once stops at its sentence's end.
    const Result lemmas = runTool({"--show", "lemma", "--counts", file, "say"});
    EXPECT_EQ(lemmas.status, 0) << lemmas.err.constData();
    EXPECT_TRUE(lemmas.out.startsWith("2\t")) << lemmas.out.constData();
    EXPECT_TRUE(lemmas.out.contains("\tsay to\n")) << lemmas.out.constData();
    EXPECT_TRUE(lemmas.out.contains("they .\n")) << lemmas.out.constData();

    // A pattern over two layers, its root as typed and its forms heaviest first.
    const Result pattern = runTool({"--json", "--counts", file, "[lemma=\"say\"] [pos=\"ADP\"]"});
    ASSERT_EQ(pattern.status, 0) << pattern.err.constData();
    const QJsonObject root = QJsonDocument::fromJson(pattern.out).object();
    EXPECT_EQ(root.value("label").toString(), QStringLiteral("[lemma=\"say\"] [pos=\"ADP\"]"));
    const QJsonArray forms = root.value("forms").toArray();
    ASSERT_EQ(forms.size(), 2);
    EXPECT_EQ(forms[0].toObject().value("text").toString(), QStringLiteral("said to"));
    EXPECT_EQ(forms[1].toObject().value("count").toInt(), 1);

    // Bad input and bad patterns: one line naming where, exit 2.
    const QByteArray broken = write("broken.conllu", treebank + "1\tonly\ttwo\n");
    const Result bad = runTool({broken, "say"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_TRUE(bad.err.contains("broken.conllu:16:")) << bad.err.constData();
    for (const QByteArray &wrong : {QByteArray("[lemma=\"say\""), QByteArray("[lema=\"say\"]"), QByteArray("[lemma=\"(\"]")}) {
        const Result refused = runTool({file, wrong});
        EXPECT_EQ(refused.status, 2) << wrong.constData();
        EXPECT_EQ(refused.err.count('\n'), 1) << refused.err.constData();
    }

    // A saved index answers as the file does.
    const QByteArray index = QFile::encodeName(dir_.filePath(QStringLiteral("tiny.mvi")));
    ASSERT_EQ(runTool({"--save-index", index, "--show", "lemma", file}).status, 0);
    const Result saved = runTool({"--show", "lemma", "--counts", index, "say"});
    EXPECT_EQ(saved.out, lemmas.out) << saved.err.constData();
}

namespace {

TEST_F(MorvanetTreeTool, ListsAndShowsTheDocumentsOfAFolderOfFormats)
{
    QDir(dir_.path()).mkdir(QStringLiteral("docs"));
    write("docs/a.html", "<html><head><title>A page</title></head><body><p>the sea</p><p>the land</p></body></html>");
    write("docs/b.xml", "<TEI><teiHeader><fileDesc><titleStmt><title>B</title></titleStmt><publicationStmt>"
                        "<date>c. 1851</date></publicationStmt></fileDesc></teiHeader><text><p>the sea</p></text></TEI>");
    write("docs/c.txt.gz", QByteArray::fromHex("1f8b0800000000000003"));  // cut short
    const QByteArray docs = QFile::encodeName(dir_.filePath(QStringLiteral("docs")));
    const Result documents = runTool({"--documents", docs});
    EXPECT_EQ(documents.status, 0) << documents.err.constData();
    EXPECT_EQ(documents.out, "path\tformat\ttokens\ttitle\tdate\tyear\n"
                             "a.html\thtml\t4\tA page\t\t\n"
                             "b.xml\txml\t2\tB\tc. 1851\t1851\n");
    EXPECT_TRUE(documents.err.contains("c.txt.gz: passed over: it is cut short")) << documents.err.constData();
    const Result text = runTool({"--text", docs});
    EXPECT_EQ(text.out, "==> " + docs + "/a.html <==\nthe sea\nthe land\n==> " + docs + "/b.xml <==\nthe sea\n");
    EXPECT_EQ(runTool({"--text", "--documents", docs}).status, 2);
    const Result tree = runTool({"--counts", docs, "the"});
    EXPECT_TRUE(tree.out.startsWith("3\t")) << tree.out.constData();

    // A table beside the documents adds fields; --where keeps the documents that meet every condition.
    write("docs/metadata.csv", "path,year,genre\na.html,1901,\"novel, short\"\n");
    const Result kept = runTool({"--documents", "--where", "year >= 1900", "--where", "genre=nov*", docs});
    EXPECT_EQ(kept.out, "path\tformat\ttokens\ttitle\tyear\tgenre\na.html\thtml\t4\tA page\t1901\tnovel, short\n")
        << kept.err.constData();
    EXPECT_EQ(runTool({"--counts", "--where", "title=B", docs, "the"}).out.left(2), "1\t");
    const Result none = runTool({"--where", "year>3000", docs, "the"});
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(none.err.contains("no document meets --where")) << none.err.constData();
}

}  // namespace
