// RecordingSink: an AnnotationSink that writes down each call a reader makes, for the readers' tests.
#pragma once

#include "AnnotationSink.h"

#include <string>
#include <vector>

// A position reads "LINE:value|value|...", with '~' before it when it is
// not separated; a document start reads "doc", a sentence end "end".
class RecordingSink : public AnnotationSink {
public:
    std::vector<std::string> calls;

    void startDocument() override { calls.push_back("doc"); }
    void token(std::span<const std::string_view> values, bool separated, std::uint64_t line) override
    {
        std::string call = (separated ? "" : "~") + std::to_string(line) + ':';
        for (std::size_t i = 0; i < values.size(); ++i)
            (call += i ? "|" : "") += values[i];
        calls.push_back(std::move(call));
    }
    void endSentence() override { calls.push_back("end"); }
};
