// sermida-cli serve: the DNC service, headless, until SIGINT or SIGTERM.
#include <unistd.h>

#include <cstdio>

#include "cli/CliCommands.h"
#include "cli/CliPortOptions.h"
#include "cli/StopSignals.h"
#include "service/DncService.h"
#include "service/ServiceConfig.h"

int RunServe(const CliArgs& input) {
    CliArgs args = input;
    std::string path;
    bool bad = false;
    const bool given = TakeOption(args, "--config", path, bad);
    const bool check = TakeFlag(args, "--check");
    if (bad || !args.empty())
        return CliUsageError("serve takes [--config FILE] [--check]");
    // The desktop program reads the same file, for the library and the broker.
    if (!given) {
        path = DefaultServiceConfigPath();
        if (::access(path.c_str(), F_OK) != 0) {
            CliError(path + ": no config there; name one with --config FILE");
            return EXIT_USAGE;
        }
    }
    ServiceConfig config;
    std::string error;
    if (!LoadServiceConfig(path, config, error)) {
        CliError(error);
        return EXIT_USAGE;
    }
    if (check) {
        std::printf("%s: %zu machines, fine\n", path.c_str(), config.machines.size());
        return EXIT_OK;
    }
    DncService service(std::move(config));
    if (!service.Start(error)) {
        CliError(error);
        return EXIT_FAILED;
    }
    StopSignals stops(service.Loop());
    service.Run([&stops] { return stops.Count() > 0; });
    return EXIT_OK;
}
