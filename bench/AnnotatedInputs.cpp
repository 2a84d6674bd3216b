#include "AnnotatedInputs.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <iterator>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// Sentences are written in pieces of this size.
constexpr std::size_t flushBytes = std::size_t{1} << 20;
// A "# newdoc" (a <text> in the vertical file) opens every this many sentences.
constexpr std::uint64_t sentencesPerDocument = 2000;

struct Token {
    std::string word, lemma, upos, xpos;
    bool glued = false;  // no blank between it and the token after it
};

using Sentence = std::vector<Token>;

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isMark(char c)
{
    return c > ' ' && c < 0x7F && !isAsciiLetter(c) && !isAsciiDigit(c);
}

std::string lowered(std::string_view word)
{
    std::string out(word);
    for (char &c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

// Forms whose lemma no suffix rule finds.
const std::unordered_map<std::string_view, std::string_view> &irregularLemmas()
{
    static const std::unordered_map<std::string_view, std::string_view> lemmas{
        {"said", "say"},      {"saith", "say"},    {"says", "say"},     {"saying", "say"},   {"sayest", "say"},
        {"was", "be"},        {"were", "be"},      {"is", "be"},        {"are", "be"},       {"am", "be"},
        {"been", "be"},       {"art", "be"},       {"hath", "have"},    {"has", "have"},     {"had", "have"},
        {"hast", "have"},     {"did", "do"},       {"doth", "do"},      {"does", "do"},      {"done", "do"},
        {"went", "go"},       {"gone", "go"},      {"came", "come"},    {"made", "make"},    {"took", "take"},
        {"taken", "take"},    {"gave", "give"},    {"given", "give"},   {"begat", "beget"},  {"knew", "know"},
        {"saw", "see"},       {"seen", "see"},     {"bare", "bear"},    {"born", "bear"},    {"spake", "speak"},
        {"brought", "bring"}, {"sent", "send"},    {"called", "call"},  {"men", "man"},      {"children", "child"},
        {"brethren", "brother"}, {"daughters", "daughter"}, {"shalt", "shall"}, {"wilt", "will"}};
    return lemmas;
}

// Closed classes: UPOS, XPOS.
const std::unordered_map<std::string_view, std::pair<std::string_view, std::string_view>> &closedWords()
{
    static const std::unordered_map<std::string_view, std::pair<std::string_view, std::string_view>> words = [] {
        std::unordered_map<std::string_view, std::pair<std::string_view, std::string_view>> out;
        const auto add = [&](std::initializer_list<std::string_view> list, std::string_view upos,
                             std::string_view xpos) {
            for (const std::string_view word : list)
                out.emplace(word, std::pair{upos, xpos});
        };
        add({"the", "a", "an", "this", "that", "these", "those", "every", "all", "no", "any", "each", "some"}, "DET",
            "DT");
        add({"of", "in", "to", "unto", "upon", "from", "with", "by", "for", "into", "on", "at", "over", "under",
             "before", "after", "out", "about", "against", "among", "between", "through", "without", "within",
             "toward", "towards", "above", "below", "beside", "until", "till"},
            "ADP", "IN");
        add({"i", "me", "my", "mine", "thou", "thee", "thy", "thine", "he", "him", "his", "she", "her", "it", "its",
             "we", "us", "our", "ye", "you", "your", "they", "them", "their", "who", "whom", "whose", "which", "what",
             "himself", "herself", "itself", "themselves", "myself", "thyself", "ourselves"},
            "PRON", "PRP");
        add({"and", "or", "but", "nor"}, "CCONJ", "CC");
        add({"if", "because", "when", "lest", "whether", "though", "while", "whither"}, "SCONJ", "IN");
        add({"shall", "will", "should", "would", "may", "might", "can", "could", "must", "shalt", "wilt"}, "AUX",
            "MD");
        add({"is", "was", "were", "be", "been", "are", "am", "art", "hath", "had", "have", "has", "hast", "did", "do",
             "doth"},
            "AUX", "VB");
        add({"not", "also", "now", "there", "then", "thus", "so", "very", "again", "even", "up", "down", "here",
             "therefore", "yet"},
            "ADV", "RB");
        add({"let", "make", "go", "come", "take", "give", "see", "know", "bring", "send", "say"}, "VERB", "VB");
        return out;
    }();
    return words;
}

std::string lemmaOf(std::string_view word)
{
    std::string lemma = lowered(word);
    const auto &irregular = irregularLemmas();
    if (const auto found = irregular.find(lemma); found != irregular.end())
        return std::string(found->second);
    const auto endsWith = [&](std::string_view end) { return lemma.size() > end.size() + 2 && lemma.ends_with(end); };
    if (endsWith("eth")) {
        lemma.resize(lemma.size() - 3);
    } else if (endsWith("ies")) {
        lemma.resize(lemma.size() - 3);
        lemma += 'y';
    } else if (lemma.size() > 4 && lemma.back() == 's' && !lemma.ends_with("ss") && !lemma.ends_with("us")
               && !lemma.ends_with("is")) {
        lemma.pop_back();
    }
    return lemma;
}

// UPOS and XPOS of the token at `index` of its sentence.
void tag(Token &token, std::size_t index, bool afterNumbersOnly)
{
    const std::string &word = token.word;
    if (isMark(word.front())) {
        token.upos = "PUNCT";
        token.xpos = word;
        return;
    }
    if (isAsciiDigit(word.front())) {
        token.upos = "NUM";
        token.xpos = "CD";
        return;
    }
    const std::string lower = lowered(word);
    const auto &closed = closedWords();
    if (const auto found = closed.find(lower); found != closed.end()) {
        token.upos = found->second.first;
        token.xpos = found->second.second;
        return;
    }
    // Capitalised where a sentence (or a verse after its number) does not start: a name.
    if (word.front() >= 'A' && word.front() <= 'Z' && index > 0 && !afterNumbersOnly) {
        token.upos = "PROPN";
        token.xpos = "NNP";
        return;
    }
    const auto &irregular = irregularLemmas();
    const bool irregularNoun = lower == "men" || lower == "children" || lower == "brethren" || lower == "daughters";
    if (irregular.contains(lower) && !irregularNoun) {
        token.upos = "VERB";
        token.xpos = lower.ends_with("th") || lower.ends_with("s") ? "VBZ"
                     : lower.ends_with("ing")                      ? "VBG"
                     : lower.ends_with("n") || lower.ends_with("ne") ? "VBN"
                                                                     : "VBD";
    } else if (lower.ends_with("ed")) {
        token.upos = "VERB";
        token.xpos = "VBD";
    } else if (lower.size() > 4 && lower.ends_with("ing")) {
        token.upos = "VERB";
        token.xpos = "VBG";
    } else if (lower.size() > 4 && lower.ends_with("eth")) {
        token.upos = "VERB";
        token.xpos = "VBZ";
    } else if (lower.size() > 4 && lower.ends_with("est")) {
        token.upos = "VERB";
        token.xpos = "VBP";
    } else {
        token.upos = "NOUN";
        token.xpos = token.lemma != lower ? "NNS" : "NN";
    }
}

// The text's sentences: tokens cut as the byte rules cut them, tagged.
std::vector<Sentence> sentencesOf(std::string_view text)
{
    std::vector<Sentence> sentences(1);
    std::size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        std::size_t end = at + 1;
        if (isAsciiLetter(c) || isAsciiDigit(c)) {
            while (end < text.size() && (isAsciiLetter(text[end]) || isAsciiDigit(text[end])))
                ++end;
        } else if (!isMark(c)) {
            ++at;
            continue;
        }
        Sentence &sentence = sentences.back();
        Token token;
        token.word = std::string(text.substr(at, end - at));
        sentence.push_back(std::move(token));
        // Whether the next token follows at once is known from the byte after this one.
        sentence.back().glued = end < text.size() && (isAsciiLetter(text[end]) || isAsciiDigit(text[end])
                                                      || isMark(text[end]));
        if (c == '.' || c == '!' || c == '?')
            sentences.emplace_back();
        at = end;
    }
    if (sentences.back().empty())
        sentences.pop_back();
    for (Sentence &sentence : sentences) {
        // A sentence's last token is followed by the next sentence, on its own line.
        sentence.back().glued = false;
        bool numbersOnly = true;
        for (std::size_t i = 0; i < sentence.size(); ++i) {
            Token &token = sentence[i];
            const bool number = isAsciiDigit(token.word.front());
            token.lemma = isMark(token.word.front()) || number ? token.word : lemmaOf(token.word);
            tag(token, i, numbersOnly);
            numbersOnly = numbersOnly && number;
        }
    }
    return sentences;
}

// The sentence as the text writes it.
std::string written(const Sentence &sentence)
{
    std::string out;
    for (std::size_t i = 0; i < sentence.size(); ++i) {
        out += sentence[i].word;
        if (i + 1 < sentence.size() && !sentence[i].glued)
            out += ' ';
    }
    return out;
}

class Output {
public:
    explicit Output(const std::string &path) : path_(path), file_(path, std::ios::binary | std::ios::trunc) {}
    std::string &buffer() { return buffer_; }
    void flushIfFull()
    {
        if (buffer_.size() >= flushBytes)
            flush();
    }
    void flush()
    {
        file_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
        written_ += buffer_.size();
        buffer_.clear();
    }
    std::uint64_t written() const { return written_ + buffer_.size(); }
    bool close()
    {
        flush();
        file_.close();
        return static_cast<bool>(file_);
    }
    bool opened() const { return file_.is_open(); }

private:
    std::string path_;
    std::ofstream file_;
    std::string buffer_;
    std::uint64_t written_ = 0;
};

}  // namespace

