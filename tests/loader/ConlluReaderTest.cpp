// readConllu: which lines become positions, sentences and documents, how SpaceAfter=No glues, and every refusal.
#include "ConlluReader.h"
#include "FileLineSource.h"
#include "RecordingSink.h"
#include "VerticalReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

// A line with the given ID, FORM and MISC; LEMMA, UPOS and DEPREL are the
// form with L, U and D before it, XPOS "X", FEATS "F".
std::string line(const std::string &id, const std::string &form, const std::string &misc = "_")
{
    return id + '\t' + form + "\tL" + form + "\tU" + form + "\tX\tF\t0\tD" + form + "\t_\t" + misc + '\n';
}

// What `bytes` tells the sink: the positions shortened to LINE:FORM.
Calls forms(const std::string &bytes)
{
    RecordingSink sink;
    const std::optional<AnnotationError> error = readConllu(bytes, sink);
    EXPECT_FALSE(error) << error->line << ": " << error->reason;
    for (std::string &call : sink.calls)
        call = call.substr(0, call.find('|'));
    return sink.calls;
}

TEST(ConlluReader, WordLinesArePositionsAndBlankLinesEndSentences)
{
    EXPECT_EQ(conlluLayers(), (std::vector<std::string>{"word", "lemma", "pos", "xpos", "feats", "deprel"}));
    RecordingSink sink;
    ASSERT_FALSE(readConllu(line("1", "a") + line("2", "_"), sink));
    EXPECT_EQ(sink.calls, (Calls{"1:a|La|Ua|X|F|Da", "2:_|L_|U_|X|F|D_", "end"}));

    std::string crlf = line("3", "c");
    crlf.insert(crlf.size() - 1, "\r");
    const std::string file = "\xEF\xBB\xBF# newdoc id = first\n"     // 1: the file is a document already
                             "# sent_id = 1\n"                         // 2
                             + line("1", "a")                          // 3
                             + "1-2\tab\t_\t_\t_\t_\t_\t_\t_\t_\n"     // 4: a multiword token's range
                             + line("2", "b")                          // 5
                             + "2.1\tnull\t_\t_\t_\t_\t_\t_\t2:x\t_\n" // 6: an empty node
                             + "# newdocs are no document\n"           // 7
                             + crlf + "\r\n\n\n"                       // 8-11
                             + "#newdoc\n"                             // 12
                             + line("1", "d") + "\n"                   // 13-14
                             + "# newdoc\n# newdoc id = again\n"       // 15-16: one start told
                             + line("1", "e") + line("2", "f").substr(0, 22);  // 17-18, no line feed at the end
    EXPECT_EQ(forms(file), (Calls{"3:a", "5:b", "8:c", "end", "doc", "13:d", "end", "doc", "17:e", "18:f", "end"}));

    // A document start ends the sentence it falls into, and is told only when a position follows;
    // comments and empty files tell nothing.
    EXPECT_EQ(forms(line("1", "a") + "# newdoc\n" + line("1", "b")), (Calls{"1:a", "end", "doc", "3:b", "end"}));
    EXPECT_EQ(forms(line("1", "a") + "# newdoc\n"), (Calls{"1:a", "end"}));
    EXPECT_EQ(forms(""), Calls{});
    EXPECT_EQ(forms("# newdoc\n# text = nothing\n\n"), Calls{});
}

TEST(ConlluReader, SpaceAfterNoGluesTheNextWordOfTheSentence)
{
    std::string crlf = line("1", "a", "SpaceAfter=No");
    crlf.insert(crlf.size() - 1, "\r");
    const std::string file = crlf + line("2", "b", "X=1|SpaceAfter=No|Y=2")
        + line("3", "c", "SpaceAfter=Nope|NoSpaceAfter=No") + line("4", "d", "SpaceAfter=No")
        + "4.1\te\t_\t_\t_\t_\t_\t_\t4:x\t_\n"  // an empty node neither glues nor breaks a glue
        + line("5", "f", "SpaceAfter=No") + "\n"
        + line("1", "g")  // a sentence's first word is separated whatever came before
        + "2-3\thi\t_\t_\t_\t_\t_\t_\t_\tSpaceAfter=No\n" + line("2", "h") + line("3", "i") + line("4", "j")
        + "5-6\tkl\t_\t_\t_\t_\t_\t_\t_\t_\n" + line("5", "k", "SpaceAfter=No") + line("6", "l") + line("7", "m");
    EXPECT_EQ(forms(file), (Calls{"1:a", "~2:b", "~3:c", "4:d", "~6:f", "end", "8:g", "10:h", "11:i", "~12:j",
                                  "14:k", "~15:l", "16:m", "end"}));
}

