// Fuzzes the explorer's command line: the input is split at zero bytes into arguments.
#include "ExplorerArguments.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<std::string> arguments{"morvanet-explorer"};
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    arguments.push_back(current);
    std::vector<const char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(argument.c_str());
    const ExplorerArguments parsed = parseExplorerArguments(static_cast<int>(argv.size()), argv.data());
    // A wrong command line always says why; a right one hands the toolkit its program name first.
    if (parsed.outcome == ExplorerArguments::Outcome::Wrong && parsed.error.empty())
        __builtin_trap();
    if (parsed.outcome == ExplorerArguments::Outcome::Run && parsed.toolkit.front() != "morvanet-explorer")
        __builtin_trap();
    return 0;
}
