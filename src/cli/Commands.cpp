#include "cli/Commands.h"

namespace lumi::cli {

int runGet(int argc, char** argv);
int runSearch(int argc, char** argv);

const std::vector<Command>& commands() {
    static const std::vector<Command> list = {
        {"get", &runGet},
        {"search", &runSearch},
    };
    return list;
}

} // namespace lumi::cli