TEST(ConlluReader, RefusesAtTheFirstFaultyLineAndTellsNothingAfterIt)
{
    struct Case {
        std::string bytes;
        std::uint64_t line;
        std::string reason;
    };
    const std::string ok = line("1", "a");
    const std::vector<Case> cases{
        {ok + "2\tb\tc\n", 2, "a word line needs 10 TAB-separated columns; this one has 3"},
        {ok + ok.substr(0, ok.size() - 1) + "\textra\n", 2, "this one has 11"},
        {ok + " \n", 2, "this one has 1"},
        {ok + line("x1", "b"), 2, "the ID \"x1\" is not a number, a range (1-2) or a decimal (1.1)"},
        {ok + line("1-", "b"), 2, "\"1-\""},
        {ok + line("1.2.3", "b"), 2, "\"1.2.3\""},
        {ok + line("-1", "b"), 2, "\"-1\""},
        {ok + line("", "b"), 2, "the ID \"\""},
        {ok + line(std::string(50, '9') + "\x01", "b"), 2, "\"" + std::string(40, '9') + "...\""},
        {ok + "# caf\xC3\n" + ok, 2, "ill-formed UTF-8 at byte 6 of the line"},
        {ok + line("2", "\xC0\xAF"), 2, "ill-formed UTF-8 at byte 3"},         // overlong
        {ok + line("2", "\xED\xA0\x80"), 2, "ill-formed UTF-8 at byte 3"},     // a surrogate
        {ok + "2-3\t\xF4\x90\x80\x80\n", 2, "ill-formed UTF-8 at byte 5"},  // past U+10FFFF, before the columns count
        {"\xEF\xBB\xBF" + ok + "\xFF", 2, "ill-formed UTF-8 at byte 1"},
    };
    for (const Case &c : cases) {
        RecordingSink sink;
        const std::optional<AnnotationError> error = readConllu(c.bytes, sink);
        ASSERT_TRUE(error) << c.bytes;
        EXPECT_EQ(error->line, c.line) << c.bytes;
        EXPECT_NE(error->reason.find(c.reason), std::string::npos) << error->reason;
        EXPECT_EQ(error->reason.find('\n'), std::string::npos);
        // The line before was told, but not the end of its sentence.
        EXPECT_EQ(sink.calls, Calls{"1:a|La|Ua|X|F|Da"}) << c.bytes;
    }
    EXPECT_EQ(describeAnnotationError("a.conllu", {7, "why"}), "a.conllu:7: why");
}

TEST(ConlluReader, ReportsTheBytesCutAndStopsWhenAsked)
{
    std::string big;
    while (big.size() < 5'000'000)
        big += line("1", "word") + line("2", "other") + '\n';
    std::vector<std::pair<std::uint64_t, std::uint64_t>> steps;
    std::atomic<bool> stop = false;
    const Progress progress(
        [&](const Progress::Step &step) {
            EXPECT_EQ(step.stage, Progress::Stage::Cutting);
            steps.emplace_back(step.done, step.total);
        },
        &stop);
    RecordingSink sink;
    ASSERT_FALSE(readConllu(big, sink, progress, 100, 0));
    const std::uint64_t total = 100 + big.size();
    ASSERT_GE(steps.size(), 3u);
    EXPECT_EQ(steps.front(), std::make_pair(std::uint64_t{100}, total));
    EXPECT_EQ(steps.back(), std::make_pair(total, total));
    for (std::size_t i = 1; i < steps.size(); ++i)
        EXPECT_LT(steps[i - 1].first, steps[i].first);

    stop = true;
    RecordingSink stopped;
    EXPECT_THROW(readConllu(big, stopped, progress, 0, 1), Progress::Stopped);
    EXPECT_TRUE(stopped.calls.empty());
}

