// orvalen-printer-sim: a simulated fiscal receipt printer on a serial line.
#include "DeviceEndpoint.h"
#include "Options.h"
#include "PtyEndpoint.h"
#include "Server.h"
#include "TrafficLog.h"
#include "Version.h"
#include "platform/StandardDescriptors.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <sys/signalfd.h>
#include <unistd.h>

using namespace printersim;

int main(int argc, char** argv)
{
    // Before anything opens a file: the terminal or the log must not become standard output.
    OpenStandardDescriptors();
    Options options;
    try {
        options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvalen-printer-sim: %s\n", e.what());
        return 2;
    }
    if (options.help) {
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("orvalen-printer-sim %s\n", OrvalenVersion);
        return 0;
    }

    // The stop signals arrive through a descriptor that the server polls beside the terminal. A
    // shell starts background jobs with SIGINT ignored, and an ignored signal never reaches the
    // descriptor, so both stop signals get their default disposition back first.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGHUP);
    if (sigprocmask(SIG_BLOCK, &stops, nullptr) != 0) {
        std::perror("orvalen-printer-sim: sigprocmask");
        return 1;
    }
    const UniqueFd signals(signalfd(-1, &stops, SFD_CLOEXEC));
    if (signals.Get() < 0) {
        std::perror("orvalen-printer-sim: signalfd");
        return 1;
    }
    // A watcher that closed our stdout must not kill the printer.
    std::signal(SIGPIPE, SIG_IGN);

    try {
        TrafficLog log(STDOUT_FILENO);
        std::unique_ptr<Endpoint> line;
        if (options.device.empty())
            line = std::make_unique<PtyEndpoint>(options.link);
        else
            line = std::make_unique<DeviceEndpoint>(options.device, options.format);
        log.Event("ready " + line->Describe());
        Server server(options, *line, log);
        return server.Run(signals.Get());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvalen-printer-sim: %s\n", e.what());
        return 1;
    }
}
