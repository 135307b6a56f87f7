#include "app/quitsignals.h"

#include "app/mainform.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

int writeEnd = -1;

extern "C" void writeSignal(int signal)
{
    const int saved = errno;
    const char byte = char(signal);
    if (writeEnd >= 0) [[maybe_unused]]
        const ssize_t written = ::write(writeEnd, &byte, 1);
    errno = saved;
}

} // namespace

QuitOnSignals::QuitOnSignals(TFormMain *form) : m_form(form)
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    writeEnd = m_pipe[1];
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitOnSignals::signalled);

    struct sigaction action {};
    action.sa_handler = writeSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, &m_oldTerm);
    sigaction(SIGINT, &action, &m_oldInt);
}

QuitOnSignals::~QuitOnSignals()
{
    if (m_pipe[0] < 0)
        return;
    sigaction(SIGTERM, &m_oldTerm, nullptr);
    sigaction(SIGINT, &m_oldInt, nullptr);
    writeEnd = -1;
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void QuitOnSignals::signalled()
{
    char bytes[16];
    while (::read(m_pipe[0], bytes, sizeof bytes) > 0) {}
    if (m_form->runInProgress()) {
        m_form->close();
        return;
    }
    // A dialog's own loop is on the stack: every loop ends, and main()
    // closes the window once they have.
    if (QApplication::activeModalWidget()) {
        QCoreApplication::exit(0);
        return;
    }
    m_form->close();
}
