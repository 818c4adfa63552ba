#pragma once
// The commands of lumisift-cli. Each gets the arguments after its own name.
#include <vector>

namespace lumi::cli {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

// Every command the tool knows; a command's file adds itself to this list in Commands.cpp.
const std::vector<Command>& commands();

} // namespace lumi::cli
