// lumisift-cli: the command-line front end. Each command lives in a file of its own.
#include <cstdio>
#include <string>

#include <QCoreApplication>

#include "base/DescriptorLimit.h"
#include "base/ProgramArguments.h"
#include "cli/Commands.h"

namespace {
const char* const kUsage =
    "usage: lumisift-cli COMMAND [ARGUMENTS]\n"
    "       lumisift-cli --help | --version\n"
    "Lumisift's search engine without windows.\n"
    "\n"
    "commands:\n"
    "  get URL [--proxy PROXY] [--proxy-port PORT] [--trace] [-o FILE]\n"
    "      fetch one address; the body goes to FILE or to standard output, --trace prints\n"
    "      each event of the HTTP client instead\n"
    "  extract --engine N --url PAGE_URL [--check-links on|off] [--recursive on|off] PAGE_FILE\n"
    "      read a saved page as a search would read it from PAGE_URL and print what it\n"
    "      queues and lists\n"
    "  search PHRASE [--check-links on|off] [--recursive on|off] [--for SECONDS]\n"
    "         [--until-idle SECONDS] [--diagnostics] [--ini FILE] [--format tsv|jsonl]\n"
    "         [--stats] [--licence WHICH] [--min-width N] [--min-height N]\n"
    "      search as the main window does and print each picture found as size, TAB,\n"
    "      address (jsonl: one JSON object a row, with where the picture came from); stops\n"
    "      after --for seconds or once idle for --until-idle seconds; --stats prints the\n"
    "      diagnostics lines and one line per search service to standard error at the end;\n"
    "      --licence (any, commercial, modify, commercial,modify, pd), --min-width and\n"
    "      --min-height keep only the pictures that pass\n"
    "  download [--ini FILE] [--phrase PHRASE] URL...\n"
    "  download [--ini FILE] [--phrase PHRASE] --from FILE|-\n"
    "      save pictures as the Download command does, into the settings' save folder;\n"
    "      prints saved<TAB>URL<TAB>PATH or failed<TAB>URL<TAB>REASON for each; --from\n"
    "      takes the rows of search --format jsonl (- for standard input) and writes\n"
    "      CREDITS.txt from their sources as the window does\n"
    "  doctor [--ini FILE] [--phrase PHRASE] [--timeout SECONDS]\n"
    "      ask every enabled search service for one result page and print, per service,\n"
    "      reachable, TLS, answer understood and pictures found; exits 1 unless all work\n"
    "  check-version [--store FILE]\n"
    "      read the maker's version file as the program does at start and print, for each\n"
    "      product, offer, record, same or defer (FILE: the registry store to use)\n"
    "\n"
    "options:\n"
    "  -h, --help   print this help and exit\n"
    "  --version    print the version and exit\n"
    "\n"
    "environment: LUMISIFT_HOTBOT_HOST, LUMISIFT_LYCOS_HOST, LUMISIFT_SCOURNET_HOST,\n"
    "  LUMISIFT_SCOURNET_SITE, LUMISIFT_MAKER_HOST name the services' hosts (HOST or HOST:PORT\n"
    "  for http, https://HOST:PORT for https); LUMISIFT_OPENVERSE_URL, LUMISIFT_COMMONS_URL,\n"
    "  LUMISIFT_SEARXNG_URL the archives' base addresses (with their scheme); LUMISIFT_CA_FILE\n"
    "  one more CA certificate file (PEM) to trust for https.\n"
    "\n"
    "settings: lumisift.ini, shared with the window program: at the root of a build tree,\n"
    "  else ~/.config/lumisift/lumisift.ini (beside the program in another folder you own).\n"
    "\n"
    "exit status: 0 done, 1 the command failed (a file or an address could not be read or\n"
    "  written, nothing to search, no search service answered, a download failed, doctor\n"
    "  found a service that does not work), 2 the command line was wrong (or, for download,\n"
    "  no save folder is set), 128 + the signal's number when download was stopped by\n"
    "  SIGINT, SIGTERM or SIGHUP.\n";

int refuse(const std::string& problem) {
    lumi::ProgramCall call;
    call.action = lumi::ProgramCall::Action::Misuse;
    call.problem = problem;
    return lumi::answerProgramCall(call, "lumisift-cli", kUsage);
}
} // namespace

int main(int argc, char** argv) {
    const lumi::ProgramCall call =
        lumi::readProgramArguments(lumi::argumentsAfterName(argc, argv), -1);
    if (call.action != lumi::ProgramCall::Action::Run)
        return lumi::answerProgramCall(call, "lumisift-cli", kUsage);
    if (call.operands.empty()) return refuse("no command given");

    // Before the application and its threads: a batch of connections and files needs more
    // descriptors than the usual soft limit of 1024.
    lumi::raiseDescriptorLimit();
    QCoreApplication app(argc, argv);
    // The command's own arguments follow its name, wherever "--" left it.
    const int commandIndex = argc - static_cast<int>(call.operands.size());
    const std::string& command = call.operands.front();
    for (const auto& c : lumi::cli::commands())
        if (command == c.name) return c.run(argc - commandIndex - 1, argv + commandIndex + 1);
    return refuse("unknown command " + command);
}
