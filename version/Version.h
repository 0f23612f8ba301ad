#pragma once
// What a program says to --version and the About box shows.

#include <string>

// "2.0.0"
const char* HalvikVersion();
// The commit the program was built from ("3f2a9c01b7de", "...-dirty" for
// changed files); "" when built outside a git checkout.
const char* HalvikGitCommit();
// "halvik-cli 2.0.0 (git 3f2a9c01b7de)", without the commit when there is none.
std::string VersionLine(const std::string& program);
