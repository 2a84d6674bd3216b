// CorpusTable: morvanet_budget --corpora, the budgets of whole corpora (about 100 MB each), read from files as
// morvanet-tree reads them.
#pragma once

#include <string>

// Generates the inputs into a fresh folder under /tmp, runs one child process
// per input (`self --corpus-input PATH`, at most `seconds` each), prints the
// table and the budget line (unless not `textTable`), then the saved-index
// table of the trigram inputs (see SavedIndexTable.h), with a 1 GB trigram
// text as one file and as 2,000 files when `gigabyte`, and removes the folder.
int printCorpusTable(const char *self, int seconds, bool gigabyte, bool textTable);

// The child: reads and indexes `path` (a file or a folder), by the segmented
// word rules when `segmented`, else by the byte rules, measures, and prints
// its figures for the parent. Needs argc and argv for the QApplication.
int runCorpusInput(const std::string &path, bool segmented, int argc, char **argv);

// Writes the inputs into `dir` (which must exist): trigram-100mb.txt,
// trigram-parts/part-000.txt ... part-199.txt, kjv-25x.txt and scripts-13x.txt
// (the Chinese, Japanese, Thai and KJV texts, 13 times). False on a failure.
bool writeCorpusInputs(const std::string &dir);
