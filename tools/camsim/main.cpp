// camsim: simulated cameras for tests and demonstrations. See usage() in
// sim_options.cpp for the options and the settings file.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>

#include "camera_family.h"
#include "recorder.h"
#include "runtime/cross_sys.h"
#include "sim_options.h"

int main(int argc, char **argv)
{
    camsim::SimOptions options;
    std::string error;
    if (!camsim::parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "camsim: %s\n%s", error.c_str(), camsim::usage());
        return 2;
    }
    if (options.help) {
        std::fputs(camsim::usage(), stdout);
        return 0;
    }
    ntcp_printf_set_level(options.verbose ? static_cast<uint32_t>(NTCP_SEVERITY_DEBUG) : NTCP_PRINTF_LEVEL_OFF);

    // Termination is taken by sigwait below, so every thread started from here on
    // leaves these signals blocked; writes to a closed peer give an error, not SIGPIPE.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    camsim::Recorder recorder;
    if (!recorder.open(options.record_path, options.record_limit, error)) {
        std::fprintf(stderr, "camsim: %s\n", error.c_str());
        return 1;
    }

    std::map<std::string, std::vector<camsim::CameraConfig>> by_family;
    for (const auto &camera : options.cameras)
        by_family[camera.family].push_back(camera);
    std::vector<std::unique_ptr<camsim::CameraFamily>> families;
    for (auto &[name, cameras] : by_family) {
        auto family = camsim::makeFamily(name, cameras, options, recorder, error);
        if (!family || !family->start(error)) {
            std::fprintf(stderr, "camsim: %s\n", error.c_str());
            return 1;
        }
        families.push_back(std::move(family));
    }

    std::printf("camsim: %zu camera(s) ready:", options.cameras.size());
    for (const auto &camera : options.cameras)
        std::printf(" %s", camera.ip.c_str());
    std::printf("\n");
    std::fflush(stdout);
    if (!options.ready_path.empty())
        std::ofstream(options.ready_path) << "ready\n";

    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    for (auto &family : families)
        family->stop();
    std::printf("camsim: stopped\n");
    return 0;
}
