#include "application.h"

#include <QApplication>
#include <csignal>
#include <signal.h>

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

QApplication* instance = nullptr;

} // namespace

QApplication& application() {
    if (!instance) {
        // QApplication keeps references to both for its whole life.
        static int argc = 1;
        static char name[] = "kxview";
        static char* argv[] = {name, nullptr};
        // Never destroyed: it lives until the process ends, like the window.
        instance = new QApplication(argc, argv);
        QApplication::setStyle("Fusion");
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
