#include "ExplorerArguments.h"

#include <array>
#include <charconv>
#include <string_view>

const char explorerUsage[] = "Usage: morvanet-explorer [OPTION]... [PATH [PHRASE]]\n";
const char explorerHelp[] =
    "Explores the word trees of a text, a folder of texts or a saved index in a\n"
    "window: type a phrase, click a branch to follow it, step back and forward,\n"
    "read the lines it occurs in, export the picture, the tree or the lines.\n"
    "PATH is opened at start and PHRASE searched once it is loaded.\n"
    "\n"
    "Options (the starting state of the window's controls):\n"
    "  --reverse      the tree of what comes before the phrase\n"
    "  --both         the double tree: what comes before and after the phrase\n"
    "  --ignore-case  match and group tokens regardless of case\n"
    "  --unicode      read texts as UTF-8 and cut words by Unicode categories\n"
    "  --segment      as --unicode, but cut words by ICU's word rules, with\n"
    "                 dictionaries for Chinese, Japanese, Thai, Lao, Khmer, Burmese\n"
    "  --show LAYER   show, group and search an annotated corpus by this layer\n"
    "                 (lemma, pos, ...; default word)\n"
    "  --depth D      leave out nodes more than D levels below the root\n"
    "  --min-count M  leave out nodes that stand for fewer than M occurrences\n"
    "  --max-bytes N  read at most N bytes in all (default 0: everything)\n"
    "  --help         print this help and exit\n"
    "  --version      print the version and exit\n"
    "\n"
    "The toolkit's own options (-platform NAME, -geometry WxH+X+Y, ...) are\n"
    "understood too.\n";

namespace {

// The toolkit's options that take a value (QGuiApplication and QApplication).
constexpr std::array<std::string_view, 16> toolkitWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin",  "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "qwindowscreen", "geometry", "style", "stylesheet", "display", "title", "session", "name",
    "qmljsdebugger"};

enum class Code { Reverse, Both, IgnoreCase, Unicode, Segment, Show, Depth, MinCount, MaxBytes, Help, Version };

struct LongOption {
    std::string_view name;
    Code code;
    bool value;
};

constexpr std::array<LongOption, 11> longOptions = {{
    {"reverse", Code::Reverse, false},
    {"both", Code::Both, false},
    {"ignore-case", Code::IgnoreCase, false},
    {"unicode", Code::Unicode, false},
    {"segment", Code::Segment, false},
    {"show", Code::Show, true},
    {"depth", Code::Depth, true},
    {"min-count", Code::MinCount, true},
    {"max-bytes", Code::MaxBytes, true},
    {"help", Code::Help, false},
    {"version", Code::Version, false},
}};

template <typename Number>
bool parseNumber(std::string_view digits, Number most, Number &out)
{
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), out);
    return error == std::errc() && end == digits.data() + digits.size() && !digits.empty() && out <= most;
}

}  // namespace

ExplorerArguments parseExplorerArguments(int argc, const char *const *argv)
{
    ExplorerArguments parsed;
    parsed.toolkit.emplace_back(argc > 0 ? argv[0] : "morvanet-explorer");
    const auto wrong = [&parsed](std::string error) {
        parsed.outcome = ExplorerArguments::Outcome::Wrong;
        parsed.error = std::move(error);
        return parsed;
    };
    bool reverse = false;
    bool both = false;
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            operands.emplace_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "-h") {
            parsed.outcome = ExplorerArguments::Outcome::Help;
            return parsed;
        }
        if (argument[1] != '-') {
            // The toolkit's: handed on, with the value that follows if it takes one.
            parsed.toolkit.emplace_back(argument);
            const std::string_view name = argument.substr(1);
            for (std::string_view known : toolkitWithValue) {
                if (name != known)
                    continue;
                if (i + 1 >= argc)
                    return wrong("option '" + std::string(argument) + "' needs a value");
                parsed.toolkit.emplace_back(argv[++i]);
            }
            continue;
        }
        std::string_view name = argument.substr(2);
        std::string_view value;
        bool valueGiven = false;
        if (const std::size_t equals = name.find('='); equals != std::string_view::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            valueGiven = true;
        }
        // An exact name, or a prefix of only one name.
        const LongOption *found = nullptr;
        int matches = 0;
        for (const LongOption &option : longOptions) {
            if (option.name == name) {
                found = &option;
                matches = 1;
                break;
            }
            if (!name.empty() && option.name.substr(0, name.size()) == name) {
                found = &option;
                ++matches;
            }
        }
        if (matches != 1)
            return wrong((matches == 0 ? "unknown option '" : "ambiguous option '") + std::string(argument) + "'");
        if (found->value && !valueGiven) {
            if (i + 1 >= argc)
                return wrong("option '" + std::string(argument) + "' needs a value");
            value = argv[++i];
        } else if (!found->value && valueGiven) {
            return wrong("option '--" + std::string(found->name) + "' takes no value");
        }
        switch (found->code) {
        case Code::Help:
            parsed.outcome = ExplorerArguments::Outcome::Help;
            return parsed;
        case Code::Version:
            parsed.outcome = ExplorerArguments::Outcome::Version;
            return parsed;
        case Code::Reverse:
            reverse = true;
            break;
        case Code::Both:
            both = true;
            break;
        case Code::IgnoreCase:
            parsed.controls.corpus.foldCase = true;
            break;
        case Code::Unicode:
            // --segment reads UTF-8 too, whichever comes first.
            if (parsed.controls.corpus.words != WordRules::Segmented)
                parsed.controls.corpus.words = WordRules::Unicode;
            break;
        case Code::Segment:
            parsed.controls.corpus.words = WordRules::Segmented;
            break;
        case Code::Show:
            if (value.empty())
                return wrong("option '--show' needs a layer's name");
            parsed.controls.corpus.show = value == "word" ? std::string() : std::string(value);
            break;
        case Code::Depth:
        case Code::MinCount:
        case Code::MaxBytes: {
            std::uint64_t number = 0;
            const std::uint64_t most = found->code == Code::MaxBytes ? UINT64_MAX : UINT32_MAX;
            if (!parseNumber(value, most, number))
                return wrong("the value '" + std::string(value) + "' of '--" + std::string(found->name)
                             + "' is not a whole number from 0 to " + std::to_string(most));
            if (found->code == Code::Depth)
                parsed.controls.pruning.maxDepth = static_cast<std::uint32_t>(number);
            else if (found->code == Code::MinCount)
                parsed.controls.pruning.minCount = static_cast<std::uint32_t>(number);
            else
                parsed.controls.maxBytes = number;
            break;
        }
        }
        parsed.controlsGiven = true;
    }
    if (reverse && both)
        return wrong("--reverse and --both cannot go together (--both includes the reverse tree)");
    if (operands.size() > 2)
        return wrong("too many arguments");
    parsed.controls.direction = both ? QueryDirection::Both : reverse ? QueryDirection::Before : QueryDirection::After;
    if (!operands.empty())
        parsed.path = operands[0];
    if (operands.size() == 2) {
        parsed.phrase = operands[1];
        parsed.phraseGiven = true;
    }
    return parsed;
}
