#include "server_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <regex>
#include <thread>

#include "temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> argvOf(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return argv;
}

// In the child between fork and exec only async-signal-safe calls are allowed: the test
// process may have threads running.
void resetSignalsInChild() {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
}

int exitStatusOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Polls for the child's end; 1 with `status` filled, 0 on timeout.
bool waitWithTimeout(pid_t pid, std::chrono::milliseconds patience, int* status) {
    auto deadline = Clock::now() + patience;
    for (;;) {
        pid_t done = ::waitpid(pid, status, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD)) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace

ServerProcess::ServerProcess(ServerLaunch launch)
    : launch_(std::move(launch)), logPath_(launch_.dataDir + ".stderr.log") {}

ServerProcess::~ServerProcess() {
    if (running()) killHard();
}

bool ServerProcess::start(std::string* error) {
    std::vector<std::string> args = {GLIMMERIX_SERVER_PATH, "--data-dir",      launch_.dataDir,
                                     "--public-url",        launch_.publicUrl, "--listen",
                                     "127.0.0.1",           "--port",          "0"};
    args.insert(args.end(), launch_.extraArgs.begin(), launch_.extraArgs.end());
    std::vector<char*> argv = argvOf(args);
    std::string logPath = logPath_;
    long long fileSizeLimit = launch_.fileSizeLimit;

    // Each start appends, so a restarted server's log follows the first one's.
    int logFd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logFd < 0) {
        if (error) *error = "cannot create " + logPath;
        return false;
    }
    std::size_t logStart = readFile(logPath).size();
    pid_t pid = ::fork();
    if (pid == 0) {
        resetSignalsInChild();
        int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(logFd, 2);
        if (fileSizeLimit >= 0) {
            rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            // Past the limit write() then fails with EFBIG instead of killing the process.
            signal(SIGXFSZ, SIG_IGN);
        }
        ::execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(logFd);
    if (pid < 0) {
        if (error) *error = "fork failed";
        return false;
    }
    pid_ = pid;

    static const std::regex kListening(" port ([0-9]+), links start with ");
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
        std::string text = readFile(logPath).substr(logStart);
        std::smatch match;
        if (std::regex_search(text, match, kListening)) {
            port_ = std::stoi(match[1]);
            return true;
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            if (error) *error = "server exited at start-up:\n" + text;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (error) *error = "server did not report listening:\n" + log();
    killHard();
    return false;
}

int ServerProcess::stop(std::chrono::milliseconds patience) {
    if (!running()) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    if (!waitWithTimeout(pid_, patience, &status)) {
        killHard();
        return -1;
    }
    pid_ = -1;
    return exitStatusOf(status);
}

void ServerProcess::killHard() {
    if (!running()) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
}

std::string ServerProcess::log() const {
    return readFile(logPath_);
}
