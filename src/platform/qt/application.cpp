#include "application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <xcb/xcb.h>

#include "backend_storage.h"
#include "panel_style.h"
#include "runtime.h"

namespace kxqt {

BackendStorage backend;

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

// Whether `display` names a display of this machine (":N" or ":N.S"), which
// answers at once: one elsewhere may keep a connection waiting.
bool local_display(const QByteArray& display) {
    bool numbered = false;
    display.mid(1).split('.').value(0).toInt(&numbered);
    return display.startsWith(':') && numbered;
}

// For the length of a probe: a server that hangs up at once would end the
// process with SIGPIPE on the first write, so the signal is held and then
// dropped; and the library writes a refusing server's reason to standard
// error unasked, where the operator gets one line from kxview instead.
class QuietProbe {
  public:
    QuietProbe() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &signals_);
        std::fflush(stderr);
        error_ = dup(STDERR_FILENO);
        int nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (nowhere >= 0) dup2(nowhere, STDERR_FILENO);
        if (nowhere >= 0) close(nowhere);
    }
    ~QuietProbe() {
        if (error_ >= 0) dup2(error_, STDERR_FILENO);
        if (error_ >= 0) close(error_);
        timespec none{};
        while (sigtimedwait(&pipe_, nullptr, &none) == SIGPIPE) {
        }
        pthread_sigmask(SIG_SETMASK, &signals_, nullptr);
    }
    QuietProbe(const QuietProbe&) = delete;
    QuietProbe& operator=(const QuietProbe&) = delete;

  private:
    sigset_t pipe_, signals_;
    int error_ = -1;
};

// Whether the X server takes this program as a client, asked as Qt's X
// platform asks it (the same library, the same authority file): a socket that
// takes the connection and hangs up, or a server that turns down the
// authority, says no here instead of aborting inside Qt. About a millisecond.
bool x_server_accepts(const QByteArray& display) {
    QuietProbe quiet;
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    if (xcb_connection_has_error(connection) == 0) {
        backend.probe_connection = connection;
        return true;
    }
    xcb_disconnect(connection);
    return false;
}

// Whether the window system can start. A headless platform always can; a
// local X server is asked for a connection. Anything else is tried for real
// in a child process (about 100 ms): Qt gives no way to try it that does not
// end the process on failure, and the platform it would choose depends on
// more than DISPLAY.
bool gui_can_start() {
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.startsWith("offscreen") || platform.startsWith("minimal")) return true;
    bool x =
        platform.startsWith("xcb") || (platform.isEmpty() && qgetenv("WAYLAND_DISPLAY").isEmpty());
    QByteArray display = qgetenv("DISPLAY");
    if (x && local_display(display)) return x_server_accepts(display);
    pid_t child = fork();
    if (child < 0) return true; // cannot tell: let the real start say
    if (child == 0) {
        qInstallMessageHandler(exit_on_fatal);
        QGuiApplication probe(argc, argv);
        _exit(0);
    }
    return probe_status(child) == 0;
}

} // namespace

QCoreApplication& application() {
    if (!backend.application) {
        // Never destroyed: it lives until the process ends, like the window.
        // Without a window system the serial port and timers still work.
        backend.gui = gui_can_start();
        backend.application =
            backend.gui ? new QApplication(argc, argv) : new QCoreApplication(argc, argv);
        if (backend.probe_connection) xcb_disconnect(backend.probe_connection);
        backend.probe_connection = nullptr;
        if (backend.gui) {
            QApplication::setStyle(new PanelStyle);
            // The panel's texts are numbers, hex and plain words, rewritten
            // for every frame: Latin text needs no shaping, which was a
            // tenth of a paced frame's cost.
            QFont font = QApplication::font();
            font.setStyleStrategy(QFont::PreferNoShaping);
            QApplication::setFont(font);
        }
        arm_quit_signals();
    }
    return *backend.application;
}

bool application_exists() { return backend.application != nullptr; }

bool take_quit_signal() {
    if (!quit_requested) return false;
    quit_requested = 0;
    return true;
}

} // namespace kxqt

int OpenDisplay() {
    kxqt::application();
    return kxqt::backend.gui ? 0 : -1;
}
