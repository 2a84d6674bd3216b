// ChildProcess: runs a benchmark child process with a deadline and collects what it prints.
#pragma once

#include <string>
#include <vector>

// Runs `args` (args[0] is the program's path), returns its standard output,
// or "" and a one-line `failure` ("> N s" past the deadline, "killed: ..."
// for a signal, "failed" for another exit status) after `seconds` or an error.
std::string runProcess(std::vector<std::string> args, int seconds, std::string &failure);
