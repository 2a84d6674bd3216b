// The document readers on the committed documents: what each format yields, its metadata, and hostile files.
#include "DocumentReaders.h"
#include "HtmlReader.h"
#include "MetadataTable.h"
#include "GzipReader.h"
#include "TextCollector.h"
#include "CorpusFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace {

const std::string folder = std::string(MORVANET_TEST_DATA_DIR) + "/documents";

std::string bytesOf(const std::string &name)
{
    std::ifstream in(folder + "/" + name, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

ExtractedDocument read(const std::string &name)
{
    const DocumentReader *reader = documentReaderFor(name);
    EXPECT_NE(reader, nullptr) << name;
    return reader ? reader->read(bytesOf(name)) : ExtractedDocument{};
}

using Fields = std::vector<std::pair<std::string, std::string>>;

TEST(DocumentReaders, PagesGiveTheirVisibleTextALineABlockAndTheirMetadata)
{
    const ExtractedDocument page = read("page.html");
    EXPECT_TRUE(page.error.empty() && page.warnings.empty());
    EXPECT_EQ(page.fields, (Fields{{"title", "The Voyage Out"}, {"author", "Ada Lovelace"}, {"date", "1843-09-05"}}));
    EXPECT_NE(page.text.find("\nThe first chapter\nIt was a bright cold day in April, and the clocks were striking "
                             "thirteen. The clocks were striking thirteen.\nthe first item\nthe second item\n"
                             "left cell\nright cell\n"),
              std::string::npos)
        << page.text;
    EXPECT_EQ(page.text.find("line-height"), std::string::npos);  // the style sheet is not text
    // The page's own character set, else UTF-8.
    const ExtractedDocument latin1 = read("latin1.html");
    EXPECT_EQ(latin1.fields.front(), (std::pair<std::string, std::string>{"title", "Caf\xC3\xA9 in Latin-1"}));
    const HtmlReader &html = static_cast<const HtmlReader &>(*documentReaderFor("x.html"));
    EXPECT_EQ(html.read("<p>caf\xC3\xA9 &amp; &lt;tea&gt;<script>no</script></p><pre>a  b\n c</pre>").text,
              "caf\xC3\xA9 & <tea>\na  b\n c\n");
}

// pandoc wrote the same source as a page, a Word file, an OpenDocument text and an e-book.
TEST(DocumentReaders, WordOpenDocumentAndEbooksGiveWhatThePageGives)
{
    const std::string page = read("page.html").text;
    for (const char *name : {"document.docx", "document.odt", "document.epub"}) {
        const ExtractedDocument document = read(name);
        EXPECT_TRUE(document.error.empty() && document.warnings.empty()) << name << ": " << document.error;
        EXPECT_EQ(document.text, page) << name;
        ASSERT_GE(document.fields.size(), 2u) << name;
        EXPECT_EQ(document.fields[0], (std::pair<std::string, std::string>{"title", "The Voyage Out"})) << name;
        EXPECT_EQ(document.fields[1], (std::pair<std::string, std::string>{"author", "Ada Lovelace"})) << name;
    }
    // A PDF's pages in order, a line of the page a line; an encrypted one refused.
    const ExtractedDocument pdf = read("document.pdf");
    EXPECT_EQ(pdf.text, "The first chapter\nIt was a bright cold day in April, and the clocks were striking "
                        "thirteen.\nThe clocks were striking thirteen.\nthe first item\nthe second item\n");
    EXPECT_EQ(pdf.fields[1], (std::pair<std::string, std::string>{"author", "Ada Lovelace"}));
    EXPECT_EQ(read("encrypted.pdf").error, "it is encrypted (it needs a password)");
    EXPECT_NE(read("cut.docx").error.find("not a whole ZIP archive"), std::string::npos);
    EXPECT_NE(read("bomb.docx").error.find("word/document.xml inflates past"), std::string::npos);
}

TEST(DocumentReaders, TeiGivesItsTextAndItsHeaderGivesTheFields)
{
    const ExtractedDocument tei = read("tei.xml");
    EXPECT_TRUE(tei.error.empty() && tei.warnings.empty());
    EXPECT_EQ(tei.fields, (Fields{{"title", "Songs of the Sea"},
                                  {"author", "Anne Example; John Example"},
                                  {"date", "1851-10-18"}}));
    EXPECT_EQ(tei.text, "Songs of the Sea\nThe First Song\nThe sea is wide and the sea is deep,\nand the sea is where "
                        "the sailors sleep.\nA note on the first song.\nA second line.\nThe end of the songs.\n");
    EXPECT_EQ(read("plain.xml").text, "The sea 1851\nThe land kept whole\n");
    // Compressed, the same; year from the date.
    const std::optional<LoadedTexts> texts = loadTexts(folder + "/tei.xml.gz", 0, nullptr);
    ASSERT_TRUE(texts && texts->documents.size() == 1);
    EXPECT_EQ(texts->documents[0].bytes, tei.text);
    EXPECT_EQ(texts->documents[0].format, "xml+gzip");
    EXPECT_EQ(texts->documents[0].fields.back(), (std::pair<std::string, std::string>{"year", "1851"}));
}

TEST(DocumentReaders, HostileFilesEndInWarningsOrReasonsAndReadNothingOutside)
{
    const auto started = std::chrono::steady_clock::now();
    const ExtractedDocument laughs = read("laughs.xml");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    ASSERT_EQ(laughs.warnings.size(), 1u);
    EXPECT_LT(laughs.text.size(), 1000u);
    EXPECT_EQ(read("external.xml").text, "before after\n");  // the file it names is never read
    const ExtractedDocument cut = read("cut.xml");
    EXPECT_EQ(cut.text, "kept text cut short\n");
    ASSERT_EQ(cut.warnings.size(), 1u);
    EXPECT_NE(cut.warnings[0].find("not well-formed XML"), std::string::npos);
    EXPECT_EQ(read("not.xml").error.empty(), false);  // an empty file

    std::string inflated, why;
    EXPECT_FALSE(gunzip(bytesOf("bomb.txt.gz"), inflated, why));
    EXPECT_NE(why.find("inflates past"), std::string::npos) << why;
    EXPECT_FALSE(gunzip(bytesOf("cut.txt.gz"), inflated, why));
    EXPECT_EQ(why, "it is cut short");
    ASSERT_TRUE(gunzip(bytesOf("tei.xml.gz") + bytesOf("tei.xml.gz"), inflated, why)) << why;
    EXPECT_EQ(inflated, bytesOf("tei.xml") + bytesOf("tei.xml"));  // members back to back

    // A folder passes over what it cannot read and says so; a lone file is refused.
    std::string reason;
    const std::optional<LoadedTexts> texts = loadTexts(folder, 0, &reason);
    ASSERT_TRUE(texts) << reason;
    EXPECT_EQ(texts->skipped, 5u);  // the bombs, the cut gzip and Word file, the encrypted PDF
    EXPECT_EQ(texts->warnings[1], "bomb.txt.gz: passed over: it inflates past 975000 bytes (100 times its "
                                  "size, 1 GB at most)");
    EXPECT_FALSE(loadTexts(folder + "/cut.txt.gz", 0, &reason));
    EXPECT_EQ(reason, "it is cut short");
}

// The collector takes words and the single blanks between them eight bytes
// at a time: on random pieces of blanks, bytes around them and UTF-8 bytes
// whose low bits are a blank's, it gives what a byte at a time gives.
TEST(DocumentReaders, CollectedTextRunsBlanksTogetherAsAByteAtATimeWould)
{
    const char alphabet[] = {' ', ' ', ' ', ' ', '\t', '\n', '\v', '\f', '\r', 'a', 'b', 'c', 'd',
                             '\x08', '\x0e', '\x1f', '!', '\x89', '\x8d', '\xa0', '\xc3'};
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        TextCollector collector;
        std::string expected;
        bool blank = false;
        for (int pieces = static_cast<int>(random() % 5); pieces >= 0; --pieces) {
            if (random() % 4 == 0) {
                collector.endLine();
                if (!expected.empty() && expected.back() != '\n')
                    expected += '\n';
                blank = false;
            }
            std::string piece;
            for (std::size_t k = random() % 40; k > 0; --k)
                piece += alphabet[random() % sizeof alphabet];
            collector.add(piece);
            for (const char c : piece) {
                if (c == ' ' || (c >= '\t' && c <= '\r')) {
                    blank = true;
                    continue;
                }
                if (blank && !expected.empty() && expected.back() != '\n')
                    expected += ' ';
                blank = false;
                expected += c;
            }
        }
        if (!expected.empty() && expected.back() != '\n')
            expected += '\n';
        ASSERT_EQ(collector.take(), expected) << "round " << round;
    }
}

}  // namespace

