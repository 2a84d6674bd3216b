// AnnotatedInputs: writes the annotated benchmark's inputs: a plain English text tagged by rule, as CoNLL-U, as a vertical file and as plain text.
#pragma once

#include <cstdint>
#include <string>

// A machine without a tagged corpus still gets one: the text's tokens are
// cut as the byte rules cut them (runs of ASCII letters and digits, each
// punctuation byte a token) and annotated by a few deterministic rules
// (lemma: the word lowercased, a few English forms undone; UPOS from a small
// word list and the word's shape; XPOS a finer tag of the same; feats "_",
// deprel "dep"). Sentences end after ".", "!" and "?". The text is repeated,
// sentence after sentence, until the CoNLL-U file holds at least the bytes
// asked for; the three hold the same tokens in the same order, and the
// same documents: a repeated text's branches run on until a document ends,
// so the plain text is a folder with a file for each.
class AnnotatedInputs {
public:
    // Reads `textPath` and writes corpus.conllu, corpus.vrt and the folder
    // plain (doc-0001.txt, ...) into `folder`; false (and `reason`) when a file cannot be read or written.
    bool write(const std::string &textPath, const std::string &folder, std::uint64_t conlluBytes,
               std::string &reason);

    std::string conllu;    // "# newdoc" every few thousand sentences, "# sent_id", "# text", SpaceAfter=No
    std::string vertical;  // word, pos, lemma; <text>, <s>, </s>, and <g/> where no blank comes before a token
    std::string plain;     // a file per document; one sentence per line, a blank between tokens unless the text glues them
    std::uint64_t conlluSize = 0, verticalSize = 0, plainSize = 0;
    std::uint64_t tokens = 0;
    std::uint64_t sentences = 0;
    std::uint64_t documents = 0;
    std::uint64_t copies = 0;  // how many times the text was written (the last perhaps not whole)
};
