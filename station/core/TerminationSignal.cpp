#include "TerminationSignal.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace {

int writeEnd = -1;

void tellLoop(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
}

}

TerminationSignal::TerminationSignal(QObject *parent)
    : QObject(parent)
{
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    writeEnd = m_pipe[1];
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignal::take);
    struct sigaction action
    { };
    action.sa_handler = tellLoop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
}

TerminationSignal::~TerminationSignal()
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        std::signal(signal, SIG_DFL);
    writeEnd = -1;
    for (const int end : m_pipe) {
        if (end >= 0)
            ::close(end);
    }
}

void TerminationSignal::take()
{
    char bytes[16];
    while (::read(m_pipe[0], bytes, sizeof bytes) > 0) { }
    emit received();
}
