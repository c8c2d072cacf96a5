#include "CustomerSession.h"

#include "HomeReset.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>

namespace {

// Kill rounds after the grace: a process may start another while being killed.
constexpr int killRounds = 20;

// Whether the process lives and runs as the user, by its real or its effective id.
// An ended process waiting for its parent to note its end is dead already.
bool runsAs(const QString &pid, uid_t uid)
{
    QFile status(QStringLiteral("/proc/") + pid + QStringLiteral("/status"));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("State:") && (line.contains("Z (") || line.contains("X (")))
            return false;
        if (!line.startsWith("Uid:"))
            continue;
        const QList<QByteArray> ids = line.mid(4).simplified().split(' ');
        return ids.size() >= 2 && (ids[0].toUInt() == uid || ids[1].toUInt() == uid);
    }
    return false;
}

// Sends the signal through a handle on the process taken before its owner is
// checked, so that a number taken over by another process meanwhile is not hit.
bool signalIfRunsAs(pid_t pid, uid_t uid, int signal)
{
    const int handle = int(::syscall(SYS_pidfd_open, pid, 0));
    if (handle < 0)
        return false;
    const bool hit = runsAs(QString::number(pid), uid)
        && ::syscall(SYS_pidfd_send_signal, handle, signal, nullptr, 0) == 0;
    ::close(handle);
    return hit;
}

// Sends the signal to every process of the user; how many were hit.
int signalAll(uid_t uid, int signal)
{
    int hit = 0;
    const pid_t own = ::getpid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isNumber = false;
        const pid_t pid = pid_t(entry.toInt(&isNumber));
        if (isNumber && pid != own && signalIfRunsAs(pid, uid, signal))
            ++hit;
    }
    return hit;
}

void killAll(uid_t uid)
{
    for (int round = 0; round < killRounds && signalAll(uid, SIGKILL) > 0; ++round)
        ::usleep(5000);
}

}

CustomerSession::CustomerSession(const QString &account, bool resetsHome, QObject *parent)
    : QObject(parent)
    , m_account(account)
    , m_resetsHome(resetsHome)
{
    connect(&m_graceTimer, &ClockTimer::timeout, this, &CustomerSession::finish);
}

std::optional<CustomerSession::Account> CustomerSession::lookUp(Failure &why) const
{
    const QByteArray name = m_account.toLocal8Bit();
    const passwd *entry = ::getpwnam(name.constData());
    if (!entry) {
        why = Failure(QStringLiteral("Das Kundenkonto „") + m_account
                      + QStringLiteral("“ (Client.ini, [Sperre] Kunde) gibt es auf diesem PC "
                                       "nicht. Seine Programme werden nicht beendet."));
        return std::nullopt;
    }
    if (entry->pw_uid < firstCustomerUid || entry->pw_uid == uid_t(65534)) {
        why = Failure(QStringLiteral("Das Kundenkonto „") + m_account
                      + QStringLiteral("“ (Client.ini, [Sperre] Kunde) ist root oder ein Konto "
                                       "des Systems. Seine Programme werden nicht beendet und "
                                       "es wird nicht zurückgesetzt."));
        return std::nullopt;
    }
    why = Failure::none();
    return Account{entry->pw_uid, entry->pw_gid, QString::fromLocal8Bit(entry->pw_dir)};
}

Failure CustomerSession::check() const
{
    Failure why;
    (void)lookUp(why);
    return why;
}

void CustomerSession::end()
{
    if (!isKept())
        return;
    Failure why;
    const std::optional<Account> account = lookUp(why);
    if (!account) {
        emit problem(why.text());
        return;
    }
    // Where logind keeps the sessions it ends them its own way as well; the
    // signals below do not depend on its leave.
    if (QFile::exists(QStringLiteral("/run/systemd/system"))
        && QFile::exists(QStringLiteral("/run/systemd/seats"))) {
        const QString loginctl = QStandardPaths::findExecutable(QStringLiteral("loginctl"));
        if (!loginctl.isEmpty())
            QProcess::startDetached(loginctl, {QStringLiteral("terminate-user"), m_account});
    }
    signalAll(account->uid, SIGTERM);
    // Stopped processes take the request only once they go on.
    signalAll(account->uid, SIGCONT);
    if (!m_graceTimer.isActive())
        m_graceTimer.start(graceMs);
}

void CustomerSession::endAtOnce()
{
    if (!isKept())
        return;
    Failure why;
    if (const std::optional<Account> account = lookUp(why))
        killAll(account->uid);
}

void CustomerSession::finish()
{
    Failure why;
    const std::optional<Account> account = lookUp(why);
    if (!account)
        return;
    killAll(account->uid);
    if (m_resetsHome) {
        if (const Failure failure = HomeReset::reset(account->home, account->uid, account->gid,
                                                     HomeReset::templateDirectory()))
            emit problem(failure.text());
        // A desktop that came up while the home was made anew starts again on it.
        killAll(account->uid);
    }
    emit ended();
}
