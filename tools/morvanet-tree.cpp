// morvanet-tree: prints the phrase tree of a text file, as an outline or as JSON, or draws it as the viewer would.
#include "Corpus.h"
#include "PhraseNode.h"
#include "PhraseSearch.h"
#include "TextFileLoader.h"
#include "TreePicture.h"

#include <QApplication>
#include <QFile>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr int exitNoTree = 1;   // the phrase has no tokens or does not occur
constexpr int exitTrouble = 2;  // wrong invocation, unreadable file, failed output

const char usageLine[] =
    "Usage: morvanet-tree [--json | --layout] [--png FILE] [--svg FILE] [--size WxH] FILE PHRASE\n";
const char helpText[] =
    "Prints the word tree of PHRASE in the text FILE: the phrase, then the words\n"
    "that follow it, branching where the text goes on differently. FILE is read\n"
    "as the viewer reads it (carriage returns dropped, at most its first\n"
    "1,000,000 bytes).\n"
    "\n"
    "Output, one node per line in pre-order: two spaces per depth, the weight\n"
    "(printf %.9g), a TAB, the label bytes.\n"
    "\n"
    "Options:\n"
    "  --json    print the tree as nested {\"label\", \"weight\", \"children\"}\n"
    "            objects, label bytes as Latin-1 characters\n"
    "  --layout  print the labels as the viewer's canvas draws them, one per line\n"
    "            in drawing order: pixel size, x, y, a TAB, the label\n"
    "  --png FILE, --svg FILE\n"
    "            write the picture the canvas shows (white background) to FILE;\n"
    "            the tree is then printed only if --json or --layout is given\n"
    "  --size WxH  the canvas for --layout, --png and --svg (default 1051x711,\n"
    "            the viewer's canvas); no display is needed\n"
    "  --help    print this help and exit\n"
    "  --        end of options (for a PHRASE that starts with '-')\n"
    "\n"
    "Exit status: 0 tree printed; 1 PHRASE has no tokens or does not occur;\n"
    "2 wrong invocation, FILE cannot be read, or output cannot be written.\n";

enum class Format { Outline, Json, Layout, None };

// A file name as it goes into a one-line message: a name may hold line
// breaks and other control bytes, which are shown as "?".
std::string printable(std::string_view name)
{
    std::string out(name);
    for (char &c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = '?';
    }
    return out;
}

struct Options {
    Format format = Format::Outline;
    bool formatGiven = false;
    std::string png;
    std::string svg;
    int width = 1051;
    int height = 711;
    std::string file;
    std::string phrase;
};

enum class Parsed { Run, Help, Wrong };

// Reads "WxH" into `width` and `height`: both from 1 to 32767, the largest
// picture the toolkit paints.
bool parseSize(std::string_view text, int &width, int &height)
{
    const std::size_t cross = text.find('x');
    if (cross == std::string_view::npos)
        return false;
    auto number = [](std::string_view digits, int &out) {
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), out);
        return error == std::errc() && end == digits.data() + digits.size() && !digits.empty() && digits[0] != '-'
               && out >= 1 && out <= 32767;
    };
    return number(text.substr(0, cross), width) && number(text.substr(cross + 1), height);
}

// Fills `options` from the command line, or explains in `error` what is wrong.
// New options go into the one chain of comparisons below.
Parsed parseArguments(int argc, char **argv, Options &options, std::string &error)
{
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            operands.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            return Parsed::Help;
        } else if (arg == "--json" || arg == "--layout") {
            options.format = arg == "--json" ? Format::Json : Format::Layout;
            options.formatGiven = true;
        } else if (arg == "--png" || arg == "--svg" || arg == "--size") {
            if (i + 1 == argc) {
                error = "option '" + std::string(arg) + "' needs a value";
                return Parsed::Wrong;
            }
            const std::string_view value = argv[++i];
            if (arg == "--size") {
                if (!parseSize(value, options.width, options.height)) {
                    error = "the size '" + std::string(value) + "' is not WxH with both from 1 to 32767";
                    return Parsed::Wrong;
                }
            } else {
                (arg == "--png" ? options.png : options.svg) = value;
            }
        } else {
            error = "unknown option '" + std::string(arg) + "'";
            return Parsed::Wrong;
        }
    }
    if (operands.size() != 2) {
        error = operands.size() < 2 ? "FILE and PHRASE are needed" : "too many arguments";
        return Parsed::Wrong;
    }
    options.file = std::move(operands[0]);
    options.phrase = std::move(operands[1]);
    if (!options.formatGiven && (!options.png.empty() || !options.svg.empty()))
        options.format = Format::None;
    return Parsed::Run;
}

// Collects output in a buffer and hands it to a stream in large pieces.
class Output {
public:
    explicit Output(std::FILE *stream) : stream_(stream) { buffer_.reserve(chunk + chunk / 2); }

    std::string &buffer() { return buffer_; }
    void flushIfFull()
    {
        if (buffer_.size() >= chunk)
            flush();
    }
    // Writes what is left; false if any write failed.
    bool finish()
    {
        flush();
        return std::fflush(stream_) == 0 && ok_;
    }

private:
    static constexpr std::size_t chunk = 1 << 16;

    void flush()
    {
        if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), stream_) != buffer_.size())
            ok_ = false;
        buffer_.clear();
    }

    std::FILE *stream_;
    std::string buffer_;
    bool ok_ = true;
};

void appendWeight(std::string &out, float weight)
{
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%.9g", static_cast<double>(weight));
    out.append(text, static_cast<std::size_t>(length));
}

