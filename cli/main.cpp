// halvik-cli: the command-line companion of the Halvik configuration tool.

#include "cli/CliSession.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<bool> g_quit{false};

// Ctrl-C and SIGTERM are taken by this thread only (every other thread blocks
// them), so no system call elsewhere is ever interrupted. A command that can
// stop cleanly sees the request; otherwise, or on a second signal, the
// program ends at once as it would by default.
// SIGUSR1 only wakes it up for the end of the program.
void SignalThread(sigset_t set, CliContext* ctx) {
    const timespec tick{1, 0};
    while (!g_quit.load()) {
        int sig = sigtimedwait(&set, nullptr, &tick);
        if (sig < 0 || sig == SIGUSR1)
            continue;
        if (!ctx->stopArmed.load() || ctx->stopRequested.exchange(true))
            std::_Exit(128 + sig);
    }
}

} // namespace

int main(int argc, char** argv) {
    CliContext ctx{std::cin, std::cout, std::cerr};
    ctx.interactive = isatty(STDIN_FILENO) != 0;
    ctx.errIsTerminal = isatty(STDERR_FILENO) != 0;
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread signals(SignalThread, set, &ctx);
    const int status = RunCli(std::vector<std::string>(argv + 1, argv + argc), ctx);
    std::cout.flush();
    g_quit = true;
    pthread_kill(signals.native_handle(), SIGUSR1);
    signals.join();
    return status;
}
