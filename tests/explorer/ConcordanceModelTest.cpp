// The concordance model against the tool's --kwic writer for a folder corpus
// in every mode, narrowed to every node of both trees, sorted, and exported.
#include "ConcordanceModel.h"
#include "KwicWriter.h"
#include "QueryAnswer.h"
#include "QueryTreeOccurrences.h"
#include "WrittenText.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Positions = std::vector<Corpus::Position>;

// A folder of three texts, one in a subfolder, with mixed case, marks, words
// beyond ASCII and a phrase that ends a document.
std::shared_ptr<const OpenedCorpus> openFolder(const QTemporaryDir &dir, CorpusOptions options)
{
    const auto write = [&dir](const char *name, const char *text) {
        QDir(dir.path()).mkpath(QFileInfo(dir.filePath(name)).path());
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    };
    write("a.txt", "The cat sat on the mat.\nthe dog sat\n\non THE log, the end the");
    write("sub/b.txt", "caf\xC3\xA9 the \xC3\x89t\xC3\xA9 the cat\nand the cat sat on the cat's mat");
    write("c.txt", "the");
    CorpusRequest request;
    request.path = QFile::encodeName(dir.path()).toStdString();
    request.options = options;
    request.backward = true;  // so that it can be saved
    OpenedCorpus::Outcome outcome = OpenedCorpus::open(request);
    EXPECT_TRUE(outcome.opened) << outcome.reason;
    return std::move(outcome.opened);
}

std::string kwicOf(const OpenedCorpus &opened, const Positions &starts, std::uint32_t length, std::uint32_t context)
{
    std::vector<std::string> paths;
    for (std::size_t d = 0; d < opened.documentCount(); ++d)
        paths.push_back(ConcordanceModel::documentName(opened, d));
    std::string text;
    OutputBuffer output([&text](std::string_view bytes) {
        text += bytes;
        return true;
    });
    writeKwic(opened.corpus(), paths, starts, length, context, output);
    output.finish();
    return text;
}

std::string tsvOf(const ConcordanceModel &model)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(model.writeTsv(buffer));
    return buffer.data().toStdString();
}

// The rows as shown, one line each, columns TAB-separated.
QString shownRows(const ConcordanceModel &model)
{
    QString text;
    for (int row = 0; row < model.rowCount(); ++row) {
        for (int column = 0; column < ConcordanceModel::ColumnCount; ++column)
            text += model.index(row, column).data().toString() + (column + 1 < ConcordanceModel::ColumnCount ? "\t" : "\n");
    }
    return text;
}

// The rows as the text writes them: for each occurrence, its location and
// the stretches of its document's bytes (read plainly, see WrittenText) that
// the contexts and the phrase cover, as the tool's lines cover them.
std::string writtenRows(const OpenedCorpus &opened, const PhraseOccurrences &found, std::uint32_t context)
{
    const Corpus &corpus = opened.corpus();
    std::vector<std::string> documents;
    for (std::size_t d = 0; d < opened.documentCount(); ++d) {
        QFile file(QFile::decodeName(opened.path(d).c_str()));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        documents.push_back(file.readAll().toStdString());
    }
    const WrittenText text(documents, corpus.options());
    std::string out;
    for (const Corpus::Position start : found.starts) {
        const std::uint32_t d = corpus.documentOf(start);
        const Corpus::Position first = corpus.documentStart(d);
        const Corpus::Position last = first + static_cast<Corpus::Position>(text.tokens(d).size());
        const auto written = [&](Corpus::Position from, Corpus::Position to) {
            return from == to ? std::string() : text.written(from, to - from);
        };
        const Corpus::Position end = start + found.length;
        out += ConcordanceModel::documentName(opened, d) + ":" + std::to_string(corpus.lineOf(start)) + "\t";
        out += written(start - std::min(context, start - first), start) + "\t";
        out += written(start, end) + "\t";
        out += written(end, std::min(last, end + context)) + "\n";
    }
    return out;
}

const CorpusOptions everyMode[] = {
    {WordRules::Bytes, false}, {WordRules::Bytes, true}, {WordRules::Unicode, false}, {WordRules::Unicode, true}};

