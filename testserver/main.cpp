// dervel-testserver: a loopback SQL Server stand-in for manual runs and the demo.
//   dervel-testserver --port N [--login NAME:PASSWORD]... [--demo [--seed N] [--sessions N]]
// Prints "listening on 127.0.0.1:PORT" once it accepts connections and serves until
// SIGINT or SIGTERM.

#include "demo_runner.h"
#include "demo_workload.h"
#include "tds_server.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <string>

namespace {

void usage() {
    std::fprintf(
        stderr,
        "usage: dervel-testserver --port N [--login NAME:PASSWORD]... "
        "[--demo [--seed N] [--sessions N]]\n"
        "  --port 0 picks a free port; the default login is sa / Dervel-2026\n"
        "  --demo keeps the instance busy for as long as it runs: user sessions of several\n"
        "         applications come and go and run batches through running, runnable and\n"
        "         suspended, and every minute or so a blocking chain forms and dissolves\n"
        "  --seed N      the same N gives the same demo (default 1)\n"
        "  --sessions N  about N user sessions (default 200; 1 to 30000)\n");
}

// A whole number in [low, high], or nothing.
std::optional<long> number(const char* text, long low, long high) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || v < low || v > high)
        return std::nullopt;
    return v;
}

} // namespace

int main(int argc, char** argv) {
    long port = -1;
    bool demo = false;
    std::optional<long> seed;
    std::optional<long> sessions;
    auto instance = std::make_shared<testserver::Instance>();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool takesValue =
            arg == "--port" || arg == "--login" || arg == "--seed" || arg == "--sessions";
        if (takesValue && i + 1 >= argc) {
            usage();
            return 2;
        }
        if (arg == "--port") {
            const auto v = number(argv[++i], 0, 65535);
            if (!v) {
                usage();
                return 2;
            }
            port = *v;
        } else if (arg == "--login") {
            const std::string login = argv[++i];
            const auto colon = login.find(':');
            if (colon == std::string::npos || colon == 0) {
                usage();
                return 2;
            }
            instance->addLogin(login.substr(0, colon), login.substr(colon + 1));
        } else if (arg == "--demo") {
            demo = true;
        } else if (arg == "--seed" || arg == "--sessions") {
            const auto v =
                arg == "--seed" ? number(argv[++i], 0, 4294967295L) : number(argv[++i], 1, 30000);
            if (!v) {
                usage();
                return 2;
            }
            (arg == "--seed" ? seed : sessions) = v;
        } else {
            usage();
            return 2;
        }
    }
    if (port < 0 || (!demo && (seed || sessions))) {
        usage();
        return 2;
    }

    // Block the stop signals before any thread starts, so only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::unique_ptr<testserver::DemoWorkload> workload;
    std::unique_ptr<testserver::DemoRunner> runner;
    if (demo) {
        workload = std::make_unique<testserver::DemoWorkload>(
            *instance, static_cast<unsigned>(seed.value_or(1)),
            static_cast<int>(sessions.value_or(200)));
        runner = std::make_unique<testserver::DemoRunner>(*workload);
    }
    testserver::TdsServer server(instance);
    try {
        const auto actual = server.start(static_cast<std::uint16_t>(port));
        std::printf("listening on 127.0.0.1:%u\n", static_cast<unsigned>(actual));
        std::fflush(stdout);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dervel-testserver: %s\n", e.what());
        return 1;
    }
    if (runner)
        runner->start();
    int signal = 0;
    sigwait(&stopSignals, &signal);
    if (runner)
        runner->stop();
    server.stop();
    return 0;
}
