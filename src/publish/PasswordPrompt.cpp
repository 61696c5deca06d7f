#include "publish/PasswordPrompt.h"

#include "platform/runtime/RuntimeError.h"

#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

QByteArray PasswordPrompt() {
    if (qEnvironmentVariableIsSet("KORU_PUBLISH_PASSWORD"))
        return qgetenv("KORU_PUBLISH_PASSWORD");
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
    if (tty < 0)
        throw RuntimeError(RuntimeErrors::invalidCall,
                           "The secret key is protected by a password: set KORU_PUBLISH_PASSWORD "
                           "or run koru-publish from a terminal.",
                           "koru-publish");
    static const char prompt[] = "Password: ";
    (void)!::write(tty, prompt, sizeof prompt - 1);
    termios saved{};
    const bool isTerminal = ::tcgetattr(tty, &saved) == 0;
    if (isTerminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(tty, TCSAFLUSH, &quiet);
    }
    QByteArray password;
    char c = 0;
    while (password.size() < 1024 && ::read(tty, &c, 1) == 1 && c != '\n')
        password += c;
    if (isTerminal)
        ::tcsetattr(tty, TCSAFLUSH, &saved);
    (void)!::write(tty, "\n", 1);
    ::close(tty);
    if (password.endsWith('\r'))
        password.chop(1);
    return password;
}
