// The lab for GoogleTest code: a PC namespace and a camera namespace joined by a
// veth pair, camsim running in the camera namespace, and the calling thread moved
// into the PC namespace, so that sockets the test opens (and threads it starts
// afterwards) live on the PC host.
//
// The network is built and held by `scripts/lab --serve`, whose standard input is
// a pipe from this process: when the Lab is destroyed, or the test process dies
// in any way, the pipe closes and the script removes camsim and both namespaces.
#ifndef TESTS_LAB_LAB_FIXTURE_H
#define TESTS_LAB_LAB_FIXTURE_H

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lab {

class Lab final {
public:
    // Starts a lab whose camsim gets `camsim_args` (e.g. {"--cameras", "3"}).
    explicit Lab(const std::vector<std::string> &camsim_args);
    ~Lab();
    Lab(const Lab &) = delete;
    Lab &operator=(const Lab &) = delete;

    bool ok() const { return error_.empty(); }
    // Leaves the PC namespace, removes the lab and gives the script's exit status:
    // not 0 when camsim crashed or did not stop cleanly. The destructor does the
    // same when it was not called.
    int finish();
    const std::string &error() const { return error_; }

    const std::string &pcIp() const { return pc_ip_; }
    const std::vector<std::string> &cameraIps() const { return camera_ips_; }
    const std::string &broadcast() const { return broadcast_; }
    // Lines of camsim's record so far (one per message received).
    std::vector<std::string> recordLines() const;
    // Record lines that contain every one of `parts`.
    std::vector<std::string> recordLinesWith(const std::vector<std::string> &parts) const;

private:
    void start(const std::vector<std::string> &camsim_args);

    std::string error_;
    int child_ = -1;
    int hold_fd_ = -1;       // the script's standard input, held open while the lab lives
    int home_netns_fd_ = -1; // the thread's namespace before entering the PC host
    int status_ = -1;
    std::string pc_ip_;
    std::string broadcast_;
    std::string record_;
    std::vector<std::string> camera_ips_;
};

// Whether this process may build labs (root: namespaces and veth pairs).
bool labAvailable();

// A test fixture that builds one lab per test with the camsim options of
// camsimArgs(); the test is skipped where labs cannot be built.
class LabTest : public ::testing::Test {
protected:
    virtual std::vector<std::string> camsimArgs() const { return {"--cameras", "3"}; }
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<Lab> lab_;
};

} // namespace lab

#endif
