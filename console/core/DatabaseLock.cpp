#include "DatabaseLock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QString userName()
{
    if (const passwd *entry = ::getpwuid(::getuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return QString::number(::getuid());
}

QString holderText()
{
    return QStringLiteral("Benutzer %1 am PC %2 (Prozess %3) seit %4\n")
        .arg(userName(), QHostInfo::localHostName(),
             QString::number(QCoreApplication::applicationPid()),
             QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
}

QString readHolder(int fd)
{
    QByteArray bytes(512, '\0');
    const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), 0);
    return got > 0 ? QString::fromUtf8(bytes.left(got)).trimmed() : QString();
}
}

DatabaseLock::~DatabaseLock()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString DatabaseLock::lockPathFor(const QString &databasePath)
{
    const QFileInfo database(databasePath);
    return database.dir().filePath(database.completeBaseName() + QStringLiteral(".lock"));
}

Failure DatabaseLock::acquire(const QString &databasePath)
{
    const QString path = lockPathFor(databasePath);
    const QString shownPath = QDir::toNativeSeparators(path);
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0660);
    if (fd < 0) {
        return Failure(
            QStringLiteral(
                "Die Sperrdatei %1 lässt sich nicht anlegen oder öffnen (%2). Bitte die Rechte im"
                " Programmverzeichnis prüfen und Kavo neu starten.")
                .arg(shownPath, QString::fromLocal8Bit(std::strerror(errno))));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const QString holder = readHolder(fd);
        ::close(fd);
        return Failure(
            QStringLiteral(
                "Die Datenbank %1 wird schon von einem anderen Kavo benutzt (%2). Es darf nur "
                "ein Kavo"
                " mit ihr arbeiten. Bitte jenes Kavo beenden und dieses dann neu starten.")
                .arg(QDir::toNativeSeparators(databasePath),
                     holder.isEmpty() ? QStringLiteral("unbekannt, siehe %1").arg(shownPath)
                                      : holder));
    }
    // Operators of one group share the file; a mode narrowed by the umask is widened again.
    struct stat status
    { };
    if (::fstat(fd, &status) == 0 && status.st_uid == ::getuid())
        ::fchmod(fd, 0660);
    const QByteArray holder = holderText().toUtf8();
    if (::ftruncate(fd, 0) == 0
        && ::pwrite(fd, holder.constData(), holder.size(), 0) == holder.size())
        ::fsync(fd);
    m_fd = fd;
    return Failure::none();
}
