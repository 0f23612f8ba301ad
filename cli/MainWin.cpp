// halvik-cli on Windows: the same program as main.cpp, with the console's
// ways of giving the arguments, the terminal and Ctrl-C.

#include "cli/CliSession.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <io.h>
#include <iostream>
#include <shellapi.h>
#include <string>
#include <vector>

namespace {

std::atomic<CliContext*> g_ctx{nullptr};

// Ctrl-C, Ctrl-Break and the console window closing arrive on a thread of
// their own. A command that can stop cleanly sees the request; otherwise, or
// on a second one, the program ends at once with the status a signal gives
// on Linux (130 for Ctrl-C).
BOOL WINAPI OnConsoleControl(DWORD type) {
    const int status = type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT ? 130 : 143;
    CliContext* ctx = g_ctx.load();
    if (!ctx || !ctx->stopArmed.load() || ctx->stopRequested.exchange(true))
        std::_Exit(status);
    return TRUE;
}

std::string Utf8(const wchar_t* w) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? static_cast<size_t>(n - 1) : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
    return s;
}

// Progress lines are redrawn with VT sequences, which a console shows only
// when asked to; false where it cannot (before Windows 10).
bool EnableVtSequences(HANDLE console) {
    DWORD mode = 0;
    return GetConsoleMode(console, &mode) &&
           SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

} // namespace

int main() {
    // The arguments as typed, whatever the code page: file names may be Chinese.
    int argc = 0;
    wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 1; wargv && i < argc; ++i)
        args.push_back(Utf8(wargv[i]));
    LocalFree(wargv);
    // The texts are UTF-8; a console shows them as such only when told (and
    // keeps being told after we end, so it is told back).
    const UINT codePage = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);

    CliContext ctx{std::cin, std::cout, std::cerr};
    ctx.interactive = _isatty(_fileno(stdin)) != 0;
    ctx.errIsTerminal =
        _isatty(_fileno(stderr)) != 0 && EnableVtSequences(GetStdHandle(STD_ERROR_HANDLE));
    g_ctx = &ctx;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    const int status = RunCli(args, ctx);
    std::cout.flush();
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    g_ctx = nullptr;
    if (codePage)
        SetConsoleOutputCP(codePage);
    return status;
}
