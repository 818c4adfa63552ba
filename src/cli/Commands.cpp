#include "cli/Commands.h"

namespace lumi::cli {

const std::vector<Command>& commands() {
    static const std::vector<Command> list = {};
    return list;
}

} // namespace lumi::cli
