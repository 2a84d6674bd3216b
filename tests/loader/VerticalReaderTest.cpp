// readVertical and --columns: the layers columns give, what structures do, and every refusal.
#include "RecordingSink.h"
#include "VerticalReader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;
using Names = std::vector<std::string>;

TEST(VerticalReader, ColumnsAreNamedOnceWithAWordAndGiveTheWordLayerFirst)
{
    EXPECT_EQ(parseVerticalColumns("word,pos,lemma", nullptr), defaultVerticalColumns());
    EXPECT_EQ(parseVerticalColumns(" lemma , word", nullptr), (Names{"lemma", "word"}));
    EXPECT_EQ(verticalLayers({"lemma", "pos", "word", "tag"}), (Names{"word", "lemma", "pos", "tag"}));
    for (const char *wrong : {"", "word,", ",word", "word,,pos", "word, ,pos", "pos,lemma", "word,pos,word", "Word"}) {
        std::string reason;
        EXPECT_FALSE(parseVerticalColumns(wrong, &reason)) << wrong;
        EXPECT_FALSE(reason.empty() || reason.find('\n') != std::string::npos) << reason;
    }
}

TEST(VerticalReader, TokenLinesArePositionsAndStructuresMarkSentencesDocumentsAndGlue)
{
    const std::string file = "<text id=\"a\">\n"  // 1: the file is a document already
                             "<s>\n"
                             "DT\tThe\tthe\textra\n"  // 3
                             "<g/>\n"
                             "</g>\n"
                             "NN\tcat\tcat\r\n"  // 6
                             "\n"
                             "<g />\n"
                             "SYM\t<\t<\n"         // 9
                             "<b>\t<b>\tSYM\n"     // 10: a line with TABs is no structure
                             "<g/>\n"
                             "</s>\n"              // the glue goes with the sentence
                             "<p>\n"
                             "RB\tagain\tagain\n"  // 14
                             "</p>\n"
                             "</text>\n"
                             "<doc>\n"
                             "<doc>\n"             // one start told
                             "<g/>\n"
                             "JJ\tlast\tlast";     // 20, no line feed at the end
    RecordingSink sink;
    ASSERT_FALSE(readVertical(file, {"pos", "word", "lemma"}, sink));
    EXPECT_EQ(sink.calls, (Calls{"3:The|DT|the", "~6:cat|NN|cat", "~9:<|SYM|<", "10:<b>|<b>|SYM", "end",
                                 "14:again|RB|again", "end", "doc", "20:last|JJ|last", "end"}));

    // The word alone; a line that does not end in '>' is no structure; a
    // file with no sentence marks is one sentence; a document start with no
    // position after it, or a file with none, tells nothing.
    RecordingSink words;
    ASSERT_FALSE(readVertical("a\tb\n<g/>\nc\n<3\n<doc>\n", {"word"}, words));
    EXPECT_EQ(words.calls, (Calls{"1:a", "~3:c", "4:<3", "end"}));
    RecordingSink empty;
    ASSERT_FALSE(readVertical("<text>\n<s>\n</s>\n\n</text>\n", defaultVerticalColumns(), empty));
    EXPECT_EQ(empty.calls, Calls{});
}

TEST(VerticalReader, RefusesAtTheFirstFaultyLineAndTellsNothingAfterIt)
{
    struct Case {
        std::string bytes;
        std::uint64_t line;
        std::string reason;
    };
    const std::vector<Case> cases{
        {"a\tb\tc\n<s>\nd\te\n", 3, "a token line needs 3 TAB-separated columns (word,pos,lemma); this one has 2"},
        {"a\tb\tc\n\n<s>\nd\n", 4, "this one has 1"},
        {"a\tb\tc\n<s id=\"\xE2\x82\">\nd\te\tf\n", 2, "ill-formed UTF-8 at byte 8 of the line"},
        {"a\tb\tc\n\xC1\x81\tb\tc\n", 2, "ill-formed UTF-8 at byte 1"},
    };
    for (const Case &c : cases) {
        RecordingSink sink;
        const std::optional<AnnotationError> error = readVertical(c.bytes, defaultVerticalColumns(), sink);
        ASSERT_TRUE(error) << c.bytes;
        EXPECT_EQ(error->line, c.line) << c.bytes;
        EXPECT_NE(error->reason.find(c.reason), std::string::npos) << error->reason;
        EXPECT_EQ(sink.calls, Calls{"1:a|b|c"}) << c.bytes;
    }
    RecordingSink sink;
    EXPECT_EQ(readVertical("a\n", {"pos"}, sink).value().line, 0u);
    EXPECT_TRUE(sink.calls.empty());
}

}  // namespace
