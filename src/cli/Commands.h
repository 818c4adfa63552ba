#pragma once
// The commands of lumisift-cli. Each gets the arguments after its own name.
#include <string>
#include <vector>

namespace lumi::cli {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

// Every command the tool knows; a command's file adds itself to this list in Commands.cpp.
const std::vector<Command>& commands();

// Reads an "on" or "off" option value; false for anything else.
bool parseOnOff(const std::string& text, bool& out);

// Writes line and an LF to standard output, bytes as they are.
void printLine(const std::string& line);

} // namespace lumi::cli
