// SavedIndexTable: the saved-index part of morvanet_budget --corpora: saving, then whole-process questions of an index beside the text.
#pragma once

#include <string>
#include <vector>

// One input of the table: a file or a folder under the inputs folder.
struct SavedIndexInput {
    std::string path;
    std::string what;
};

// For each input: `morvanet-tree --both` on the text and `--save-index`
// (time, peak, index bytes per token); then on the saved index, page cache
// warm, whole processes of the tool: a depth-3 outline, --kwic 5 and --png
// of a two-token phrase with at most 1,000 occurrences, and the depth-2
// tree of the most frequent token, beside the same commands on the text and
// `rg -c` of the phrase; last, the outline with the page cache dropped where
// that is permitted. Prints the table and its budget line; the indexes go
// into `folder`, which the caller removes. False if a budget was missed or
// a run failed.
bool printSavedIndexTable(const std::vector<SavedIndexInput> &inputs, const std::string &folder);
