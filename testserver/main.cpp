// dervel-testserver: a loopback SQL Server stand-in for manual runs and the demo.
// Prints "listening on 127.0.0.1:PORT" once it accepts connections and serves until
// SIGINT or SIGTERM. --help lists the options.

#include "demo_runner.h"
#include "demo_workload.h"
#include "kerberos_acceptor.h"
#include "seed.h"
#include "sql_browser.h"
#include "tds_server.h"
#include "test_certificates.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace {

const char* const kUsage =
    "usage: dervel-testserver --port N [options]\n"
    "       dervel-testserver --make-certs FOLDER\n"
    "  --port N              0 picks a free port\n"
    "  --login NAME:PASSWORD another SQL login (sa / Dervel-2026 always exists)\n"
    "  --limited-login NAME:PASSWORD\n"
    "                        a login without VIEW SERVER STATE and ALTER ANY CONNECTION:\n"
    "                        it sees only its own session and may not kill\n"
    "  --windows-login PRINCIPAL\n"
    "                        a login for a Kerberos principal (alice@TEST.LOCAL)\n"
    "  --keytab FILE         accept integrated security with the service key in FILE\n"
    "                        (MSSQLSvc/HOST:PORT@REALM)\n"
    "  --encrypt off|on|required|strict|unsupported\n"
    "                        the pre-login answer: off encrypts the login only unless the\n"
    "                        client asks for more (SQL Server's default), on and required\n"
    "                        encrypt everything, unsupported nothing (the default without\n"
    "                        a certificate; off is the default with one); strict serves\n"
    "                        TDS 8.0 clients only (Force Strict Encryption, implies --sql2022)\n"
    "  --sql2022             impersonate SQL Server 2022, which also accepts TDS 8.0 (TLS\n"
    "                        before anything else) when it has a certificate\n"
    "  --cert FILE --key FILE the server's certificate and key, PEM\n"
    "  --make-certs FOLDER   writes throwaway certificates for trying TLS: ca.pem, and\n"
    "                        server, expired, wrongname and untrusted (.pem, -key.pem)\n"
    "  --instance NAME       a named instance: @@SERVERNAME becomes DERVEL-SQL\\NAME\n"
    "  --browser             answer the SQL Server Browser on UDP 127.0.0.1:1434 for it\n"
    "  --azure               behave as an Azure SQL Database: sys.databases shows master and\n"
    "                        the session's database, the session views and KILL only the\n"
    "                        sessions of that database\n"
    "  --demo                keep the instance busy for as long as it runs: user sessions of\n"
    "                        several applications come and go and run batches through\n"
    "                        running, runnable and suspended, and every minute or so a\n"
    "                        blocking chain forms and dissolves\n"
    "  --seed N              the same N gives the same demo (default 1)\n"
    "  --sessions N          about N user sessions (default 200; 1 to 30000)\n"
    "  --hold-chains N       with --demo: the first blocking chain forms at once and every\n"
    "                        head holds its chain N seconds (1 to 86400)\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 2;
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

struct Options {
    long port = -1;
    bool demo = false;
    std::optional<long> seed;
    std::optional<long> sessions;
    std::optional<long> holdChains;
    std::optional<testserver::EncryptMode> encrypt;
    std::string cert, key, keytab, instanceName, makeCerts;
    bool browser = false;
};