namespace {

TEST(MetadataTable, GivesEachNamedFileItsFieldsAndRefusesWhatIsNoTable)
{
    std::string why;
    const std::optional<MetadataTable> table = MetadataTable::parse(
        "path, author ,year,note\n./a.txt,\"Dickens, Charles\",1850,\"two\nlines\"\nb/c.html,,1871,\n", false, why);
    ASSERT_TRUE(table) << why;
    EXPECT_EQ(*table->fieldsOf("a.txt"),
              (MetadataTable::Fields{{"author", "Dickens, Charles"}, {"year", "1850"}, {"note", "two\nlines"}}));
    EXPECT_EQ(*table->fieldsOf("b/c.html"), (MetadataTable::Fields{{"year", "1871"}}));
    EXPECT_EQ(table->fieldsOf("c.txt"), nullptr);
    ASSERT_TRUE(MetadataTable::parse("path\tyear\na.txt\t1850\n", true, why));
    EXPECT_FALSE(MetadataTable::parse("file,year\na.txt,1\n", false, why));
    EXPECT_EQ(why, "line 1: no column is named \"path\"");
    EXPECT_FALSE(MetadataTable::parse("path,year\na.txt,1\nb.txt\n", false, why));
    EXPECT_EQ(why, "line 3: 1 cells where the first row names 2");
    EXPECT_FALSE(MetadataTable::parse("path,year\na.txt,1\na.txt,2\n", false, why));
    EXPECT_EQ(why, "line 3: the path \"a.txt\" is named twice");
    EXPECT_FALSE(MetadataTable::parse("path,year\n\"a.txt,1\n", false, why));
}

}  // namespace
