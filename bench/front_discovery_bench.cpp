// Discovery and device information of many cameras through the exported functions,
// as the program's discovery thread runs them: one discovery (1000 ms window, at
// most 50 cameras), then nolmak_get_info for every camera found. Prints the wall
// time of each discovery and the median and worst time of one nolmak_get_info.
// Runs on the PC host of a lab:
//
//   scripts/lab --camsim build/default/tools/camsim/camsim --cameras 50 --
//       build/default/bench/front_discovery_bench [rounds]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "nolmak/nolmak.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    const char *pcIp = std::getenv("LAB_PC_IP");
    if (pcIp == nullptr) {
        std::fprintf(stderr, "run it on the PC host of a lab: scripts/lab --cameras 50 -- %s\n", argv[0]);
        return 2;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::printf("discovery of up to 50 cameras (1000 ms window) and nolmak_get_info of each, %d rounds\n", rounds);
    std::vector<double> allInfo;
    for (int round = 1; round <= rounds; ++round) {
        void *sdk = nolmak_create();
        nolmak_set_local_ip(sdk, pcIp);
        const Clock::time_point start = Clock::now();
        const int32_t ok = nolmak_discover_all_devices(sdk, 1000, 50, 0);
        const double discoveryMs = msSince(start);
        int32_t count = 0;
        const DiscoveryDev_T *found = nolmak_last_found_devices(sdk, &count);
        std::vector<double> info;
        int32_t delivered = 0;
        for (int32_t i = 0; ok == 1 && i < count; ++i) {
            DeviceInfo_T record{};
            const Clock::time_point one = Clock::now();
            nolmak_get_info(sdk, found[i].ip, &record, 0);
            info.push_back(msSince(one));
            delivered += record.interface_count > 0 ? 1 : 0;
        }
        nolmak_destroy(sdk);
        std::sort(info.begin(), info.end());
        allInfo.insert(allInfo.end(), info.begin(), info.end());
        const double total = msSince(start);
        std::printf("round %d: discovery %.1f ms, %d cameras found; get_info %d delivered, median %.2f ms, "
                    "worst %.2f ms; whole run %.1f ms\n",
                    round, discoveryMs, count, delivered, info.empty() ? 0.0 : info[info.size() / 2],
                    info.empty() ? 0.0 : info.back(), total);
    }
    std::sort(allInfo.begin(), allInfo.end());
    if (!allInfo.empty())
        std::printf("all rounds: get_info median %.2f ms, worst %.2f ms over %zu calls "
                    "(target: 1000 ms window + at most 30 ms median per camera)\n",
                    allInfo[allInfo.size() / 2], allInfo.back(), allInfo.size());
    return 0;
}
