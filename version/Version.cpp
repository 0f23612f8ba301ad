#include "version/Version.h"

#include "halvik_version.h"

const char* HalvikVersion() {
    return HALVIK_VERSION;
}

const char* HalvikGitCommit() {
    return HALVIK_GIT_COMMIT;
}

std::string VersionLine(const std::string& program) {
    std::string line = program + " " + HALVIK_VERSION;
    if (*HALVIK_GIT_COMMIT)
        line += std::string(" (git ") + HALVIK_GIT_COMMIT + ")";
    return line;
}
