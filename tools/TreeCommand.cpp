#include "TreeCommand.h"

#include "CorpusIndex.h"
#include "IndexFile.h"
#include "IndexWriter.h"
#include "JsonWriter.h"
#include "KwicWriter.h"
#include "OpenedCorpus.h"
#include "QueryAnswer.h"
#include "TerminalProgress.h"
#include "CorpusFiles.h"
#include "TreePicture.h"
#include "TreeWriter.h"
#include "VerticalReader.h"

#include <QApplication>
#include <QFile>

#include <getopt.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#ifndef MORVANET_VERSION
#define MORVANET_VERSION "unknown"
#endif

namespace {

constexpr int exitNoTree = 1;   // the phrase has no tokens or does not occur
constexpr int exitTrouble = 2;  // wrong invocation, unreadable file, failed output

const char usageLine[] =
    "Usage: morvanet-tree [OPTION]... FILE PHRASE\n"
    "  or:  morvanet-tree --save-index INDEX [OPTION]... FILE\n"
    "  or:  morvanet-tree --check-index INDEX\n"
    "  or:  morvanet-tree --layers [OPTION]... FILE\n"
    "  or:  morvanet-tree --text|--documents [OPTION]... FILE\n";
const char helpText[] =
    "Prints the word tree of PHRASE in the text FILE: the phrase, then the words\n"
    "that follow it, branching where the text goes on differently. FILE is read\n"
    "as the viewer reads it (carriage returns dropped, at most its first\n"
    "1,000,000 bytes). FILE may be a folder: its files whose names end in\n"
    "\".txt\" or another ending below, found recursively (names starting with\n"
    "\".\" and symbolic links left out), in the byte order of their paths, are\n"
    "read whole, each cut into tokens on its own; nothing runs across from one\n"
    "file into the next.\n"
    "\n"
    "Documents: \".html\", \".htm\", \".xhtml\" (the visible text, the title),\n"
    "\".xml\" (a TEI edition's text, its header's title, author and date; other\n"
    "XML's character data), \".docx\", \".odt\", \".epub\", \".pdf\" (their text and\n"
    "properties) and \".md\" (as text) are read as text, a line per\n"
    "paragraph, heading, item or cell; a name ending in \".gz\" is read as what\n"
    "it holds, inflated. A folder passes over a file it cannot read, with a\n"
    "warning.\n"
    "  --text    print the text each document of FILE yields, after a line\n"
    "            \"==> PATH <==\"\n"
    "  --documents  print a row per document, TAB-separated: path, format,\n"
    "            tokens, and each field the documents have (title, author,\n"
    "            date, year), after a row naming them\n"    "  --where 'FIELD OP VALUE'  keep only the documents whose field meets\n"
    "            the condition (repeatable: all must hold); OP is = or != (text;\n"
    "            * stands for any run), <, <=, >, >= (numbers, as a year; else\n"
    "            text). Fields: path, format, title, author, date, year, and\n"
    "            the columns of a metadata.csv or metadata.tsv in the folder,\n"
    "            whose \"path\" column names its files\n"
    "\n"
    "Annotated corpora: a file (or a folder's file) whose name ends in \".conllu\"\n"
    "is read as CoNLL-U (layers word, lemma, pos, xpos, feats, deprel; a blank\n"
    "line ends a sentence, \"# newdoc\" starts a document), one ending in \".vrt\"\n"
    "or \".vert\" as a vertical file (a token per line, TAB-separated columns;\n"
    "</s> ends a sentence, <text> and <doc> start a document). Their tokens are\n"
    "the files' own, UTF-8; a continuation met once stops after the last word\n"
    "of its sentence. An annotated FILE is read whole.\n"
    "  --show LAYER  label, group and search by this layer (default word):\n"
    "            the tree of lemmas, or of part-of-speech tags\n"
    "  --columns NAMES  the columns of vertical files, comma-separated\n"
    "            (default word,pos,lemma)\n"
    "  --layers  print each layer of FILE with its number of distinct values\n"
    "\n"
    "PHRASE is split at blanks on an annotated corpus. A PHRASE that starts with\n"
    "\"[\" or a double quote is a pattern (a subset of CQL), on any corpus:\n"
    "  [lemma=\"go\"] [pos=\"ADP\"]   [word=\"the\"%c] []   \"of\" [pos!=\"DET\"]\n"
    "            each [...] is one token: LAYER=\"REGEX\" (or !=), joined with &\n"
    "            and |, grouped with (), negated with !; \"REGEX\" alone matches\n"
    "            the word layer; a regular expression matches the whole value;\n"
    "            %c ignores case. With --json the root has \"forms\": the\n"
    "            distinct sequences it matched, with their counts\n"
    "\n"
    "Output, one node per line in pre-order: two spaces per depth, the weight\n"
    "(printf %.9g), a TAB, the label bytes.\n"
    "\n"
    "Output options:\n"
    "  --json    print the tree as nested {\"label\", \"weight\", \"children\"}\n"
    "            objects, label bytes as Latin-1 characters (UTF-8 with --unicode\n"
    "            or --segment)\n"
    "  --layout  print the labels as the canvas draws them, one per line in\n"
    "            drawing order: pixel size, x, y, a TAB, the label; a label cut\n"
    "            at the canvas edge is listed as far as it is drawn (a mirrored one,\n"
    "            cut at the left edge, by its end and the x where that part starts).\n"
    "            With --json, one JSON object: {\"canvas\": {\"width\", \"height\"},\n"
    "            \"labels\": [...]}, each label with \"text\" (as drawn), \"count\",\n"
    "            \"level\", \"side\" (\"root\", \"after\", \"before\"), \"size\" and its\n"
    "            box \"x\", \"y\", \"width\", \"height\"; a left-out entry has \"more\"\n"
    "  --scale corpus|phrase  how --layout, --png and --svg size and place the\n"
    "            labels: corpus (the default) as the viewer draws them, by their\n"
    "            share of the whole text; phrase by their count relative to the\n"
    "            phrase's, the main branches given room, long labels cut after a\n"
    "            word with \"...\", labels as the text writes them, and where\n"
    "            continuations do not fit, an entry saying how many are left out\n"
    "  --png FILE, --svg FILE\n"
    "            write the picture the canvas shows (white background) to FILE;\n"
    "            the tree is then printed only if --json or --layout is given\n"
    "  --size WxH  the canvas for --layout, --png and --svg (default 1051x711,\n"
    "            the viewer's canvas); no display is needed\n"
    "  --counts  print each node's occurrence count, then a TAB, before its\n"
    "            weight (with --json, a \"count\" member)\n"
    "\n"
    "Tree options:\n"
    "  --reverse  the tree of what comes before PHRASE: occurrences taken from\n"
    "            right to left, labels in reading order; drawn mirrored, the\n"
    "            phrase at the right edge\n"
    "  --both    the double tree: the --reverse tree, then (after an empty line)\n"
    "            the forward one; as JSON {\"before\": ..., \"after\": ...};\n"
    "            drawn with the phrase once in the middle\n"
    "  --sentences  stop every branch after a sentence end (\".\", \"!\", \"?\"; with\n"
    "            --unicode or --segment also U+3002, U+FF0E, U+FF61, U+FF01,\n"
    "            U+FF1F, U+0964, U+06D4), so that a text written twice no longer\n"
    "            runs on through a whole copy; with --reverse a branch stops at\n"
    "            the sentence end before it. Without it only a continuation met\n"
    "            once stops, after a full stop\n"
    "  --ignore-case  match and group tokens regardless of case; a label is\n"
    "            spelled as the first occurrence met, the root as typed\n"
    "  --unicode  read FILE and PHRASE as UTF-8: words are runs of letters, marks\n"
    "            and numbers, every other punctuation or symbol character is a\n"
    "            token of its own; a continuation stops after the full stops\n"
    "            of other scripts (U+3002, U+FF0E, U+FF61, U+0964, U+06D4) as\n"
    "            after \".\"\n"
    "  --segment  as --unicode, but words are ICU's word segments: dictionaries\n"
    "            cut Chinese, Japanese, Thai, Lao, Khmer and Burmese into words,\n"
    "            Unicode's word rules (UAX #29) every other script (\"don't\" and\n"
    "            \"3.14\" are one word); what is not a word is cut as --unicode\n"
    "            cuts it. PHRASE is cut by the same rules on its own; when it\n"
    "            does not occur, the message shows the words it was cut into\n"
    "\n"
    "Input and pruning options:\n"
    "  --max-bytes N  read at most N bytes in all (after carriage returns are\n"
    "            dropped; default 1,000,000 for a file, no limit for a folder);\n"
    "            0 lifts the limit\n"
    "  --depth D  leave out nodes more than D levels below the root\n"
    "  --min-count M  leave out nodes that stand for fewer than M occurrences\n"
    "            (both with their subtrees, in every format; weights and order\n"
    "            stay as they are)\n"
    "  --kwic N  instead of the tree, print the concordance: one line per\n"
    "            occurrence, in text order: PATH:LINE, a TAB, up to N tokens\n"
    "            before the phrase, a TAB, the phrase as it stands in the text,\n"
    "            a TAB, up to N tokens after it\n"
    "\n"
    "Saved indexes:\n"
    "  --save-index INDEX  read and index FILE (both directions) and save the\n"
    "            index as the file INDEX, printing nothing; INDEX is replaced\n"
    "            whole or not at all. --unicode, --segment, --ignore-case and\n"
    "            --max-bytes apply as when asking; progress is shown on a\n"
    "            terminal\n"
    "  --check-index INDEX  read every byte of INDEX, check its checksums and\n"
    "            arrays, and print \"ok\" (exit 0) or the first fault (exit 2)\n"
    "            A saved index goes wherever a FILE goes and answers as the text\n"
    "            it was saved from, without it, with the word and case options it\n"
    "            was saved with; a warning tells when those files have changed\n"
    "\n"
    "  --help    print this help and exit\n"
    "  --version print the version and exit\n"
    "  --        end of options (for a PHRASE that starts with '-')\n"
    "\n"
    "Exit status: 0 tree printed; 1 PHRASE has no tokens or does not occur;\n"
    "2 wrong invocation, FILE cannot be read or is too large, or output cannot\n"
    "be written.\n";

enum class Format { Outline, Json, Layout, LayoutJson, None };

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

// The command line: which corpus, which question, and what to print.
struct Options {
    Format format = Format::Outline;
    bool formatGiven = false;
    bool json = false;
    bool layout = false;
    LabelScale scale = LabelScale::Corpus;
    std::string png;
    std::string svg;
    int width = 1051;
    int height = 711;
    bool reverse = false;
    bool both = false;
    std::optional<std::uint32_t> kwic;
    std::string saveIndex;
    std::string checkIndex;
    bool layers = false;
    bool text = false;       // --text: what each document yields
    bool documents = false;  // --documents: a row per document
    CorpusRequest corpus;
    Query query;
    TreeFormat tree;
};

enum class Parsed { Run, Help, Version, Wrong };

// Reads a whole decimal number from 0 to `most`.
template <typename Number>
bool parseNumber(std::string_view digits, Number most, Number &out)
{
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), out);
    return error == std::errc() && end == digits.data() + digits.size() && !digits.empty() && out <= most;
}

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