// Gives a string's bytes a few at a time.
class PieceSource : public LineSource {
public:
    PieceSource(std::string_view bytes, std::size_t piece) : bytes_(bytes), piece_(piece) {}
    std::size_t read(char *into, std::size_t room) override
    {
        const std::size_t n = std::min({room, piece_, bytes_.size() - at_});
        bytes_.copy(into, n, at_);
        at_ += n;
        return n;
    }

private:
    std::string_view bytes_;
    std::size_t piece_;
    std::size_t at_ = 0;
};

std::string outcome(const std::optional<AnnotationError> &error, const RecordingSink &sink)
{
    std::string out = error ? std::to_string(error->line) + ": " + error->reason + "\n" : "";
    for (const std::string &call : sink.calls)
        out += call + "\n";
    return out;
}

// Blocks too small for a line, lines cut inside a character, a block's end
// at a line feed or a byte order mark: reading a block at a time is reading whole.
TEST(ConlluReader, ReadsAFileABlockAtATimeAsItReadsItWhole)
{
    std::mt19937 random(7);
    const std::vector<std::string> forms{"a", "caf\xC3\xA9", "\xE4\xB8\xAD\xE6\x96\x87", "\xF0\x9F\x98\x80",
                                         std::string(300, 'x'), "b\r"};
    std::vector<std::string> files{"\xEF\xBB\xBF" + line("1", "a"), line("1", "a") + "2\tb\n",
                                   line("1", "a") + line("2", "\xC0\xAF"), line("1", "a") + "# x\xE4\xB8"};
    for (int f = 0; f < 20; ++f) {
        std::string file = f % 3 == 0 ? "\xEF\xBB\xBF# newdoc\n" : "";
        for (int s = 0; s < 8; ++s) {
            file += "# text = " + forms[random() % forms.size()] + "\n";
            for (int w = 1; w <= 6; ++w)
                file += line(std::to_string(w), forms[random() % forms.size()], random() % 2 ? "SpaceAfter=No" : "_");
            file += random() % 4 ? "\n" : "# newdoc\n";
        }
        if (f % 2)
            file.pop_back();  // no line feed at the end
        files.push_back(file);
    }
    const std::vector<std::string> columns{"word", "pos", "lemma"};
    const Progress quiet;
    for (const std::string &file : files) {
        RecordingSink whole;
        const std::string expected = outcome(readConllu(file, whole), whole);
        RecordingSink wholeVertical;
        const std::string expectedVertical = outcome(readVertical(file, columns, wholeVertical), wholeVertical);
        for (const std::size_t block : {1, 2, 3, 7, 64, 4096}) {
            PieceSource source(file, block % 5 + 1), verticalSource(file, block % 3 + 1);
            LineCursor lines(source, quiet, 0, file.size(), block), verticalLines(verticalSource, quiet, 0, 0, block);
            RecordingSink sink, vertical;
            ASSERT_EQ(outcome(readConllu(lines, sink), sink), expected) << "block " << block << ":\n" << file;
            ASSERT_EQ(outcome(readVertical(verticalLines, columns, vertical), vertical), expectedVertical);
        }
    }

    // A file's source drops every carriage return, as the loader does.
    const std::string path = ::testing::TempDir() + "block.conllu";
    const std::string file = line("1", "a\rb") + line("2", "c");
    std::string crlf;
    for (const char c : file)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::ofstream(path, std::ios::binary) << crlf;
    std::string why;
    const std::unique_ptr<FileLineSource> source = FileLineSource::open(path, false, why);
    ASSERT_TRUE(source) << why;
    LineCursor lines(*source, quiet, 0, 0, 8);
    RecordingSink fromFile, fromBytes;
    EXPECT_EQ(outcome(readConllu(lines, fromFile), fromFile), outcome(readConllu(line("1", "ab") + line("2", "c"), fromBytes), fromBytes));
    EXPECT_EQ(source->kept(), file.size() - static_cast<std::size_t>(std::count(file.begin(), file.end(), '\r')));
    EXPECT_EQ(source->error(), 0);
    std::remove(path.c_str());
    EXPECT_FALSE(FileLineSource::open(::testing::TempDir(), true, why));
    EXPECT_EQ(why, "no longer a regular file");
}

}  // namespace
