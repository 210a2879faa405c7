#include "kxview_process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace fs = std::filesystem;

ScratchDirectory::ScratchDirectory() {
    std::string pattern = (fs::temp_directory_path() / "kx-integration-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no scratch directory");
    root_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

std::string ScratchDirectory::path(const std::string& name) const { return root_ + "/" + name; }

KxviewProcess::KxviewProcess(const ScratchDirectory& directory,
                             const std::vector<std::string>& args)
    : out_path_(directory.path("stdout.txt")), err_path_(directory.path("stderr.txt")) {
    std::vector<std::string> command{KXVIEW_PATH};
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : command)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    // Offscreen; and, in sanitizer builds, leak reports only for our own code.
    std::vector<std::string> environment{"QT_QPA_PLATFORM=offscreen",
                                         "LSAN_OPTIONS=suppressions=" KX_LSAN_SUPPRESSIONS
                                         ":print_suppressions=0"};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string text = *entry;
        if (text.rfind("QT_QPA_PLATFORM=", 0) != 0 && text.rfind("LSAN_OPTIONS=", 0) != 0)
            environment.push_back(text);
    }
    std::vector<char*> envp;
    for (std::string& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ > 0) return;
    // The child: only async-signal-safe calls until exec.
    int out = open(out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || chdir(directory.root().c_str()) != 0 || dup2(out, 1) < 0 ||
        dup2(err, 2) < 0)
        _exit(127);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
}

KxviewProcess::~KxviewProcess() {
    if (reaped_) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
}

int KxviewProcess::wait_for_exit(std::chrono::milliseconds limit) {
    int status = 0;
    bool ended = wait_until([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
    if (!ended) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        reaped_ = true;
        return -1;
    }
    reaped_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool KxviewProcess::running() {
    if (reaped_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    reaped_ = true;
    return false;
}

// The mask of caught signals in /proc/PID/status, as hex.
bool KxviewProcess::wait_until_quit_handler_armed(std::chrono::milliseconds limit) {
    std::string status_path = "/proc/" + std::to_string(pid_) + "/status";
    return wait_until(
        [&] {
            std::istringstream lines(read_file(status_path));
            for (std::string line; std::getline(lines, line);) {
                if (line.rfind("SigCgt:", 0) != 0) continue;
                unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
                return ((mask >> (SIGTERM - 1)) & 1) != 0;
            }
            return false;
        },
        limit);
}

void KxviewProcess::send(int signal_number) { kill(pid_, signal_number); }
std::string KxviewProcess::out() const { return read_file(out_path_); }
std::string KxviewProcess::err() const { return read_file(err_path_); }

LinkedPty::LinkedPty(const std::string& link) {
    char name[256];
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("no pseudo-terminal");
    // Raw from the start, so bytes that arrive before kxview sets the line up
    // are not echoed or translated.
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    // Never blocks: a test must not hang on a line that nobody reads.
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    fs::create_symlink(name, link);
}

LinkedPty::~LinkedPty() {
    hang_up();
    close(slave_);
}

void LinkedPty::write(const std::vector<unsigned char>& bytes) {
    size_t done = 0;
    bool taken = wait_until(
        [&] {
            done += offer(bytes.data() + done, bytes.size() - done);
            return done == bytes.size();
        },
        2s);
    if (!taken) throw std::runtime_error("the line took no more bytes for 2 s");
}

size_t LinkedPty::offer(const unsigned char* data, size_t size) {
    ssize_t n = ::write(master_, data, size);
    if (n < 0 && errno != EAGAIN && errno != EINTR)
        throw std::runtime_error("pseudo-terminal write failed");
    return n > 0 ? static_cast<size_t>(n) : 0;
}

void LinkedPty::hang_up() {
    if (master_ >= 0) close(master_);
    master_ = -1;
}

EndlessSender::EndlessSender(LinkedPty* pty, std::vector<unsigned char> pattern)
    : thread_([this, pty, pattern = std::move(pattern)] {
          size_t at = 0;
          while (!stop_) {
              at = (at + pty->offer(pattern.data() + at, pattern.size() - at)) % pattern.size();
              std::this_thread::sleep_for(100us);
          }
      }) {}

EndlessSender::~EndlessSender() {
    stop_ = true;
    thread_.join();
}

bool wait_until(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (ready()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}
