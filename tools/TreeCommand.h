// TreeCommand: the morvanet-tree command from its arguments to its output, callable from a program or a fuzzer.
#pragma once

#include "OutputBuffer.h"

// Runs `morvanet-tree` with `argv` (argv[0] the program's name; getopt's
// state is reset first, so it may run many times): reads the corpus, asks
// the question and writes the outline, JSON, layout listing or concordance
// into `output` (finishing it), pictures into their files, messages and
// progress to standard error. Returns the exit status: 0 done, 1 the phrase
// has no tokens or does not occur, 2 wrong arguments, unreadable input or
// failed output.
int runTreeCommand(int argc, char **argv, OutputBuffer &output);