// NAME:PASSWORD into its parts; false when there is no name.
bool splitLogin(const std::string& text, std::string& name, std::string& password) {
    const auto colon = text.find(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    name = text.substr(0, colon);
    password = text.substr(colon + 1);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    auto instance = std::make_shared<testserver::Instance>();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--demo") {
            o.demo = true;
            continue;
        }
        if (arg == "--browser") {
            o.browser = true;
            continue;
        }
        if (arg == "--sql2022") {
            instance->setVersion(testserver::kVersion2022, testserver::kVersionNumber2022);
            continue;
        }
        if (arg == "--azure") {
            instance->setAzureDatabase(true);
            continue;
        }
        if (i + 1 >= argc)
            return usage();
        const char* value = argv[++i];
        std::string name, password;
        if (arg == "--port") {
            const auto v = number(value, 0, 65535);
            if (!v)
                return usage();
            o.port = *v;
        } else if (arg == "--login" || arg == "--limited-login") {
            if (!splitLogin(value, name, password))
                return usage();
            testserver::LoginRights rights;
            if (arg == "--limited-login")
                rights = {false, false};
            instance->addLogin(name, password, rights);
        } else if (arg == "--windows-login") {
            instance->addWindowsLogin(value);
        } else if (arg == "--hold-chains") {
            o.holdChains = number(value, 1, 86400);
            if (!o.holdChains)
                return usage();
        } else if (arg == "--seed" || arg == "--sessions") {
            const auto v =
                arg == "--seed" ? number(value, 0, 4294967295L) : number(value, 1, 30000);
            if (!v)
                return usage();
            (arg == "--seed" ? o.seed : o.sessions) = v;
        } else if (arg == "--encrypt") {
            o.encrypt = testserver::parseEncryptMode(value);
            if (!o.encrypt)
                return usage();
        } else if (arg == "--cert") {
            o.cert = value;
        } else if (arg == "--key") {
            o.key = value;
        } else if (arg == "--keytab") {
            o.keytab = value;
        } else if (arg == "--instance") {
            o.instanceName = value;
        } else if (arg == "--make-certs") {
            o.makeCerts = value;
        } else {
            return usage();
        }
    }
    if (!o.makeCerts.empty()) {
        try {
            testserver::writeTestCertificates(o.makeCerts);
            std::printf("wrote the test certificates into %s\n", o.makeCerts.c_str());
            return 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "dervel-testserver: %s\n", e.what());
            return 1;
        }
    }
    const bool certificate = !o.cert.empty() || !o.key.empty();
    if (o.port < 0 || (!o.demo && (o.seed || o.sessions || o.holdChains)) ||
        (certificate && (o.cert.empty() || o.key.empty())) || (o.browser && o.instanceName.empty()))
        return usage();
    const auto encrypt = o.encrypt.value_or(certificate ? testserver::EncryptMode::Off
                                                        : testserver::EncryptMode::Unsupported);
    if (encrypt != testserver::EncryptMode::Unsupported && !certificate) {
        std::fprintf(stderr, "dervel-testserver: --encrypt needs --cert and --key\n");
        return 2;
    }
    if (encrypt == testserver::EncryptMode::Strict && !instance->speaksTds8())
        instance->setVersion(testserver::kVersion2022, testserver::kVersionNumber2022);
    if (!o.instanceName.empty())
        instance->setServerName("DERVEL-SQL\\" + o.instanceName);

    // Block the stop signals before any thread starts, so only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::unique_ptr<testserver::DemoWorkload> workload;
    std::unique_ptr<testserver::DemoRunner> runner;
    if (o.demo) {
        workload = std::make_unique<testserver::DemoWorkload>(
            *instance, static_cast<unsigned>(o.seed.value_or(1)),
            static_cast<int>(o.sessions.value_or(200)),
            static_cast<double>(o.holdChains.value_or(0)));
        runner = std::make_unique<testserver::DemoRunner>(*workload);
    }
    testserver::TdsServer server(instance);
    std::unique_ptr<testserver::SqlBrowser> browser;
    try {
        if (certificate)
            server.setEncryption(encrypt,
                                 std::make_shared<testserver::TlsCredentials>(o.cert, o.key));
        if (!o.keytab.empty()) {
            auto acceptor = std::make_shared<testserver::KerberosAcceptor>(o.keytab);
            acceptor->check();
            server.setKerberos(acceptor);
        }
        const auto actual = server.start(static_cast<std::uint16_t>(o.port));
        if (o.browser) {
            browser = std::make_unique<testserver::SqlBrowser>(
                "DERVEL-SQL", std::map<std::string, std::uint16_t>{{o.instanceName, actual}});
            browser->start();
        }
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
    if (browser)
        browser->stop();
    server.stop();
    return 0;
}
