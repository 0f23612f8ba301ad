// halvik-demo: the desktop tool. --version and --help are answered before Qt
// starts, so they need no display; --com N picks the port the window starts on.

#include "app/DemoApp.h"
#include "serial/PortMap.h"
#include "version/Version.h"

#include <cstdio>
#include <string>

namespace {

void Usage(FILE* to) {
    std::fprintf(to, "usage: halvik-demo [--com N] [Qt options]\n"
                     "       halvik-demo --version | --help\n"
                     "  --com N      start with COM N selected (COM3 or 3); default COM1\n"
                     "  --version    print the version and exit\n"
                     "  -h, --help   this help\n");
}

// "3" or "COM3" -> 3; 0 for anything else.
int ComNumberOf(std::string text) {
    if (text.size() > 3 && (text.rfind("COM", 0) == 0 || text.rfind("com", 0) == 0))
        text.erase(0, 3);
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    const int n = std::stoi(text);
    return n <= kMaxComNumber ? n : 0;
}

} // namespace

int main(int argc, char** argv) {
    int com = 0;
    int kept = 1; // our options are taken out; Qt's own (-platform, ...) stay
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--version") {
            std::printf("%s\n", VersionLine("halvik-demo").c_str());
            return 0;
        }
        if (a == "-h" || a == "--help") {
            Usage(stdout);
            return 0;
        }
        if (a == "--com" || a.rfind("--com=", 0) == 0) {
            const char* value = a == "--com" ? (i + 1 < argc ? argv[++i] : "") : argv[i] + 6;
            com = ComNumberOf(value);
            if (com == 0) {
                std::fprintf(stderr, "halvik-demo: --com needs a COM number, 1..%d: '%s'\n",
                             kMaxComNumber, value);
                Usage(stderr);
                return 2;
            }
            continue;
        }
        argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    CDemoApp app(argc, argv);
    return app.Run(com);
}
