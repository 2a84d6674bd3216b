// loadTexts on files and folders: which files a folder gives and in what order, limits across files, refusals.
#include "ViewerTextFile.h"
#include "TextFormat.h"
#include "CorpusFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include <zlib.h>

#if defined(_OPENMP)
#include <omp.h>
#endif

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

TEST(CorpusFiles, FolderGivesItsTextFilesInByteOrderOfTheirPaths)
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

TEST(CorpusFiles, FolderReadsAnnotatedFilesBesideTextAndTellsTheirFormat)
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

TEST(CorpusFiles, LimitCountsAllFilesTogether)
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

TEST(CorpusFiles, SingleFileKeepsTheViewersLimitUnlessToldOtherwise)
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

TEST(CorpusFiles, RefusesWithAReasonAndWithoutBlocking)
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

// Documents are extracted on two cores: the committed documents of every
// kind, copied into several folders with a text between their runs, read
// as one folder give what one core gives, and what reading each file alone gives.
TEST(CorpusFiles, DocumentsExtractedOnTwoCoresGiveWhatOneFileAfterAnotherGives)
{
#if defined(_OPENMP)
    const int threadsBefore = omp_get_max_threads();
#endif
    Scratch scratch;
    ASSERT_FALSE(scratch.root.empty());
    const fs::path source = fs::path(MORVANET_TEST_DATA_DIR) / "documents";
    std::vector<std::string> names;  // the files the folder reads, in its order
    for (const auto &file : fs::directory_iterator(source)) {
        if (textFormatOf(file.path().filename().string()))
            names.push_back(file.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> relatives;
    for (const char *copy : {"a", "b", "c", "d", "e", "f"}) {
        fs::create_directories(scratch.path(copy));
        for (const std::string &name : names) {
            fs::copy_file(source / name, scratch.path(std::string(copy) + "/" + name));
            relatives.push_back(std::string(copy) + "/" + name);
        }
    }

    LoadedTexts alone;
    for (const std::string &relative : relatives) {
        std::string reason;
        std::optional<LoadedTexts> one = loadTexts(scratch.path(relative), 0, &reason);
        if (!one) {
            alone.warnings.push_back(relative + ": passed over: " + reason);
            ++alone.skipped;
            continue;
        }
        for (const std::string &warning : one->warnings)
            alone.warnings.push_back(relative + ": " + warning);
        alone.bytesRead += one->bytesRead;
        alone.documents.push_back(std::move(one->documents.at(0)));
    }
    ASSERT_GT(alone.skipped, 0u);
    ASSERT_FALSE(alone.warnings.empty());

    std::vector<std::string> items;  // the Extracting reports' documents
    std::uint64_t lastDone = 0, total = 0;
    bool ordered = true, here = true;
    const std::thread::id caller = std::this_thread::get_id();
    const Progress progress([&](const Progress::Step &step) {
        here = here && std::this_thread::get_id() == caller;
        if (step.stage != Progress::Stage::Extracting)
            return;
        ordered = ordered && step.done >= lastDone && step.done <= step.total;
        lastDone = step.done;
        total = step.total;
        items.emplace_back(step.item);
    }, nullptr);
    const auto loaded = [&](int threads, std::uint64_t limit, const Progress &told = {}) {
#if defined(_OPENMP)
        omp_set_num_threads(threads);
#else
        (void)threads;
#endif
        std::string reason;
        std::optional<LoadedTexts> texts = loadTexts(scratch.root, limit, &reason, told);
        EXPECT_TRUE(texts) << reason;
        return texts.value_or(LoadedTexts{});
    };
    const auto same = [](const LoadedTexts &a, const LoadedTexts &b) {
        EXPECT_EQ(a.documents.size(), b.documents.size());
        for (std::size_t k = 0; k < std::min(a.documents.size(), b.documents.size()); ++k) {
            const TextDocument &x = a.documents[k], &y = b.documents[k];
            EXPECT_TRUE(x.path == y.path && x.bytes == y.bytes && x.format == y.format && x.fields == y.fields)
                << x.path << " / " << y.path;
        }
        EXPECT_EQ(a.warnings, b.warnings);
        EXPECT_EQ(a.skipped, b.skipped);
        EXPECT_EQ(a.bytesRead, b.bytesRead);
    };

    const LoadedTexts two = loaded(2, 0, progress);
    same(two, alone);
    same(two, loaded(1, 0));
    EXPECT_EQ(two.bytesAvailable, two.bytesRead);
    EXPECT_FALSE(two.cut);

    // The reports come from this thread, name documents of the folder, and reach the total.
    EXPECT_TRUE(here && ordered);
    EXPECT_EQ(total, 6 * (names.size() - 1));  // every file but the one text (source.md)
    EXPECT_EQ(lastDone, total);
    EXPECT_TRUE(std::all_of(items.begin(), items.end(), [&](const std::string &item) {
        return std::find(relatives.begin(), relatives.end(), item) != relatives.end() && !item.ends_with(".md");
    }));

    // A limit cuts the same document on either count of cores.
    const LoadedTexts cut = loaded(2, two.bytesRead / 2);
    same(cut, loaded(1, two.bytesRead / 2));
    EXPECT_TRUE(cut.cut && cut.bytesRead == two.bytesRead / 2);

    // Compressed texts are read and extracted as one run (a fraction of
    // their text on disk); the limit then cuts the second, and what follows
    // it in the run is neither kept nor warned of.
    Scratch packed;
    const std::string words = [] {
        std::string text;
        for (int line = 0; text.size() < 100'000; ++line)  // not so alike that it inflates a hundredfold
            text += "the sea is " + std::to_string(line * 7919 % 100'003) + " wide\n";
        return text;
    }();
    for (const char *name : {"1.txt.gz", "2.txt.gz"}) {
        gzFile file = gzopen(packed.path(name).c_str(), "wb9");
        ASSERT_NE(file, nullptr);
        gzwrite(file, words.data(), static_cast<unsigned>(words.size()));
        gzclose(file);
    }
    packed.write("3.docx", "no Word file");
    std::string why;
    const std::optional<LoadedTexts> limited = loadTexts(packed.root, words.size() * 3 / 2, &why);
    ASSERT_TRUE(limited) << why;
    ASSERT_EQ(limited->documents.size(), 2u);
    EXPECT_EQ(limited->documents[1].bytes, words.substr(0, words.size() / 2));
    EXPECT_TRUE(limited->cut && limited->warnings.empty() && limited->skipped == 0);
    EXPECT_EQ(limited->bytesAvailable, 2 * words.size() + 12);

    // A stop asked for while documents are extracted ends the load.
    std::atomic<bool> stop{false};
    std::string reason;
    EXPECT_THROW(loadTexts(scratch.root, 0, &reason, Progress([&](const Progress::Step &step) {
                               stop = stop || step.stage == Progress::Stage::Extracting;
                           }, &stop)),
                 Progress::Stopped);
#if defined(_OPENMP)
    omp_set_num_threads(threadsBefore);
#endif
}

}  // namespace
