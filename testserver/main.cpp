// dervel-testserver: a loopback SQL Server stand-in for manual runs and the demo.
//   dervel-testserver --port N [--login NAME:PASSWORD]...
// Prints "listening on 127.0.0.1:PORT" once it accepts connections and serves until
// SIGINT or SIGTERM.

#include "tds_server.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

namespace {

void usage() {
    std::fprintf(stderr, "usage: dervel-testserver --port N [--login NAME:PASSWORD]...\n"
                         "  --port 0 picks a free port; the default login is sa / Dervel-2026\n");
}

} // namespace

int main(int argc, char** argv) {
    long port = -1;
    auto instance = std::make_shared<testserver::Instance>();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--port" || arg == "--login") && i + 1 >= argc) {
            usage();
            return 2;
        }
        if (arg == "--port") {
            char* end = nullptr;
            port = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || port < 0 || port > 65535) {
                usage();
                return 2;
            }
        } else if (arg == "--login") {
            const std::string login = argv[++i];
            const auto colon = login.find(':');
            if (colon == std::string::npos || colon == 0) {
                usage();
                return 2;
            }
            instance->addLogin(login.substr(0, colon), login.substr(colon + 1));
        } else {
            usage();
            return 2;
        }
    }
    if (port < 0) {
        usage();
        return 2;
    }

    // Block the stop signals before any thread starts, so only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    testserver::TdsServer server(instance);
    try {
        const auto actual = server.start(static_cast<std::uint16_t>(port));
        std::printf("listening on 127.0.0.1:%u\n", static_cast<unsigned>(actual));
        std::fflush(stdout);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "dervel-testserver: %s\n", e.what());
        return 1;
    }
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
    return 0;
}