bool AnnotatedInputs::write(const std::string &textPath, const std::string &folder, std::uint64_t conlluBytes,
                            std::string &reason)
{
    std::ifstream in(textPath, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (!in && !in.eof()) {
        reason = "cannot read " + textPath;
        return false;
    }
    const std::vector<Sentence> sentencesOfText = sentencesOf(text);
    if (sentencesOfText.empty()) {
        reason = textPath + " holds no tokens";
        return false;
    }
    std::vector<std::string> writtenOfText;
    for (const Sentence &sentence : sentencesOfText)
        writtenOfText.push_back(written(sentence));

    conllu = folder + "/corpus.conllu";
    vertical = folder + "/corpus.vrt";
    plain = folder + "/plain";
    std::error_code error;
    std::filesystem::remove_all(plain, error);
    std::filesystem::create_directory(plain, error);
    Output conlluOut(conllu), verticalOut(vertical);
    if (error || !conlluOut.opened() || !verticalOut.opened()) {
        reason = "cannot write into " + folder;
        return false;
    }
    std::unique_ptr<Output> plainOut;
    plainSize = 0;
    const auto closePlain = [&] {
        if (!plainOut)
            return true;
        plainSize += plainOut->written();
        return plainOut->close();
    };
    tokens = sentences = documents = copies = 0;
    std::size_t next = 0;
    while (conlluOut.written() < conlluBytes) {
        if (next == 0)
            ++copies;
        const Sentence &sentence = sentencesOfText[next];
        if (sentences % sentencesPerDocument == 0) {
            ++documents;
            if (documents > 1)
                verticalOut.buffer() += "</text>\n";
            conlluOut.buffer() += "# newdoc id = d" + std::to_string(documents) + "\n";
            verticalOut.buffer() += "<text id=\"d" + std::to_string(documents) + "\">\n";
            char name[32];
            std::snprintf(name, sizeof name, "/doc-%04llu.txt", static_cast<unsigned long long>(documents));
            if (!closePlain()) {
                reason = "cannot write into " + plain;
                return false;
            }
            plainOut = std::make_unique<Output>(plain + name);
        }
        ++sentences;
        std::string &c = conlluOut.buffer();
        c += "# sent_id = s" + std::to_string(sentences) + "\n# text = " + writtenOfText[next] + "\n";
        std::string &v = verticalOut.buffer();
        v += "<s>\n";
        for (std::size_t i = 0; i < sentence.size(); ++i) {
            const Token &token = sentence[i];
            // ID FORM LEMMA UPOS XPOS FEATS HEAD DEPREL DEPS MISC
            c += std::to_string(i + 1);
            c += '\t';
            c += token.word;
            c += '\t';
            c += token.lemma;
            c += '\t';
            c += token.upos;
            c += '\t';
            c += token.xpos;
            c += "\t_\t";
            c += std::to_string(i);
            c += token.glued ? "\tdep\t_\tSpaceAfter=No\n" : "\tdep\t_\t_\n";
            if (i > 0 && sentence[i - 1].glued)
                v += "<g/>\n";
            v += token.word;
            v += '\t';
            v += token.upos;
            v += '\t';
            v += token.lemma;
            v += '\n';
        }
        c += '\n';
        v += "</s>\n";
        plainOut->buffer() += writtenOfText[next];
        plainOut->buffer() += '\n';
        tokens += sentence.size();
        next = (next + 1) % sentencesOfText.size();
        conlluOut.flushIfFull();
        verticalOut.flushIfFull();
        plainOut->flushIfFull();
    }
    verticalOut.buffer() += "</text>\n";
    conlluSize = conlluOut.written();
    verticalSize = verticalOut.written();
    if (!conlluOut.close() || !verticalOut.close() || !closePlain()) {
        reason = "cannot write into " + folder;
        return false;
    }
    return true;
}
