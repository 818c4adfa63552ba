#pragma once
// The command-line conventions both programs share: "--help" and "-h" print the usage to
// standard output, "--version" prints the version line, anything else that looks like an
// option is refused with the usage on standard error and exit status 2.
#include <string>
#include <vector>

namespace lumi {

// "Lumisift 1.4": what "--version" prints.
std::string versionText();

// Exit status for a command line the program refuses.
constexpr int kMisuseExitCode = 2;

struct ProgramCall {
    enum class Action { Run, ShowHelp, ShowVersion, Misuse };
    Action action = Action::Run;
    // The words left for the program to read (command line after the program's name, with
    // "--" removed when it ends the options).
    std::vector<std::string> operands;
    // For Misuse: what was wrong, one line without a line end.
    std::string problem;
};

// Reads the program-wide options. Options are read up to the first operand (a command
// name or a file), so that a command's own options are left to the command; maxOperands
// bounds how many operands the program accepts at all (-1: any number).
ProgramCall readProgramArguments(const std::vector<std::string>& arguments, int maxOperands);

// The arguments after the program's name, as text.
std::vector<std::string> argumentsAfterName(int argc, char** argv);

// Prints the outcome of a Help, Version or Misuse call ("lumisift: PROBLEM" then the usage on
// standard error) and gives the exit status; Run prints nothing and gives -1.
int answerProgramCall(const ProgramCall& call, const char* programName, const char* usage);

} // namespace lumi