// Fills `options` from the command line, or explains in `error` what is
// wrong. getopt_long: options may stand anywhere before "--", and a long
// option may be shortened to any unambiguous prefix.
Parsed parseArguments(int argc, char **argv, Options &options, std::string &error)
{
    enum : int {
        Json = 256, Layout, Png, Svg, Size, Counts, Reverse, Both, Sentences, IgnoreCase, Unicode, Segment, MaxBytes,
        Depth, MinCount, Kwic, SaveIndex, CheckIndex, Scale, Show, Columns, Layers, Text, Documents, Where,
        Help, Version
    };
    static const option longOptions[] = {
        {"json", no_argument, nullptr, Json},
        {"layout", no_argument, nullptr, Layout},
        {"png", required_argument, nullptr, Png},
        {"svg", required_argument, nullptr, Svg},
        {"size", required_argument, nullptr, Size},
        {"counts", no_argument, nullptr, Counts},
        {"reverse", no_argument, nullptr, Reverse},
        {"both", no_argument, nullptr, Both},
        {"sentences", no_argument, nullptr, Sentences},
        {"ignore-case", no_argument, nullptr, IgnoreCase},
        {"unicode", no_argument, nullptr, Unicode},
        {"segment", no_argument, nullptr, Segment},
        {"max-bytes", required_argument, nullptr, MaxBytes},
        {"depth", required_argument, nullptr, Depth},
        {"min-count", required_argument, nullptr, MinCount},
        {"kwic", required_argument, nullptr, Kwic},
        {"save-index", required_argument, nullptr, SaveIndex},
        {"check-index", required_argument, nullptr, CheckIndex},
        {"scale", required_argument, nullptr, Scale},
        {"show", required_argument, nullptr, Show},
        {"columns", required_argument, nullptr, Columns},
        {"layers", no_argument, nullptr, Layers},
        {"text", no_argument, nullptr, Text},
        {"documents", no_argument, nullptr, Documents},
        {"where", required_argument, nullptr, Where},
        {"help", no_argument, nullptr, Help},
        {"version", no_argument, nullptr, Version},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;  // the messages are our own
    optind = 1;
    // "-" first in the option string: operands are kept in place and
    // returned as 1, so the order of FILE and PHRASE is the one given.
    std::vector<std::string> operands;
    for (;;) {
        const int previous = optind;
        const int code = getopt_long(argc, argv, "-:h", longOptions, nullptr);
        if (code == -1)
            break;
        switch (code) {
        case 1:
            operands.emplace_back(optarg);
            break;
        case 'h':
        case Help:
            return Parsed::Help;
        case Version:
            return Parsed::Version;
        case Json:
        case Layout:
            (code == Json ? options.json : options.layout) = true;
            options.formatGiven = true;
            break;
        case Scale:
            if (std::string_view(optarg) == "corpus") {
                options.scale = LabelScale::Corpus;
            } else if (std::string_view(optarg) == "phrase") {
                options.scale = LabelScale::Phrase;
            } else {
                error = "the scale '" + std::string(optarg) + "' is neither 'corpus' nor 'phrase'";
                return Parsed::Wrong;
            }
            break;
        case Show:
            if (*optarg == '\0') {
                error = "--show needs a layer's name";
                return Parsed::Wrong;
            }
            options.corpus.options.show = optarg;
            break;
        case Columns: {
            std::optional<std::vector<std::string>> columns = parseVerticalColumns(optarg, &error);
            if (!columns)
                return Parsed::Wrong;
            options.corpus.columns = std::move(*columns);
            break;
        }
        case Layers:
            options.layers = true;
            break;
        case Text:
            options.text = true;
            break;
        case Documents:
            options.documents = true;
            break;
        case Where:
            options.corpus.where.emplace_back(optarg);
            break;
        case Png:
            options.png = optarg;
            break;
        case Svg:
            options.svg = optarg;
            break;
        case Size:
            if (!parseSize(optarg, options.width, options.height)) {
                error = "the size '" + std::string(optarg) + "' is not WxH with both from 1 to 32767";
                return Parsed::Wrong;
            }
            break;
        case Counts:
            options.tree.counts = true;
            break;
        case Reverse:
            options.reverse = true;
            break;
        case Both:
            options.both = true;
            break;
        case Sentences:
            options.query.sentences = true;
            break;
        case IgnoreCase:
            options.corpus.options.foldCase = true;
            break;
        case SaveIndex:
            options.saveIndex = optarg;
            break;
        case CheckIndex:
            options.checkIndex = optarg;
            break;
        case Unicode:
            // --segment reads UTF-8 too, whichever comes first.
            if (options.corpus.options.words != WordRules::Segmented)
                options.corpus.options.words = WordRules::Unicode;
            break;
        case Segment:
            options.corpus.options.words = WordRules::Segmented;
            break;
        case MaxBytes:
        case Depth:
        case MinCount:
        case Kwic: {
            std::uint64_t number = 0;
            const std::uint64_t most = code == MaxBytes ? UINT64_MAX : UINT32_MAX;
            if (!parseNumber(optarg, most, number)) {
                error = "the value '" + std::string(optarg) + "' of '" + std::string(argv[previous])
                        + "' is not a whole number from 0 to " + std::to_string(most);
                return Parsed::Wrong;
            }
            if (code == MaxBytes)
                options.corpus.maxBytes = number;
            else if (code == Depth)
                options.tree.pruning.maxDepth = static_cast<std::uint32_t>(number);
            else if (code == MinCount)
                options.tree.pruning.minCount = static_cast<std::uint32_t>(number);
            else
                options.kwic = static_cast<std::uint32_t>(number);
            break;
        }
        case ':':
            error = "option '" + std::string(argv[previous]) + "' needs a value";
            return Parsed::Wrong;
        default:
            error = "unknown option '" + std::string(argv[previous]) + "'";
            return Parsed::Wrong;
        }
    }
    for (int i = optind; i < argc; ++i)
        operands.emplace_back(argv[i]);
    if (options.formatGiven)
        options.format = options.layout && options.json ? Format::LayoutJson
                         : options.layout               ? Format::Layout
                                                        : Format::Json;
    if (options.reverse && options.both) {
        error = "--reverse and --both cannot go together (--both includes the reverse tree)";
        return Parsed::Wrong;
    }
    if (!options.saveIndex.empty() && !options.checkIndex.empty()) {
        error = "--save-index and --check-index cannot go together";
        return Parsed::Wrong;
    }
    const int listings = int{options.layers} + int{options.text} + int{options.documents};
    if (listings > 1 || (listings == 1 && (!options.saveIndex.empty() || !options.checkIndex.empty()))) {
        error = "--layers, --text, --documents, --save-index and --check-index go one at a time";
        return Parsed::Wrong;
    }
    // Saving and the listings need only FILE, checking nothing more.
    const std::size_t wanted = !options.checkIndex.empty()                       ? 0
                               : !options.saveIndex.empty() || listings == 1 ? 1
                                                                              : 2;
    if (operands.size() != wanted) {
        error = operands.size() > wanted ? "too many arguments"
                : wanted == 1            ? "FILE is needed"
                                         : "FILE and PHRASE are needed";
        return Parsed::Wrong;
    }
    if (!options.saveIndex.empty()) {
        options.corpus.path = std::move(operands[0]);
        options.corpus.backward = true;
        return Parsed::Run;
    }
    if (!options.checkIndex.empty())
        return Parsed::Run;
    if (listings == 1) {
        options.corpus.path = std::move(operands[0]);
        return Parsed::Run;
    }
    options.corpus.path = std::move(operands[0]);
    options.query.phrase = std::move(operands[1]);
    options.query.direction = options.both      ? QueryDirection::Both
                              : options.reverse ? QueryDirection::Before
                                                : QueryDirection::After;
    options.query.pruning = options.tree.pruning;
    // A concordance reads only the forward index.
    options.corpus.backward = options.query.backwardWanted() && !options.kwic;
    options.tree.encoding = labelEncoding(options.corpus.options);
    if (!options.formatGiven && (!options.png.empty() || !options.svg.empty()))
        options.format = Format::None;
    return Parsed::Run;
}

// Draws the trees for the canvas and writes what was asked for: the layout
// listing into `output`, the pictures into their files. False, with a
// message on standard error, if a picture cannot be written.
bool draw(const TreeSides &sides, const Options &options, OutputBuffer &output)
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
    std::optional<QApplication> application;
    if (QApplication::instance() == nullptr)
        application.emplace(argc, argv);
    const LabelEncoding encoding = options.tree.encoding;
    const TreePicture picture(
        drawingRequest(sides, QSize(options.width, options.height), encoding, options.tree.pruning, options.scale));
    if (options.format == Format::Layout)
        output.buffer() += picture.listing();
    else if (options.format == Format::LayoutJson)
        output.buffer() += picture.listingJson(encoding);
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

// Prints the tree or trees in the chosen text format.
void print(const TreeSides &sides, const Options &options, OutputBuffer &output)
{
    if (options.format == Format::Outline || options.format == Format::Json)
        writeTrees(sides.backward, sides.forward, options.tree, options.format == Format::Json, output);
}

void complain(const Options &options, const std::string &reason)
{
    std::fprintf(stderr, "morvanet-tree: %s: %s\n", printable(options.corpus.path).c_str(), reason.c_str());
}

// --check-index: "ok" on standard output, or the first fault.
int checkIndex(const Options &options, OutputBuffer &output)
{
    const std::string fault = CorpusIndex::check(options.checkIndex);
    if (!fault.empty()) {
        std::fprintf(stderr, "morvanet-tree: %s: %s\n", printable(options.checkIndex).c_str(), fault.c_str());
        return exitTrouble;
    }
    output.buffer() += "ok\n";
    return output.finish() ? 0 : exitTrouble;
}

// Why writing the index at INDEX would destroy text it is made of, or
// nothing: INDEX is FILE, or one of a folder's files (whatever path or link
// leads there), or would be read as a text of the folder FILE next time.
// Without `opened`, what can be told before reading; with it, also each
// file that was read.
std::string harmsItsText(const Options &options, const OpenedCorpus *opened)
{
    struct stat index {};
    const bool exists = ::stat(options.saveIndex.c_str(), &index) == 0;
    const auto isIndex = [&](const std::string &path) {
        struct stat text {};
        return exists && ::stat(path.c_str(), &text) == 0 && text.st_dev == index.st_dev && text.st_ino == index.st_ino;
    };
    const std::string name = printable(options.corpus.path);
    if (opened == nullptr) {
        if (isIndex(options.corpus.path))
            return "is the text " + name + " itself; the index needs a file of its own";
        if (folderWouldRead(options.corpus.path, options.saveIndex))
            return "lies in the folder " + name + " with a name that is read as a text; save the index elsewhere or "
                   "under a name that does not end in .txt";
        return {};
    }
    for (std::size_t d = 0; d < opened->documentCount(); ++d) {
        if (isIndex(opened->path(d)))
            return "is the text " + printable(opened->path(d)) + " itself; the index needs a file of its own";
    }
    return {};
}

// --save-index: reads and indexes FILE, then writes the index; nothing on standard output.
int saveIndex(const Options &options)
{
    if (IndexFile::looksLikeIndex(options.corpus.path)) {
        complain(options, "this is a saved index already");
        return exitTrouble;
    }
    const auto refused = [&](const std::string &harm) {
        std::fprintf(stderr, "morvanet-tree: %s: %s\n", printable(options.saveIndex).c_str(), harm.c_str());
        return exitTrouble;
    };
    if (const std::string harm = harmsItsText(options, nullptr); !harm.empty())
        return refused(harm);
    // An interrupt leaves no temporary file behind, and a file size limit
    // is a failed write rather than the end of the process.
    IndexWriter::removeTemporaryOnSignals();
    TerminalProgress terminal(stderr, "morvanet-tree");
    OpenedCorpus::Outcome outcome = OpenedCorpus::open(options.corpus, terminal.progress());
    if (!outcome.opened) {
        terminal.finish();
        complain(options, outcome.reason);
        return exitTrouble;
    }
    if (const std::string harm = harmsItsText(options, outcome.opened.get()); !harm.empty()) {
        terminal.finish();
        return refused(harm);
    }
    if (outcome.opened->cut()) {
        terminal.finish();
        std::fprintf(stderr, "morvanet-tree: %s: %s; --max-bytes 0 reads it all\n",
                     printable(options.corpus.path).c_str(), outcome.opened->cutNote().c_str());
    }
    std::string reason;
    if (!outcome.opened->save(options.saveIndex, terminal.progress(), reason)) {
        terminal.finish();
        std::fprintf(stderr, "morvanet-tree: %s: %s\n", printable(options.saveIndex).c_str(), reason.c_str());
        return exitTrouble;
    }
    return 0;
}

// --layers: each layer of the corpus with its number of distinct values.
int printLayers(const Corpus &corpus, OutputBuffer &output)
{
    for (std::size_t layer = 0; layer < corpus.layerCount(); ++layer) {
        output.buffer() += corpus.layerName(layer);
        output.buffer() += '\t';
        output.buffer() += std::to_string(corpus.layerValueCount(layer));
        output.buffer() += '\n';
    }
    return output.finish() ? 0 : exitTrouble;
}

// --text: each document's text as the readers made it, after a line naming it.
int printTexts(const Options &options, OutputBuffer &output)
{
    std::string reason;
    std::optional<LoadedTexts> texts;
    {
        TerminalProgress terminal(stderr, "morvanet-tree");
        texts = options.corpus.maxBytes ? loadTexts(options.corpus.path, *options.corpus.maxBytes, &reason,
                                                    terminal.progress())
                                        : loadTexts(options.corpus.path, &reason, terminal.progress());
    }
    if (!texts) {
        complain(options, reason);
        return exitTrouble;
    }
    for (const std::string &warning : texts->warnings)
        std::fprintf(stderr, "morvanet-tree: %s: warning: %s\n", printable(options.corpus.path).c_str(),
                     printable(warning).c_str());
    for (const TextDocument &document : texts->documents) {
        output.buffer() += "==> " + document.path + " <==\n";
        output.buffer() += document.bytes;
        if (!document.bytes.empty() && document.bytes.back() != '\n')
            output.buffer() += '\n';
        output.flushIfFull();
        if (output.failed())
            return exitTrouble;
    }
    return output.finish() ? 0 : exitTrouble;
}

// --documents: a header, then a row per document: its path, format, tokens
// and every field any document has, in the order first met.
int printDocuments(const OpenedCorpus &opened, OutputBuffer &output)
{
    const Corpus &corpus = opened.corpus();
    std::vector<std::string> names;
    for (std::size_t d = 0; d < opened.documentCount(); ++d) {
        for (const auto &field : opened.fields(d)) {
            if (std::find(names.begin(), names.end(), field.first) == names.end())
                names.push_back(field.first);
        }
    }
    // A TAB or line feed in a value would break the table.
    const auto cell = [&](std::string_view value) {
        for (const char c : value)
            output.buffer() += c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
    };
    output.buffer() += "path\tformat\ttokens";
    for (const std::string &name : names)
        (output.buffer() += '\t') += name;
    output.buffer() += '\n';
    const std::span<const Corpus::Position> boundaries = corpus.boundaries();
    // A saved index asked with --where lists the documents it chose.
    std::vector<std::uint32_t> listed;
    if (opened.within()) {
        listed.assign(opened.within()->documents().begin(), opened.within()->documents().end());
    } else {
        for (std::size_t d = 0; d < opened.documentCount(); ++d)
            listed.push_back(static_cast<std::uint32_t>(d));
    }
    for (const std::uint32_t d : listed) {
        const Corpus::Position start = corpus.documentStart(d);
        const Corpus::Position end = d < boundaries.size() ? boundaries[d] : corpus.end();
        cell(opened.shownPath(d));
        output.buffer() += '\t';
        cell(opened.format(d));
        output.buffer() += '\t' + std::to_string(end - start);
        for (const std::string &name : names) {
            output.buffer() += '\t';
            for (const auto &field : opened.fields(d)) {
                if (field.first == name) {
                    cell(field.second);
                    break;
                }
            }
        }
        output.buffer() += '\n';
        output.flushIfFull();
        if (output.failed())
            return exitTrouble;
    }
    return output.finish() ? 0 : exitTrouble;
}

int run(const Options &asked, OutputBuffer &output)
{
    if (!asked.checkIndex.empty())
        return checkIndex(asked, output);
    if (!asked.saveIndex.empty())
        return saveIndex(asked);
    if (asked.text)
        return printTexts(asked, output);
    OpenedCorpus::Outcome outcome;
    {
        TerminalProgress terminal(stderr, "morvanet-tree");
        outcome = OpenedCorpus::open(asked.corpus, terminal.progress());
    }
    if (!outcome.opened) {
        complain(asked, outcome.reason);
        return exitTrouble;
    }
    for (std::size_t from = 0; from < outcome.warning.size();) {
        const std::size_t end = std::min(outcome.warning.find('\n', from), outcome.warning.size());
        std::fprintf(stderr, "morvanet-tree: %s: warning: %s\n", printable(asked.corpus.path).c_str(),
                     printable(outcome.warning.substr(from, end - from)).c_str());
        from = end + 1;
    }
    const OpenedCorpus &opened = *outcome.opened;
    if (opened.cut()) {
        std::fprintf(stderr, "morvanet-tree: %s: %s; --max-bytes 0 reads it all\n",
                     printable(asked.corpus.path).c_str(), opened.cutNote().c_str());
    }
    const Corpus &corpus = opened.corpus();
    if (asked.layers)
        return printLayers(corpus, output);
    if (asked.documents)
        return printDocuments(opened, output);
    // Labels are UTF-8 wherever the corpus is (an annotated one always).
    Options options = asked;
    options.tree.encoding = labelEncoding(corpus.options());
    options.query.within = opened.within();

    const auto noTree = [&](QueryAnswer::Status status) {
        std::string reason = noAnswerReason(status, printable(options.corpus.path));
        if (status == QueryAnswer::Status::NotFound && corpus.options().words == WordRules::Segmented) {
            // Dictionaries cut by context: the phrase on its own may have
            // been cut otherwise than the text. Showing its words lets the
            // user type the boundaries.
            std::vector<std::string> tokens;
            corpus.cutPhrase(options.query.phrase, tokens);
            reason += " (the phrase was cut into:";
            for (const std::string &token : tokens) {
                // Appended in two steps: GCC 12 at -O3 takes " " + a
                // temporary for an overlapping copy (-Wrestrict).
                reason += ' ';
                reason += printable(token);
            }
            reason += ")";
        }
        std::fprintf(stderr, "morvanet-tree: %s\n", reason.c_str());
        return exitNoTree;
    };
    const auto finish = [&output] {
        if (output.finish())
            return 0;
        std::fprintf(stderr, "morvanet-tree: cannot write the output: %s\n", std::strerror(errno));
        return exitTrouble;
    };
    if (options.kwic) {
        const PhraseOccurrences found = queryOccurrences(corpus, options.query);
        if (found.status != PhraseSearchResult::Status::Found)
            return noTree(found.status == PhraseSearchResult::Status::NoTokens ? QueryAnswer::Status::NoTokens
                                                                               : QueryAnswer::Status::NotFound);
        std::vector<std::string> paths;
        for (std::size_t d = 0; d < opened.documentCount(); ++d)
            paths.push_back(printable(opened.path(d)));
        writeKwic(corpus, paths, found.starts, found.length, *options.kwic, output);
        return finish();
    }

    const QueryAnswer answer = answerQuery(corpus, options.query);
    if (answer.status == QueryAnswer::Status::Failed) {
        complain(options, answer.failure);
        return exitTrouble;
    }
    if (answer.status != QueryAnswer::Status::Found)
        return noTree(answer.status);
    const TreeSides sides{answer.forward.get(), answer.backward.get()};
    options.tree.forms = answer.forms;
    if ((options.format == Format::Layout || options.format == Format::LayoutJson || !options.png.empty()
         || !options.svg.empty())
        && !draw(sides, options, output))
        return exitTrouble;
    print(sides, options, output);
    return finish();
}

}  // namespace

int runTreeCommand(int argc, char **argv, OutputBuffer &output)
{
    Options options;
    std::string error;
    switch (parseArguments(argc, argv, options, error)) {
    case Parsed::Help:
        output.buffer() += usageLine;
        output.buffer() += helpText;
        return output.finish() ? 0 : exitTrouble;
    case Parsed::Version:
        output.buffer() += "morvanet-tree " MORVANET_VERSION "\n";
        return output.finish() ? 0 : exitTrouble;
    case Parsed::Wrong:
        std::fprintf(stderr, "morvanet-tree: %s\n%sTry 'morvanet-tree --help' for more.\n", error.c_str(), usageLine);
        return exitTrouble;
    case Parsed::Run:
        break;
    }
    try {
        return run(options, output);
    } catch (const std::runtime_error &failure) {
        // What the libraries cannot do for this input (cutting a phrase by
        // word rules whose data is missing, in the concordance's search):
        // one line, not an abort.
        complain(options, failure.what());
        return exitTrouble;
    }
}
