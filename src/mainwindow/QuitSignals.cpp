#include "mainwindow/QuitSignals.h"

#include <QMetaMethod>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

#include "core/Logger.h"

namespace {

struct QuitSignal
{
    int number;
    const char *name;
};

// SIGHUP: the terminal the program was started from was closed.
constexpr QuitSignal kSignals[] = { { SIGTERM, "SIGTERM" }, { SIGINT, "SIGINT" }, { SIGHUP, "SIGHUP" } };

// The pipe the handlers write to; -1 while no instance is active.
int g_readEnd = -1;
int g_writeEnd = -1;
struct sigaction g_previous[std::size(kSignals)];

extern "C" void onQuitSignal(int number)
{
    const int savedErrno = errno;
    const char byte = char(number);
    // Non-blocking: with the pipe full a quit is already on its way.
    [[maybe_unused]] const ssize_t written = ::write(g_writeEnd, &byte, 1);
    errno = savedErrno;
}

} // namespace

QuitSignals::QuitSignals(QObject *parent)
    : QObject(parent)
{
    if (g_readEnd >= 0) {
        Logger::warning(QStringLiteral("Quit signals are already routed elsewhere"));
        return;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        Logger::warning(QStringLiteral("Quit signals: no pipe (%1); SIGTERM ends the program at once")
                            .arg(QString::fromLocal8Bit(std::strerror(errno))));
        return;
    }
    g_readEnd = fds[0];
    g_writeEnd = fds[1];
    m_notifier = new QSocketNotifier(g_readEnd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::readSignals);

    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i) {
        ::sigaction(kSignals[i].number, nullptr, &g_previous[i]);
        // Started with hang-ups ignored (nohup), the user wants it to outlive the terminal.
        if (kSignals[i].number == SIGHUP && g_previous[i].sa_handler == SIG_IGN)
            continue;
        ::sigaction(kSignals[i].number, &action, nullptr);
    }
}

QuitSignals::~QuitSignals()
{
    if (!m_notifier)
        return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i].number, &g_previous[i], nullptr);
    delete m_notifier;
    ::close(g_readEnd);
    ::close(g_writeEnd);
    g_readEnd = g_writeEnd = -1;
}

void QuitSignals::readSignals()
{
    char bytes[16];
    ssize_t n;
    while ((n = ::read(g_readEnd, bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            const int number = bytes[i];
            for (const QuitSignal &known : kSignals) {
                if (known.number == number)
                    Logger::info(QStringLiteral("%1 received: quitting").arg(QLatin1String(known.name)));
            }
            m_pending = number;
        }
    }
    if (isSignalConnected(QMetaMethod::fromSignal(&QuitSignals::quitRequested)))
        deliverPending();
}

void QuitSignals::connectNotify(const QMetaMethod &signal)
{
    QObject::connectNotify(signal);
    if (m_pending && signal == QMetaMethod::fromSignal(&QuitSignals::quitRequested))
        QMetaObject::invokeMethod(this, &QuitSignals::deliverPending, Qt::QueuedConnection);
}

void QuitSignals::deliverPending()
{
    const int number = m_pending;
    m_pending = 0;
    if (number)
        emit quitRequested(number);
}
