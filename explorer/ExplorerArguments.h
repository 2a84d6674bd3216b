// ExplorerArguments: the explorer's command line, read before the toolkit starts so that a wrong one needs no display.
#pragma once

#include "ExplorerControls.h"

#include <string>
#include <vector>

struct ExplorerArguments {
    enum class Outcome { Run, Help, Version, Wrong };

    Outcome outcome = Outcome::Run;
    std::string error;  // one line, when Wrong
    ExplorerControls controls;
    bool controlsGiven = false;  // some tree, word, case or pruning option was given
    std::string path;            // empty: open nothing at start
    std::string phrase;          // searched once `path` is loaded
    bool phraseGiven = false;
    // The arguments left for the toolkit (its single-dash options such as
    // -platform and -geometry), argv[0] first.
    std::vector<std::string> toolkit;
};

// Reads `morvanet-explorer [OPTIONS] [PATH [PHRASE]]`. Long options may be
// written "--name value" or "--name=value" and shortened to any unambiguous
// prefix; "--" ends the options. Single-dash options are the toolkit's and
// are passed on with their values.
ExplorerArguments parseExplorerArguments(int argc, const char *const *argv);

// The usage line and the help text.
extern const char explorerUsage[];
extern const char explorerHelp[];
