#include "application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
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

// Whether the server of a local X display (":N" or ":N.S") takes a
// connection on its socket, in the file system or the abstract namespace;
// -1 when `display` names no local display.
int local_x_server_answers(const QByteArray& display) {
    bool numbered = false;
    QByteArray number = display.mid(1).split('.').value(0);
    number.toInt(&numbered);
    if (!display.startsWith(':') || !numbered) return -1;
    QByteArray path = "/tmp/.X11-unix/X" + number;
    for (bool abstract : {false, true}) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + abstract, path.constData(), path.size());
        auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + abstract +
                                             static_cast<size_t>(path.size()));
        int socket_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (socket_fd < 0) return -1;
        bool answered = ::connect(socket_fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
        close(socket_fd);
        if (answered) return 1;
    }
    return 0;
}

// Whether the window system can start. A headless platform always can; a
// local X server is asked on its socket, which takes a fraction of a
// millisecond. Anything else is tried for real in a child process (about
// 100 ms): Qt gives no way to try it that does not end the process on
// failure, and the platform it would choose depends on more than DISPLAY.
bool gui_can_start() {
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.startsWith("offscreen") || platform.startsWith("minimal")) return true;
    bool x =
        platform.startsWith("xcb") || (platform.isEmpty() && qgetenv("WAYLAND_DISPLAY").isEmpty());
    int local = x ? local_x_server_answers(qgetenv("DISPLAY")) : -1;
    if (local >= 0) return local == 1;
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
