#include "app/qtplatform/StopSignal.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>

#include "serial/PortRestore.h"

namespace {

int g_pipe[2] = {-1, -1};

void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

// A second signal ends the program at once, as the user asked twice; the ports it changed get
// their settings back on the way out, and the signal then takes its default course.
void OnSecondSignal(int signal) {
    serial::RestoreAllPortSettings();
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    ::raise(signal);
}

void SetHandler(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocking read of the terminal (a prompt) returns EINTR and gives up.
    action.sa_flags = 0;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        ::sigaction(signal, &action, nullptr);
}

}  // namespace

StopSignal::StopSignal(std::function<void()> onStop) : onStop_(std::move(onStop)) {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        char bytes[16];
        while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
        }
        if (raised_)
            return;
        raised_ = true;
        SetHandler(OnSecondSignal);
        if (onStop_)
            onStop_();
    });
    SetHandler(OnSignal);
}

StopSignal::~StopSignal() {
    SetHandler(SIG_DFL);
    notifier_.reset();
    for (int& fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
