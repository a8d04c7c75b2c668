#include "server_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

namespace {

// Between fork and exec only async-signal-safe calls are allowed: the test process may have
// threads running. The server must not inherit the test's signal mask or ignored SIGPIPE.
[[noreturn]] void execServer(std::vector<char*>& argv, int logFd, long long fileSizeLimit) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    int devNull = ::open("/dev/null", O_RDWR);
    ::dup2(devNull, 0);
    ::dup2(devNull, 1);
    ::dup2(logFd, 2);
    if (fileSizeLimit >= 0) {
        rlimit limit{static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_IGN);  // past the limit write() fails with EFBIG instead of killing
    }
    ::execv(argv[0], argv.data());
    _exit(127);
}

}  // namespace

bool within(int seconds, const std::function<bool()>& done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(5))) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
    }
    return true;
}

::testing::AssertionResult ServerTest::startServer(const std::vector<std::string>& flags,
                                                   long long fileSizeLimit) {
    std::vector<std::string> args = {GLIMMERIX_SERVER_PATH, "--data-dir", dataDir(), "--port", "0"};
    args.insert(args.end(), {"--public-url", "http://glimmerix.test", "--listen", "127.0.0.1"});
    args.insert(args.end(), flags.begin(), flags.end());
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::string logPath = temp_.path + "/server.log";
    int logFd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (logFd < 0) return ::testing::AssertionFailure() << "cannot create " << logPath;
    pid_ = ::fork();
    if (pid_ == 0) execServer(argv, logFd, fileSizeLimit);
    ::close(logFd);
    if (pid_ < 0) return ::testing::AssertionFailure() << "fork failed";
    static const std::regex kListening(" port ([0-9]+), links start with ");
    std::string text;
    std::smatch match;
    bool exited = false;
    bool listening = within(5, [&] {
        exited = ::waitpid(pid_, nullptr, WNOHANG) == pid_;  // its log is then complete
        return std::regex_search(text = log(), match, kListening) || exited;
    });
    if (listening && !exited) {
        port_ = std::stoi(match[1]);
        return ::testing::AssertionSuccess();
    }
    if (!exited) stopServer();
    pid_ = -1;
    return ::testing::AssertionFailure()
           << (exited ? "the server exited at start-up:\n" : "no listening line:\n") << text;
}

int ServerTest::stopServer() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    int status = -1;
    pid_t done = 0;
    within(15, [&] { return (done = ::waitpid(pid_, &status, WNOHANG)) != 0; });
    if (done == 0 && ::kill(pid_, SIGKILL) == 0) ::waitpid(pid_, nullptr, 0);  // hung
    pid_ = -1;
    return done > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ServerTest::signalServer(int signal) const {
    if (pid_ > 0) ::kill(pid_, signal);
}

bool ServerTest::logShows(const std::string& text) const {
    return within(5, [&] { return log().find(text) != std::string::npos; });
}

void ServerTest::TearDown() {
    EXPECT_EQ(pid_ > 0 ? stopServer() : 0, 0) << "the server did not stop cleanly:\n" << log();
}
