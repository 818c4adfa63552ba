#include "base/ProgramArguments.h"

#include <cstdio>

namespace lumi {

std::string versionText() {
    return "Lumisift " LUMISIFT_VERSION;
}

ProgramCall readProgramArguments(const std::vector<std::string>& arguments, int maxOperands) {
    ProgramCall call;
    size_t i = 0;
    for (; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word == "--") {
            ++i;
            break;
        }
        if (word.size() < 2 || word[0] != '-') break;
        if (word == "--help" || word == "-h") {
            call.action = ProgramCall::Action::ShowHelp;
            return call;
        }
        if (word == "--version") {
            call.action = ProgramCall::Action::ShowVersion;
            return call;
        }
        call.action = ProgramCall::Action::Misuse;
        call.problem = "unknown option " + word;
        return call;
    }
    call.operands.assign(arguments.begin() + static_cast<std::ptrdiff_t>(i), arguments.end());
    if (maxOperands >= 0 && call.operands.size() > static_cast<size_t>(maxOperands)) {
        call.action = ProgramCall::Action::Misuse;
        call.problem = "too many arguments";
    }
    return call;
}

std::vector<std::string> argumentsAfterName(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>{};
}

int answerProgramCall(const ProgramCall& call, const char* programName, const char* usage) {
    switch (call.action) {
    case ProgramCall::Action::ShowHelp:
        std::fputs(usage, stdout);
        return 0;
    case ProgramCall::Action::ShowVersion:
        std::printf("%s\n", versionText().c_str());
        return 0;
    case ProgramCall::Action::Misuse:
        std::fprintf(stderr, "%s: %s\n%s", programName, call.problem.c_str(), usage);
        return kMisuseExitCode;
    case ProgramCall::Action::Run:
        break;
    }
    return -1;
}

} // namespace lumi
