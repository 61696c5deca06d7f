#include "console/StopSignals.h"

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int stopping[] = {SIGINT, SIGTERM};
int pipeFds[2] = {-1, -1};

extern "C" void Noted(int signal) {
    const auto byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(pipeFds[1], &byte, 1);
}

void Handle(int signal, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signal, &action, nullptr);
}

} // namespace

StopSignals::StopSignals(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pipeFds) != 0)
        return; // the signals keep their default actions
    notifier_ = std::make_unique<QSocketNotifier>(pipeFds[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        char byte = 0;
        while (::read(pipeFds[0], &byte, 1) == 1) {
            Handle(byte, SIG_DFL);
            onSignal_(byte);
        }
    });
    for (const int signal : stopping)
        Handle(signal, Noted);
}

StopSignals::~StopSignals() {
    for (const int signal : stopping)
        Handle(signal, SIG_DFL);
    notifier_.reset();
    for (int& fd : pipeFds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
