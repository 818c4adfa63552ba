#include "cli/Commands.h"

#include <cstdio>

namespace lumi::cli {

int runGet(int argc, char** argv);
int runSearch(int argc, char** argv);
int runExtract(int argc, char** argv);
int runDownload(int argc, char** argv);
int runCheckVersion(int argc, char** argv);
int runDoctor(int argc, char** argv);

const std::vector<Command>& commands() {
    static const std::vector<Command> list = {
        {"get", &runGet},
        {"search", &runSearch},
        {"extract", &runExtract},
        {"download", &runDownload},
        {"check-version", &runCheckVersion},
        {"doctor", &runDoctor},
    };
    return list;
}

bool parseOnOff(const std::string& text, bool& out) {
    if (text != "on" && text != "off") return false;
    out = text == "on";
    return true;
}

void printLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

} // namespace lumi::cli
