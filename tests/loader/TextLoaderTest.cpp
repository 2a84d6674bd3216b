// loadTexts on files and folders: which files a folder gives and in what order, limits across files, refusals.
#include "ViewerTextFile.h"
#include "TextFormat.h"
#include "TextLoader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A scratch folder removed with the object.
struct Scratch {
    std::string root = (fs::temp_directory_path() / "loader-test-XXXXXX").string();
    Scratch() { root = ::mkdtemp(root.data()) ? root : std::string(); }
    ~Scratch() { std::error_code ignored; fs::remove_all(root, ignored); }
    std::string path(const std::string &relative) const { return root + '/' + relative; }
    void write(const std::string &relative, const std::string &bytes) const
    {
        fs::create_directories(fs::path(path(relative)).parent_path());
        std::ofstream(path(relative), std::ios::binary) << bytes;
    }
};

using Documents = std::vector<std::pair<std::string, std::string>>;

Documents documentsOf(const LoadedTexts &texts)
{
    Documents out;
    for (const TextDocument &document : texts.documents)
        out.emplace_back(document.path, document.bytes);
    return out;
}

TEST(TextLoader, FolderGivesItsTextFilesInByteOrderOfTheirPaths)
{
    Scratch scratch;
    ASSERT_FALSE(scratch.root.empty());
    // '-' < '.' < '/' < 'B' < 'a' < 0xc3: plain character order would put some of these elsewhere.
    for (const char *name : {"b.txt", "a/z.txt", "a.txt", "a-b.txt", "a/b/c.txt", "a/b.txt", "B.txt",
                             "\xc3\xa9.txt", "dir.txt/in.txt"})
        scratch.write(name, name);
    // Hidden files and folders, other names, links and a FIFO are all passed over.
    for (const char *name : {".hidden.txt", ".git/x.txt", "a/.h/y.txt", "a/readme", "x.txt.bak", "notes.docs", "page.html5", "txt"})
        scratch.write(name, "skipped");
    fs::create_symlink("b.txt", scratch.path("link.txt"));
    fs::create_symlink("a", scratch.path("linked"));
    fs::create_symlink("gone.txt", scratch.path("dangling.txt"));
    ASSERT_EQ(::mkfifo(scratch.path("fifo.txt").c_str(), 0600), 0);
    scratch.write("crlf/one.txt", "one\r\ntwo\r\n\r");

    std::string reason;
    const std::optional<LoadedTexts> texts = loadTexts(scratch.root + '/', &reason);
    ASSERT_TRUE(texts) << reason;
    const std::string r = scratch.root + '/';
    const Documents expected{
        {r + "B.txt", "B.txt"}, {r + "a-b.txt", "a-b.txt"}, {r + "a.txt", "a.txt"}, {r + "a/b.txt", "a/b.txt"},
        {r + "a/b/c.txt", "a/b/c.txt"}, {r + "a/z.txt", "a/z.txt"}, {r + "b.txt", "b.txt"},
        {r + "crlf/one.txt", "one\ntwo\n"}, {r + "dir.txt/in.txt", "dir.txt/in.txt"},
        {r + "\xc3\xa9.txt", "\xc3\xa9.txt"}};
    EXPECT_EQ(documentsOf(*texts), expected);
    EXPECT_FALSE(texts->cut);
    EXPECT_EQ(texts->bytesRead, texts->bytesAvailable);

    const Scratch empty;
    const std::optional<LoadedTexts> none = loadTexts(empty.root, 0, &reason);
    ASSERT_TRUE(none) << reason;
    EXPECT_TRUE(none->documents.empty());
    EXPECT_FALSE(none->cut);
}

TEST(TextLoader, FolderReadsAnnotatedFilesBesideTextAndTellsTheirFormat)
{
    Scratch scratch;
    ASSERT_FALSE(scratch.root.empty());
    for (const char *name : {"a.conllu", "b.vrt", "c/d.vert", "e.txt"})
        scratch.write(name, name);
    for (const char *name : {"x.conll", "x.vrt.gz", "x.CONLLU", "conllu", ".h.vert", "x.vertical"})
        scratch.write(name, "skipped");
    std::string reason;
    const std::optional<LoadedTexts> texts = loadTexts(scratch.root, 0, &reason);
    ASSERT_TRUE(texts) << reason;
    const std::string r = scratch.root + '/';
    EXPECT_EQ(documentsOf(*texts), (Documents{{r + "a.conllu", "a.conllu"}, {r + "b.vrt", "b.vrt"},
                                              {r + "c/d.vert", "c/d.vert"}, {r + "e.txt", "e.txt"}}));
    EXPECT_TRUE(folderWouldRead(scratch.root, r + "c/new.conllu"));
    EXPECT_TRUE(folderWouldRead(scratch.root, r + "new.vert"));
    EXPECT_FALSE(folderWouldRead(scratch.root, r + "new.conll"));
    EXPECT_FALSE(folderWouldRead(scratch.root, r + ".new.vrt"));

    EXPECT_EQ(textFormatOf("dir.vrt/a.txt"), TextFormat::Plain);
    EXPECT_EQ(textFormatOf("a.conllu"), TextFormat::Annotated);
    EXPECT_EQ(textFormatOf("a.vrt"), TextFormat::Annotated);
    EXPECT_EQ(textFormatOf("a.vert"), TextFormat::Annotated);
    EXPECT_EQ(textFormatOf("a.conllu.bak"), std::nullopt);
}

