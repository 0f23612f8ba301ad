// halvik-demo: the desktop tool. --version and --help are answered before Qt
// starts, so they need no display.

#include "app/DemoApp.h"
#include "version/Version.h"

#include <cstdio>
#include <string>

namespace {

void Usage(FILE* to) {
    std::fprintf(to, "usage: halvik-demo [Qt options]\n"
                     "       halvik-demo --version | --help\n"
                     "  --version    print the version and exit\n"
                     "  -h, --help   this help\n");
}

} // namespace

int main(int argc, char** argv) {
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
    }
    CDemoApp app(argc, argv);
    return app.Run();
}
