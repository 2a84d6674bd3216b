// Fuzzes morvanet-tree whole, from its options to its output: a mode byte
// picks the options (direction, folding, word rules, format, pruning, byte
// limit, stopping at sentence ends, the label scale, one file or a folder of several, a CoNLL-U file among
// them and the layer shown), the text is written to files, and
// the output goes to a buffer that fails after a chosen number of bytes. The
// command must exit with 0 or 1 while the output takes everything and with 2
// once it has failed, having written exactly the first bytes of what it
// writes when nothing fails.
#include "CqlPattern.h"
#include "FuzzInput.h"
#include "IndexFormat.h"
#include "OutputBuffer.h"
#include "TreeCommand.h"

#include <QApplication>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path scratch;

// Takes `room` bytes, then fails.
struct Failing {
    explicit Failing(std::size_t room) : room(room) {}

    std::size_t room;
    std::string taken;
    bool failed = false;

    OutputBuffer::Sink sink()
    {
        return [this](std::string_view bytes) {
            FUZZ_CHECK(!failed);  // a failed output is never written again
            const std::size_t part = std::min(bytes.size(), room - taken.size());
            taken.append(bytes.substr(0, part));
            failed = part < bytes.size();
            return !failed;
        };
    }
};

int run(const std::vector<std::string> &arguments, OutputBuffer &output)
{
    std::vector<std::string> copies = arguments;
    std::vector<char *> argv;
    for (std::string &argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    return runTreeCommand(static_cast<int>(copies.size()), argv.data(), output);
}

void writeFile(const fs::path &path, std::string_view bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // The command's messages go to standard error, once per input: libFuzzer
    // then keeps its own output and the sanitizers' reports, and drops them.
    static std::vector<char *> arguments(*argv, *argv + *argc);
    static char closeError[] = "-close_fd_mask=2";
    arguments.push_back(closeError);
    arguments.push_back(nullptr);
    *argc += 1;
    *argv = arguments.data();
    // The layout listing draws: one application for every input.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int qtArgc = 1;
    static char name[] = "fuzz_tree_command";
    static char *qtArgv[] = {name, nullptr};
    new QApplication(qtArgc, qtArgv);
    std::string folder = (fs::temp_directory_path() / "fuzz-tree-command-XXXXXX").string();
    FUZZ_CHECK(mkdtemp(folder.data()) != nullptr);
    scratch = folder;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzzinput::Reader reader(data, size);
    const std::uint8_t mode = reader.byte();
    const std::uint8_t pruning = reader.byte();
    const std::uint8_t extra = reader.byte();
    const std::uint32_t room = reader.u16();
    const std::uint8_t outputBits = reader.byte();
    const std::size_t chunk = 1 + outputBits % 64;
    const auto [phrase, text] = fuzzinput::splitPhraseAndText(reader);

    std::vector<std::string> arguments{"morvanet-tree"};
    const char *const directions[] = {nullptr, "--reverse", "--both", nullptr};
    if (directions[mode & 3])
        arguments.emplace_back(directions[mode & 3]);
    if (mode & 4)
        arguments.emplace_back("--ignore-case");
    if (outputBits & 0x40)
        arguments.emplace_back("--sentences");
    if (outputBits & 0x80)
        arguments.insert(arguments.end(), {"--scale", "phrase"});
    if (mode & 8)
        arguments.emplace_back((extra & 0x40) != 0 ? "--segment" : "--unicode");
    const char *const formats[] = {nullptr, "--json", "--kwic", "--layout"};
    if (formats[(mode >> 4) & 3])
        arguments.emplace_back(formats[(mode >> 4) & 3]);
    if (((mode >> 4) & 3) == 2)
        arguments.push_back(std::to_string(extra % 8));
    if (mode & 0x40)
        arguments.emplace_back("--counts");
    if ((pruning & 0x0F) != 0x0F)
        arguments.insert(arguments.end(), {"--depth", std::to_string(pruning & 0x0F)});
    if (pruning >> 4)
        arguments.insert(arguments.end(), {"--min-count", std::to_string(pruning >> 4)});
    if (extra & 0x80)
        arguments.insert(arguments.end(), {"--max-bytes", std::to_string(extra & 0x3F)});
    if ((mode >> 4) == 3)
        arguments.insert(arguments.end(), {"--size", "300x200"});
    if (((mode >> 4) & 3) == 3 && (extra & 0x20))
        arguments.emplace_back("--json");  // the layout as JSON
    // A folder's third file may be CoNLL-U, its layers shown by choice.
    const bool annotated = (mode & 0x80) && extra % 3 == 2 && (outputBits & 0x20);
    if (annotated && (outputBits & 0x10))
        arguments.insert(arguments.end(), {"--show", (outputBits & 0x08) ? "pos" : "lemma"});

    // One file, or a folder of up to three, the text cut into equal parts.
    std::error_code ignored;
    fs::remove_all(scratch / "texts", ignored);
    fs::path input = scratch / "text.txt";
    if (mode & 0x80) {
        input = scratch / "texts";
        fs::create_directories(input / "sub");
        const std::size_t documents = 1 + extra % 3;
        for (std::size_t k = 0; k < documents; ++k) {
            const std::size_t from = text.size() * k / documents;
            const fs::path name = k == 2 ? input / "sub" / (annotated ? "c.conllu" : "c.txt")
                                         : input / (k == 0 ? "a.txt" : "b.txt");
            writeFile(name, text.substr(from, text.size() * (k + 1) / documents - from));
        }
    } else {
        writeFile(input, text);
    }
    arguments.insert(arguments.end(), {"--", input.string(), std::string(phrase)});

    Failing whole(SIZE_MAX);
    OutputBuffer complete(whole.sink(), chunk);
    const int status = run(arguments, complete);
    // A lone file that starts with an index's magic is opened as a saved
    // index; one that is not a sound index is refused before any output.
    const bool looksLikeIndex = !(mode & 0x80) && text.substr(0, sizeof indexformat::magic)
                                                       == std::string_view(indexformat::magic, sizeof indexformat::magic);
    // So is an ill-formed CoNLL-U file, and a pattern that cannot be read
    // or names what the corpus lacks.
    const bool mayBeRefused = looksLikeIndex || annotated || CqlPattern::looksLikePattern(phrase);
    if (mayBeRefused && status == 2) {
        FUZZ_CHECK(whole.taken.empty());
        return 0;
    }
    FUZZ_CHECK(status == 0 || status == 1);
    FUZZ_CHECK(!complete.failed());
    if (room >= whole.taken.size())
        return 0;
    Failing failing(room);
    OutputBuffer output(failing.sink(), chunk);
    FUZZ_CHECK(run(arguments, output) == 2);
    FUZZ_CHECK(output.failed() && failing.failed);
    FUZZ_CHECK(failing.taken == std::string_view(whole.taken).substr(0, room));
    return 0;
}
