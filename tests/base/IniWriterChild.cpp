// Writes settings for ever so a test can kill it at a random moment: keys Key0 … Key<n-1> of
// section "Options", every write giving one key the value "<run>-<round>". Prints "writing"
// once the first round is on disk.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/IniFiles.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    TIniFile ini(argv[1]);
    const std::string run = argv[2];
    const int keys = std::atoi(argv[3]);
    for (long round = 0;; ++round) {
        for (int k = 0; k < keys; ++k)
            ini.WriteString("Options", "Key" + std::to_string(k),
                            run + "-" + std::to_string(round));
        if (round == 0) {
            std::puts("writing");
            std::fflush(stdout);
        }
    }
}
