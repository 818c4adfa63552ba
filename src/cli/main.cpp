// lumisift-cli: the command-line front end. Each command lives in a file of its own.
#include <cstdio>
#include <cstring>
#include <string>

#include <QCoreApplication>

#include "cli/Commands.h"

namespace {
int usage() {
    std::fprintf(stderr,
                 "usage: lumisift-cli COMMAND ...\n"
                 "commands:\n"
                 "  get URL [--proxy PROXY] [--proxy-port PORT] [--trace] [-o FILE]\n"
                 "  extract --engine N --url PAGE_URL [--check-links on|off] [--recursive on|off] PAGE_FILE\n"
                 "  search PHRASE [--check-links on|off] [--recursive on|off] [--for SECONDS]\n"
                 "         [--until-idle SECONDS] [--diagnostics] [--ini FILE]\n"
                 "  download [--ini FILE] [--phrase PHRASE] URL...\n");
    return 2;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) return usage();
    const std::string command = argv[1];
    for (const auto& c : lumi::cli::commands())
        if (command == c.name) return c.run(argc - 2, argv + 2);
    return usage();
}