TEST(ConcordanceModel, RowsShowTheTextAsWrittenAndExportTheToolsLinesInEveryMode)
{
    QTemporaryDir dir;
    for (const CorpusOptions &options : everyMode) {
        const auto opened = openFolder(dir, options);
        for (const char *phrase : {"the", "the cat", "sat on", "t\xC3\xA9", "zzz"}) {
            Query query;
            query.phrase = phrase;
            const PhraseOccurrences found = queryOccurrences(opened->corpus(), query);
            ConcordanceModel model;
            model.setOccurrences(opened, found.starts, found.length);
            ASSERT_EQ(model.shownCount(), found.starts.size());
            for (const std::uint32_t context : {8u, 2u, 0u}) {
                model.setContext(context);
                const std::string kwic = kwicOf(*opened, found.starts, found.length, context);
                EXPECT_EQ(tsvOf(model), kwic) << phrase << " context " << context;
                const std::string written = writtenRows(*opened, found, context);
                EXPECT_EQ(shownRows(model), options.utf8() ? QString::fromUtf8(written) : QString::fromLatin1(written))
                    << phrase;
            }
        }
    }
}

TEST(ConcordanceModel, NarrowingToEachNodeShowsItsCountAndWidensBack)
{
    QTemporaryDir dir;
    for (const CorpusOptions &options : everyMode) {
        const auto opened = openFolder(dir, options);
        Query query;
        query.phrase = "the";
        query.direction = QueryDirection::Both;
        const QueryAnswer answer = answerQuery(opened->corpus(), query);
        ASSERT_EQ(answer.status, QueryAnswer::Status::Found);
        const PhraseOccurrences all = queryOccurrences(opened->corpus(), query);
        ConcordanceModel model;
        model.setOccurrences(opened, all.starts, all.length);
        for (const TreeDirection side : {TreeDirection::Forward, TreeDirection::Backward}) {
            const TreeOccurrences occurrences = queryTreeOccurrences(opened->corpus(), query, side);
            const PhraseNode *root = side == TreeDirection::Forward ? answer.forward.get() : answer.backward.get();
            for (const auto &child : root->children()) {
                const PhraseNode *path[] = {root, child.get()};
                model.narrow(occurrences.through(path), QString::fromStdString(child->label()));
                EXPECT_TRUE(model.isNarrowed());
                EXPECT_EQ(model.shownCount(), child->count()) << child->label();
                EXPECT_EQ(model.totalCount(), all.starts.size());
                // Each row goes on (or back) as the label reads, up to the context shown.
                // Compared without blanks: a row shows its own occurrence as written.
                const QString label = labelString(child->label(), labelEncoding(options)).toLower().remove(' ');
                for (int row = 0; row < model.rowCount(); ++row) {
                    const QString context =
                        model.index(row, side == TreeDirection::Forward ? ConcordanceModel::RightColumn
                                                                         : ConcordanceModel::LeftColumn)
                            .data()
                            .toString()
                            .toLower()
                            .remove(' ');
                    EXPECT_TRUE(side == TreeDirection::Forward ? context.startsWith(label) || label.startsWith(context)
                                                               : context.endsWith(label) || label.endsWith(context))
                        << context.toStdString() << " / " << label.toStdString();
                }
            }
        }
        model.widen();
        EXPECT_FALSE(model.isNarrowed());
        EXPECT_EQ(model.shownCount(), all.starts.size());
    }
}

