#include "application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "runtime.h"

namespace kxqt {
namespace {

// Set by the handler, consumed by the event poll: the operator's Ctrl-C or a
// service manager's stop becomes an ordinary quit commit, so the normal
// teardown closes the port and the raw log.
volatile std::sig_atomic_t quit_requested = 0;

void on_quit_signal(int signal_number) {
    if (quit_requested) {
        // A second signal while the first is still unanswered: the program is
        // not polling, so let the default action end it.
        std::signal(signal_number, SIG_DFL);
        std::raise(signal_number);
        return;
    }
    quit_requested = 1;
}

void arm_quit_signals() {
    struct sigaction action = {};
    action.sa_handler = on_quit_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// QCoreApplication keeps references to both for its whole life.
int argc = 1;
char name[] = "kxview";
char* argv[] = {name, nullptr};

// A display that does not answer within this long counts as none.
constexpr auto PROBE_LIMIT = std::chrono::seconds(10);
constexpr auto PROBE_POLL = std::chrono::milliseconds(5);

// Qt ends the process (abort, a core file) when it finds no display; in the
// probe that becomes a plain failed exit, without Qt's messages.
void exit_on_fatal(QtMsgType type, const QMessageLogContext&, const QString&) {
    if (type == QtFatalMsg) _exit(1);
}

// The exit status of `child`, or -1 once it ran for longer than the limit.
int probe_status(pid_t child) {
    auto deadline = std::chrono::steady_clock::now() + PROBE_LIMIT;
    int status = 0;
    for (;;) {
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0 && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(PROBE_POLL);
    }
}

// Whether the window system can start. Tried for real in a child process:
// Qt gives no way to try it that does not end the process on failure, and
// the platform it would choose depends on more than DISPLAY and
// QT_QPA_PLATFORM.
bool gui_can_start() {
    // These platforms need no window system: nothing to try (the tests, and
    // kxview run headless, start 80 ms sooner).
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.startsWith("offscreen") || platform.startsWith("minimal")) return true;
    pid_t child = fork();
    if (child < 0) return true; // cannot tell: let the real start say
    if (child == 0) {
        qInstallMessageHandler(exit_on_fatal);
        QGuiApplication probe(argc, argv);
        _exit(0);
    }
    return probe_status(child) == 0;
}

QCoreApplication* instance = nullptr;
bool gui = false;

} // namespace

QCoreApplication& application() {
    if (!instance) {
        // Never destroyed: it lives until the process ends, like the window.
        // Without a window system the serial port and timers still work.
        gui = gui_can_start();
        instance = gui ? new QApplication(argc, argv) : new QCoreApplication(argc, argv);
        if (gui) QApplication::setStyle("Fusion");
        arm_quit_signals();
    }
    return *instance;
}

bool application_exists() { return instance != nullptr; }

bool take_quit_signal() {
    if (!quit_requested) return false;
    quit_requested = 0;
    return true;
}

} // namespace kxqt

int OpenDisplay() {
    kxqt::application();
    return kxqt::gui ? 0 : -1;
}
