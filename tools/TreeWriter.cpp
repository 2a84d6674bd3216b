#include "TreeWriter.h"

#include "JsonWriter.h"
#include "OutlineWriter.h"

void writeTrees(const PhraseNode *backward, const PhraseNode *forward, const TreeFormat &format, bool json,
                OutputBuffer &output)
{
    if (!json) {
        if (backward)
            writeOutline(*backward, format, output);
        if (backward && forward)
            output.buffer() += '\n';
        if (forward)
            writeOutline(*forward, format, output);
        return;
    }
    if (backward && forward) {
        output.buffer() += "{\"before\": ";
        writeJson(*backward, format, output);
        output.buffer() += ",\n\"after\": ";
        writeJson(*forward, format, output);
        output.buffer() += '}';
    } else {
        writeJson(forward ? *forward : *backward, format, output);
    }
    output.buffer() += '\n';
}