TEST(TextLoader, LimitCountsAllFilesTogether)
{
    Scratch scratch;
    ASSERT_FALSE(scratch.root.empty());
    scratch.write("1.txt", "0123456789");
    scratch.write("2.txt", "ab\r\ncd\r\nef\r\n");  // 9 bytes once the carriage returns are gone
    scratch.write("3.txt", "0123456789");
    const std::string r = scratch.root + '/';

    std::string reason;
    const std::optional<LoadedTexts> cut = loadTexts(scratch.root, 15, &reason);
    ASSERT_TRUE(cut) << reason;
    EXPECT_EQ(documentsOf(*cut), (Documents{{r + "1.txt", "0123456789"}, {r + "2.txt", "ab\ncd"}}));
    EXPECT_EQ(cut->bytesRead, 15u);
    EXPECT_TRUE(cut->cut);
    // 2.txt's rest ("\r\nef\r\n") and 3.txt count by their size on disk: an upper bound of the 29 there are.
    EXPECT_EQ(cut->bytesAvailable, 15u + 6u + 10u);
    EXPECT_EQ(cutNote(*cut), "read 15 of at most 31 bytes");

    // The limit falls at the end of 2.txt: nothing of it is missing, but 3.txt is not read.
    const std::optional<LoadedTexts> atEnd = loadTexts(scratch.root, 19, &reason);
    ASSERT_TRUE(atEnd) << reason;
    ASSERT_EQ(atEnd->documents.size(), 2u);
    EXPECT_EQ(atEnd->documents[1].bytes, "ab\ncd\nef\n");
    EXPECT_TRUE(atEnd->cut);
    EXPECT_EQ(atEnd->bytesAvailable, 29u);

    const std::optional<LoadedTexts> all = loadTexts(scratch.root, 29, &reason);
    ASSERT_TRUE(all) << reason;
    EXPECT_EQ(all->documents.size(), 3u);
    EXPECT_EQ(all->bytesAvailable, 29u);
    EXPECT_FALSE(all->cut);
}

TEST(TextLoader, SingleFileKeepsTheViewersLimitUnlessToldOtherwise)
{
    Scratch scratch;
    ASSERT_FALSE(scratch.root.empty());
    const std::string path = scratch.path("big");  // any name: a file operand need not end in .txt
    std::string text(1'000'123, 'w');
    for (std::size_t i = 0; i < text.size(); i += 11)
        text[i] = '\n';
    // Carriage returns on both sides of the limit.
    scratch.write("big", "\r" + text.substr(0, 999'999) + "\r\r" + text.substr(999'999) + "\r");

    std::string reason;
    const std::optional<LoadedTexts> byDefault = loadTexts(path, &reason);
    ASSERT_TRUE(byDefault) << reason;
    ASSERT_EQ(byDefault->documents.size(), 1u);
    EXPECT_EQ(byDefault->documents[0].path, path);
    EXPECT_EQ(byDefault->documents[0].bytes, text.substr(0, 1'000'000));
    EXPECT_EQ(byDefault->documents[0].bytes, loadTextFile(QByteArray::fromStdString(path)));
    EXPECT_TRUE(byDefault->cut);
    EXPECT_GE(byDefault->bytesAvailable, text.size());

    const std::optional<LoadedTexts> whole = loadTexts(path, 0, &reason);
    ASSERT_TRUE(whole) << reason;
    EXPECT_EQ(whole->documents.at(0).bytes, text);
    EXPECT_FALSE(whole->cut);
    EXPECT_EQ(whole->bytesAvailable, text.size());

    // The last text byte is the limit's: only carriage returns are left, so nothing is cut.
    const std::optional<LoadedTexts> exact = loadTexts(path, text.size(), &reason);
    ASSERT_TRUE(exact) << reason;
    EXPECT_FALSE(exact->cut);
}

TEST(TextLoader, RefusesWithAReasonAndWithoutBlocking)
{
    Scratch scratch;
    ASSERT_FALSE(scratch.root.empty());
    const auto refused = [](const std::string &path, std::uint64_t limit) {
        std::string reason;
        return !loadTexts(path, limit, &reason) && !reason.empty() && reason.find('\n') == std::string::npos;
    };
    ASSERT_EQ(::mkfifo(scratch.path("fifo").c_str(), 0600), 0);
    EXPECT_TRUE(refused(scratch.path("fifo"), 0));

    // More than a corpus can hold, in a sparse file: refused before any reading, unless a limit makes it fit.
    scratch.write("huge/big.txt", "");
    fs::resize_file(scratch.path("huge/big.txt"), std::uint64_t{5} << 30);
    EXPECT_TRUE(refused(scratch.path("huge"), 0));
    EXPECT_TRUE(refused(scratch.path("huge/big.txt"), 0));
    std::string reason;
    const std::optional<LoadedTexts> limited = loadTexts(scratch.path("huge"), 100, &reason);
    ASSERT_TRUE(limited) << reason;
    EXPECT_EQ(limited->documents.at(0).bytes, std::string(100, '\0'));

    if (::geteuid() != 0) {  // root lists folders whatever their permissions
        scratch.write("locked/in/a.txt", "a");
        fs::permissions(scratch.path("locked/in"), fs::perms::none);
        EXPECT_FALSE(loadTexts(scratch.path("locked"), 0, &reason));
        EXPECT_EQ(reason.rfind("in: ", 0), 0u) << reason;
        fs::permissions(scratch.path("locked/in"), fs::perms::owner_all);
    }
}

}  // namespace