void writeOutline(const PhraseNode &root, Output &output)
{
    std::vector<std::pair<const PhraseNode *, std::size_t>> pending{{&root, 0}};
    while (!pending.empty()) {
        const auto [node, depth] = pending.back();
        pending.pop_back();
        std::string &out = output.buffer();
        out.append(2 * depth, ' ');
        appendWeight(out, node->weight());
        out += '\t';
        node->appendLabel(out);
        out += '\n';
        output.flushIfFull();
        const auto &children = node->children();
        for (auto child = children.rbegin(); child != children.rend(); ++child)
            pending.emplace_back(child->get(), depth + 1);
    }
}

// Appends `bytes` as a JSON string, each byte the Latin-1 character of its
// value (bytes from 0x80 become two UTF-8 bytes); control characters escaped.
void appendJsonString(std::string &out, std::string_view bytes)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += c;
        } else if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte < 0x20 || (byte >= 0x7F && byte < 0xA0)) {
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        } else if (byte >= 0x80) {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        } else {
            out += c;
        }
    }
    out += '"';
}

// Each node starts a line; a node's children follow its opening line and are
// closed by "]}" on a line of its own.
void writeJson(const PhraseNode &root, Output &output)
{
    struct Frame {
        const PhraseNode *node;
        std::size_t next;  // index of the next child to write
    };
    std::string label;
    std::vector<Frame> open;
    const PhraseNode *node = &root;
    for (;;) {
        std::string &out = output.buffer();
        if (node) {
            label.clear();
            node->appendLabel(label);
            out += "{\"label\": ";
            appendJsonString(out, label);
            out += ", \"weight\": ";
            appendWeight(out, node->weight());
            out += ", \"children\": [";
            if (node->children().empty())
                out += "]}";
            else
                open.push_back({node, 0});
            node = nullptr;
        } else if (open.empty()) {
            out += '\n';
            break;
        } else {
            Frame &frame = open.back();
            if (frame.next < frame.node->children().size()) {
                out += frame.next == 0 ? "\n" : ",\n";
                node = frame.node->children()[frame.next++].get();
            } else {
                out += "\n]}";
                open.pop_back();
            }
        }
        output.flushIfFull();
    }
}

// Draws the tree for the canvas and writes what was asked for: the layout
// listing into `output`, the pictures into their files. False, with a
// message on standard error, if a picture cannot be written.
bool draw(const PhraseNode &root, const Options &options, Output &output)
{
    // The drawing needs the toolkit, but no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Without a session (a plain SSH login, CI) Qt warns that it has no
    // runtime directory; the command needs none, so spare the user the noise.
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            if (!message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
                previous(type, context, message);
        });
    int argc = 1;
    char name[] = "morvanet-tree";
    char *argv[] = {name, nullptr};
    QApplication application(argc, argv);
    const TreePicture picture(root, QSize(options.width, options.height));
    if (options.format == Format::Layout)
        output.buffer() += picture.listing();
    if (!options.png.empty() && !picture.image().save(QFile::decodeName(options.png.c_str()), "PNG")) {
        std::fprintf(stderr, "morvanet-tree: cannot write the picture %s\n", printable(options.png).c_str());
        return false;
    }
    if (!options.svg.empty() && !picture.writeSvg(QFile::decodeName(options.svg.c_str()))) {
        std::fprintf(stderr, "morvanet-tree: cannot write the picture %s\n", printable(options.svg).c_str());
        return false;
    }
    return true;
}

int run(const Options &options)
{
    QString reason;
    const QByteArray name(options.file.data(), static_cast<qsizetype>(options.file.size()));
    const std::optional<std::string> bytes = loadTextFile(name, &reason);
    if (!bytes) {
        std::fprintf(stderr, "morvanet-tree: %s: %s\n", printable(options.file).c_str(),
                     reason.toLocal8Bit().constData());
        return exitTrouble;
    }
    const Corpus corpus(bytes->data(), static_cast<std::uint32_t>(bytes->size()));
    std::unique_ptr<PhraseNode> root = buildPhraseTree(corpus, options.phrase);
    if (!root) {
        std::vector<std::string> tokens;
        Corpus::tokenize(options.phrase.data(), static_cast<std::uint32_t>(options.phrase.size()), tokens);
        if (tokens.empty())
            std::fprintf(stderr, "morvanet-tree: the phrase has no words or marks to search for\n");
        else
            std::fprintf(stderr, "morvanet-tree: the phrase does not occur in %s\n", printable(options.file).c_str());
        return exitNoTree;
    }

    Output output(stdout);
    if ((options.format == Format::Layout || !options.png.empty() || !options.svg.empty())
        && !draw(*root, options, output))
        return exitTrouble;
    switch (options.format) {
    case Format::Outline:
        writeOutline(*root, output);
        break;
    case Format::Json:
        writeJson(*root, output);
        break;
    case Format::Layout:
    case Format::None:
        break;
    }
    if (!output.finish()) {
        std::fprintf(stderr, "morvanet-tree: cannot write the output: %s\n", std::strerror(errno));
        return exitTrouble;
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    Options options;
    std::string error;
    switch (parseArguments(argc, argv, options, error)) {
    case Parsed::Help:
        std::fputs(usageLine, stdout);
        std::fputs(helpText, stdout);
        return std::fflush(stdout) == 0 ? 0 : exitTrouble;
    case Parsed::Wrong:
        std::fprintf(stderr, "morvanet-tree: %s\n%sTry 'morvanet-tree --help' for more.\n", error.c_str(), usageLine);
        return exitTrouble;
    case Parsed::Run:
        break;
    }
    return run(options);
}
