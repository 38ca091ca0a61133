// pixbard: owns the signs' lines and offers them over HTTP.
#include "auth.h"
#include "httpfront.h"
#include "mqttside.h"
#include "mqtttopics.h"
#include "relayfront.h"
#include "serviceconfig.h"
#include "settings.h"
#include "signservice.h"
#include "unitcomprotocol.h"
#include "workingfolder.h"

#include <httplib.h>

#include <QCoreApplication>

#include <pthread.h>
#include <unistd.h>
#include <signal.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

namespace {

using namespace pixbar::service;

constexpr int kExitUsage = 64;
constexpr int kExitConfig = 2;
constexpr const char* kVersion = "pixbard 0.1";

void printHelp() {
    std::printf(
        "usage: pixbard [--config FILE] [--data DIR]\n"
        "       pixbard --check [--config FILE]\n"
        "       pixbard --new-token FILE\n"
        "       pixbard --version | --help\n"
        "Owns each sign's line, runs every request in order and serves the signs over HTTP\n"
        "(JSON API under /api/v1, described at /api/v1/openapi.json).\n"
        "  --config FILE     the service's INI file; without it one sign \"linijka\" from the\n"
        "                    ld.cfg of the working folder\n"
        "  --data DIR        the folder with the font files (for previews)\n"
        "  --check           check the config, name every problem by its line, and exit\n"
        "                    (0 usable, 2 not)\n"
        "  --new-token FILE  write a new token of 256 random bits to FILE (mode 0600)\n");
}

int usage(const char* what) {
    std::fprintf(stderr, "pixbard: %s\n", what);
    printHelp();
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    std::string configFile, dataDir, newToken;
    bool check = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printHelp();
            return 0;
        }
        if (arg == "--version") {
            std::printf("%s\n", kVersion);
            return 0;
        }
        if (arg == "--check") {
            check = true;
        } else if (arg == "--config" || arg == "--data" || arg == "--new-token") {
            if (i + 1 >= argc) return usage("an option lacks its value");
            (arg == "--config" ? configFile : arg == "--data" ? dataDir : newToken) = argv[++i];
        } else {
            return usage(("unknown argument " + arg).c_str());
        }
    }
    if (!newToken.empty()) {
        std::string error;
        if (!WriteNewToken(newToken, error)) {
            std::fprintf(stderr, "pixbard: %s\n", error.c_str());
            return 1;
        }
        std::printf("pixbard: token written to %s\n", newToken.c_str());
        return 0;
    }

    ServiceConfig config = configFile.empty() ? ConfigFromLdCfg(pixbar::kConfigFile)
                                              : ReadServiceConfig(configFile);
    std::string token;
    if (config.ok() && !config.http.tokenFile.empty()) {
        std::string error;
        if (auto read = ReadTokenFile(config.http.tokenFile, error))
            token = *read;
        else
            config.problems.push_back(error);
    }
    if (config.ok() && token.empty() && !IsLoopbackHost(config.http.host))
        config.problems.push_back("listen " + config.http.listen +
                                  " is not loopback: a token-file is needed");
    if (!config.ok()) {
        for (const std::string& p : config.problems)
            std::fprintf(stderr, "%s: %s\n", configFile.empty() ? pixbar::kConfigFile : configFile.c_str(),
                         p.c_str());
        return kExitConfig;
    }
    if (check) {
        std::printf("%s: ok, %zu sign(s)\n", configFile.empty() ? pixbar::kConfigFile : configFile.c_str(),
                    config.signs.size());
        return 0;
    }

    // SIGTERM and SIGINT are taken by one thread of their own, so no other thread is
    // interrupted in the middle of a transfer.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // QSerialPort wants an application object even without an event loop.
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);

    // The fonts for previews are found as pixbarctl finds them; a service without them still
    // serves its signs.
    const pixbar::DataFolder data = pixbar::findDataFolder(
        pixbar::DataPlaces::fromProcess(pixbar::runningProgramFolder()), dataDir);
    pixbar::GlyphSets glyphs;
    if (!data) {
        std::fprintf(stderr, "pixbard: %s (podglądy niedostępne)\n", data.error.c_str());
    } else {
        if (pixbar::FileResult r = glyphs.LoadBuiltInFonts(data.folder); !r)
            std::fprintf(stderr, "pixbard: %s (podglądy niedostępne)\n", r.message().c_str());
        glyphs.setStartDirectory(data.folder);
    }
    pixbar::SystemClock clock;
    const ProtocolFactory factory = [] { return std::make_unique<pixbar::ComProtocol>(); };
    SignService service(config, factory, glyphs, clock);
    TokenGuard guard(token);

    std::unique_ptr<httplib::Server> server;
    if (!config.http.tlsCert.empty())
        server = std::make_unique<httplib::SSLServer>(config.http.tlsCert.c_str(),
                                                      config.http.tlsKey.c_str());
    else
        server = std::make_unique<httplib::Server>();
    if (!server->is_valid()) {
        std::fprintf(stderr, "pixbard: the TLS certificate or key cannot be used\n");
        return kExitConfig;
    }
    pixbard::InstallApi(*server, service, guard);

    std::unique_ptr<pixbard::MqttSide> mqtt;
    if (!config.mqtt.host.empty()) {
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        mqtt = std::make_unique<pixbard::MqttSide>(config, service,
                                                   MqttClientId(config.mqtt, host));
        std::string error;
        if (!mqtt->start(error)) {
            std::fprintf(stderr, "pixbard: %s\n", error.c_str());
            service.stop();
            return kExitConfig;
        }
    }
    pixbard::RelayFront relays(config, service);
    if (std::string error; !relays.start(error)) {
        std::fprintf(stderr, "pixbard: %s\n", error.c_str());
        service.stop();
        if (mqtt) mqtt->stop();
        return 1;
    }
    if (pixbard::Bind(*server, config.http.host, config.http.port) < 0) {
        std::fprintf(stderr, "pixbard: cannot listen on %s\n", config.http.listen.c_str());
        return 1;
    }
    std::printf("pixbard: listening on %s%s, %zu sign(s)\n", config.http.listen.c_str(),
                config.http.tlsCert.empty() ? "" : " (https)", config.signs.size());
    std::fflush(stdout);

    std::thread stopper([&] {
        int received = 0;
        sigwait(&stopSignals, &received);
        // A relay client's turn ends first, then queued jobs are answered, then the server
        // stops taking requests.
        relays.stop();
        service.stop();
        server->stop();
    });
    server->listen_after_bind();
    relays.stop();
    // Queued jobs are answered (MQTT results included) before the broker hears we are gone.
    service.stop();
    if (mqtt) mqtt->stop();
    if (stopper.joinable()) {
        pthread_kill(stopper.native_handle(), SIGTERM);
        stopper.join();
    }
    std::printf("pixbard: stopped\n");
    return 0;
}
