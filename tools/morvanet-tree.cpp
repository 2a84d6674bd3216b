// morvanet-tree: prints the phrase tree of a text file, as an outline or as JSON, or draws it as the viewer would.
#include "OutputBuffer.h"
#include "TreeCommand.h"

#include <cstdio>

int main(int argc, char **argv)
{
    OutputBuffer output(stdout);
    return runTreeCommand(argc, argv, output);
}
