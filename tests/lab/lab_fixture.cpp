#include "lab_fixture.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#ifndef LAB_SCRIPT
#error "LAB_SCRIPT must name scripts/lab"
#endif
#ifndef CAMSIM_PATH
#error "CAMSIM_PATH must name the camsim executable"
#endif

namespace lab {

namespace {

std::vector<std::string> splitWords(const std::string &text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

} // namespace

bool labAvailable() { return geteuid() == 0; }

Lab::Lab(const std::vector<std::string> &camsim_args)
{
    start(camsim_args);
}

void Lab::start(const std::vector<std::string> &camsim_args)
{
    int to_child[2];
    int from_child[2];
    // Close-on-exec: no other child of this process may keep the lab alive.
    if (pipe2(to_child, O_CLOEXEC) != 0 || pipe2(from_child, O_CLOEXEC) != 0) {
        error_ = "pipe failed";
        return;
    }
    std::vector<std::string> args = {"bash", LAB_SCRIPT, "--camsim", CAMSIM_PATH};
    args.insert(args.end(), camsim_args.begin(), camsim_args.end());
    args.push_back("--serve");
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    child_ = fork();
    if (child_ == 0) {
        dup2(to_child[0], 0);
        dup2(from_child[1], 1);
        execv("/bin/bash", argv.data());
        _exit(127);
    }
    close(to_child[0]);
    close(from_child[1]);
    hold_fd_ = to_child[1];
    if (child_ < 0) {
        close(from_child[0]);
        error_ = "fork failed";
        return;
    }

    // KEY=VALUE lines up to LAB_READY=1; end of output before it means the lab failed.
    std::string pc_ns;
    std::string pending;
    bool ready = false;
    char chunk[512];
    while (!ready) {
        const ssize_t n = read(from_child[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        pending.append(chunk, static_cast<size_t>(n));
        for (auto eol = pending.find('\n'); eol != std::string::npos; eol = pending.find('\n')) {
            const std::string line = pending.substr(0, eol);
            pending.erase(0, eol + 1);
            const auto eq = line.find('=');
            const std::string key = line.substr(0, eq);
            const std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
            if (key == "LAB_PC_NS") pc_ns = value;
            else if (key == "LAB_PC_IP") pc_ip_ = value;
            else if (key == "LAB_BROADCAST") broadcast_ = value;
            else if (key == "LAB_RECORD") record_ = value;
            else if (key == "LAB_CAMERA_IPS") camera_ips_ = splitWords(value);
            else if (key == "LAB_READY") ready = true;
        }
    }
    close(from_child[0]);
    if (!ready) {
        error_ = "scripts/lab did not get ready (see its messages above)";
        return;
    }
    home_netns_fd_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const int pc_fd = open(("/run/netns/" + pc_ns).c_str(), O_RDONLY | O_CLOEXEC);
    if (home_netns_fd_ < 0 || pc_fd < 0 || setns(pc_fd, CLONE_NEWNET) != 0)
        error_ = "cannot enter the PC namespace " + pc_ns + ": " + std::strerror(errno);
    if (pc_fd >= 0)
        close(pc_fd);
}

Lab::~Lab() { finish(); }

int Lab::finish()
{
    if (home_netns_fd_ >= 0) {
        setns(home_netns_fd_, CLONE_NEWNET);
        close(home_netns_fd_);
        home_netns_fd_ = -1;
    }
    if (hold_fd_ >= 0) {
        close(hold_fd_); // the script sees end of input and cleans up
        hold_fd_ = -1;
    }
    if (child_ > 0) {
        int status = 0;
        while (waitpid(child_, &status, 0) < 0 && errno == EINTR) {
        }
        child_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return status_;
}

std::vector<std::string> Lab::recordLines() const
{
    std::vector<std::string> lines;
    std::ifstream in(record_);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> Lab::recordLinesWith(const std::vector<std::string> &parts) const
{
    std::vector<std::string> found;
    for (const auto &line : recordLines()) {
        bool all = true;
        for (const auto &p : parts)
            all = all && line.find(p) != std::string::npos;
        if (all)
            found.push_back(line);
    }
    return found;
}

void LabTest::SetUp()
{
    if (!labAvailable())
        GTEST_SKIP() << "the lab needs root (the test command runs the suite as root in a private namespace)";
    lab_ = std::make_unique<Lab>(camsimArgs());
    ASSERT_TRUE(lab_->ok()) << lab_->error();
}

void LabTest::TearDown()
{
    if (lab_ && lab_->ok()) {
        EXPECT_EQ(lab_->finish(), 0) << "scripts/lab failed: camsim crashed or did not stop cleanly (see above)";
    }
    lab_.reset();
}

} // namespace lab