TEST(ConcordanceModel, SortsByTheWordsBesideInTurnThenByPosition)
{
    QTemporaryDir dir;
    const auto opened = openFolder(dir, {WordRules::Bytes, true});
    Query query;
    query.phrase = "the";
    const PhraseOccurrences found = queryOccurrences(opened->corpus(), query);
    ConcordanceModel model;
    model.setOccurrences(opened, found.starts, found.length);
    // The columns as exported, tokens parted by single blanks, in the order shown.
    const auto cells = [&model](int column) {
        QStringList out;
        for (const QString &line : QString::fromStdString(tsvOf(model)).split('\n', Qt::SkipEmptyParts))
            out << line.split('\t')[column];
        return out;
    };
    const auto words = [&](int column, bool first) {
        QStringList out;
        for (const QString &cell : cells(column)) {
            const QStringList tokens = cell.split(' ', Qt::SkipEmptyParts);
            out << (tokens.isEmpty() ? QString() : first ? tokens.front() : tokens.back());
        }
        return out;
    };
    const auto column = [&](int column, int from, int to) { return cells(column).mid(from, to - from); };
    model.setOrder(ConcordanceModel::Order::RightWord);
    EXPECT_EQ(words(ConcordanceModel::RightColumn, true),
              (QStringList{"", "", "cat", "cat", "cat", "cat", "dog", "end", "log", "mat", "t"}));
    model.setOrder(ConcordanceModel::Order::LeftWord);
    const QStringList left = words(ConcordanceModel::LeftColumn, false);
    EXPECT_EQ(left, (QStringList{"", "", ",", ".", "and", "caf", "end", "on", "on", "on", "t"}));
    // The three "on the" rows by the words before "on", the nearest first:
    // "sat" in all, then "cat" (where the first one's document starts),
    // "cat" again, "dog".
    EXPECT_EQ(column(ConcordanceModel::LeftColumn, 7, 10),
              (QStringList{"The cat sat on", "t the cat and the cat sat on", "on the mat . the dog sat on"}));
    // Fewer words of context compare fewer: the three rows are equal over
    // two words, and stay in text order.
    model.setContext(2);
    EXPECT_EQ(column(ConcordanceModel::LeftColumn, 7, 10), (QStringList{"sat on", "sat on", "sat on"}));
    EXPECT_LT(model.line(7).start, model.line(8).start);
    EXPECT_LT(model.line(8).start, model.line(9).start);
    model.setContext(ConcordanceModel::defaultContext);
    model.sort(ConcordanceModel::LeftColumn, Qt::DescendingOrder);
    EXPECT_EQ(words(ConcordanceModel::LeftColumn, false).front(), left.back());
    model.setOrder(ConcordanceModel::Order::Text);
    for (int row = 1; row < model.rowCount(); ++row)
        EXPECT_LT(model.line(row - 1).start, model.line(row).start);
}

TEST(ConcordanceModel, NamesASavedFoldersFilesBelowTheFolderAsTheFolderDoes)
{
    QTemporaryDir dir;
    const auto folder = openFolder(dir, {});
    const std::string index = QFile::encodeName(dir.filePath("saved.index")).toStdString();
    std::string reason;
    ASSERT_TRUE(folder->save(index, {}, reason)) << reason;
    const std::shared_ptr<const OpenedCorpus> saved = OpenedCorpus::open({index, std::nullopt, {}, true, true}).opened;
    ASSERT_TRUE(saved);
    const PhraseOccurrences found = findOccurrences(saved->corpus(), "cat");
    const std::string lines = kwicOf(*saved, found.starts, found.length, 1);
    EXPECT_EQ(lines, kwicOf(*folder, found.starts, found.length, 1));
    EXPECT_NE(lines.find("\nsub/b.txt:1\t"), std::string::npos) << lines;
}

TEST(ConcordanceModel, ExportsToAFileOrSaysWhyNot)
{
    QTemporaryDir dir;
    const auto opened = openFolder(dir, {WordRules::Unicode, false});
    const PhraseOccurrences found = findOccurrences(opened->corpus(), "cat");
    ConcordanceModel model;
    model.setOccurrences(opened, found.starts, found.length);
    model.setOrder(ConcordanceModel::Order::LeftWord);
    const QString path = dir.filePath("lines.tsv");
    ASSERT_TRUE(model.writeTsv(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), tsvOf(model));
    QBuffer copy;
    copy.open(QIODevice::WriteOnly);
    const auto writer = model.tsvWriter();
    model.clear();
    EXPECT_TRUE(writer(copy));
    EXPECT_EQ(copy.data(), (file.seek(0), file.readAll()));
    QString reason;
    EXPECT_FALSE(model.writeTsv(dir.filePath("missing/lines.tsv"), &reason));
    EXPECT_FALSE(reason.isEmpty());
}

}  // namespace
