#include "HomeReset.h"

#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace HomeReset {
namespace {

// Deeper trees than this are not walked; no template and no sane home goes so deep.
constexpr int maxDepth = 128;

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd;
};

Failure systemFailure(const QString &what, const char *name)
{
    return Failure(QStringLiteral("Das Zurücksetzen des Kundenkontos ist fehlgeschlagen: ") + what
                   + QStringLiteral(" „") + QString::fromLocal8Bit(name) + QStringLiteral("“ (")
                   + QString::fromLocal8Bit(std::strerror(errno)) + QStringLiteral(")."));
}

int openDirectoryAt(int parent, const char *name)
{
    return ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The names in a directory, without "." and "..".
std::vector<std::string> namesIn(int directory)
{
    std::vector<std::string> names;
    const int own = ::dup(directory);
    DIR *listing = own >= 0 ? ::fdopendir(own) : nullptr;
    if (!listing) {
        if (own >= 0)
            ::close(own);
        return names;
    }
    while (const dirent *entry = ::readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, ".."))
            names.emplace_back(entry->d_name);
    }
    ::closedir(listing);
    return names;
}

Failure empty(int directory, int depth)
{
    if (depth > maxDepth)
        return Failure(QStringLiteral("Das Zurücksetzen des Kundenkontos ist fehlgeschlagen: "
                                      "Die Ordner liegen zu tief ineinander."));
    for (const std::string &name : namesIn(directory)) {
        struct stat status
        { };
        if (::fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(status.st_mode)) {
            const FileDescriptor sub(openDirectoryAt(directory, name.c_str()));
            if (!sub)
                return systemFailure(QStringLiteral("Ordner"), name.c_str());
            if (Failure failure = empty(sub.get(), depth + 1))
                return failure;
        }
        if (::unlinkat(directory, name.c_str(), S_ISDIR(status.st_mode) ? AT_REMOVEDIR : 0) != 0)
            return systemFailure(QStringLiteral("Datei"), name.c_str());
    }
    return Failure::none();
}

Failure copyFile(int from, int to, const char *name, mode_t mode)
{
    const FileDescriptor source(::openat(from, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    const FileDescriptor target(
        ::openat(to, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & 07777));
    if (!source || !target)
        return systemFailure(QStringLiteral("Datei"), name);
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(source.get(), buffer, sizeof buffer);
        if (got < 0)
            return systemFailure(QStringLiteral("Datei"), name);
        if (got == 0)
            return Failure::none();
        for (ssize_t written = 0; written < got;) {
            const ssize_t put = ::write(target.get(), buffer + written, size_t(got - written));
            if (put < 0)
                return systemFailure(QStringLiteral("Datei"), name);
            written += put;
        }
    }
}

Failure copyLink(int from, int to, const char *name)
{
    std::vector<char> target(PATH_MAX + 1);
    const ssize_t length = ::readlinkat(from, name, target.data(), target.size() - 1);
    if (length < 0)
        return systemFailure(QStringLiteral("Verweis"), name);
    target[size_t(length)] = '\0';
    if (::symlinkat(target.data(), to, name) != 0)
        return systemFailure(QStringLiteral("Verweis"), name);
    return Failure::none();
}

Failure copyInto(int from, int to, uid_t owner, gid_t group, int depth);

Failure copyEntry(int from, int to, const std::string &name, uid_t owner, gid_t group, int depth)
{
    struct stat status
    { };
    if (::fstatat(from, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return systemFailure(QStringLiteral("Vorlage"), name.c_str());
    if (S_ISDIR(status.st_mode)) {
        if (::mkdirat(to, name.c_str(), 0700) != 0)
            return systemFailure(QStringLiteral("Ordner"), name.c_str());
        const FileDescriptor source(openDirectoryAt(from, name.c_str()));
        const FileDescriptor target(openDirectoryAt(to, name.c_str()));
        if (!source || !target)
            return systemFailure(QStringLiteral("Ordner"), name.c_str());
        if (Failure failure = copyInto(source.get(), target.get(), owner, group, depth + 1))
            return failure;
        if (::fchmod(target.get(), status.st_mode & 07777) != 0)
            return systemFailure(QStringLiteral("Ordner"), name.c_str());
    } else if (S_ISREG(status.st_mode)) {
        if (Failure failure = copyFile(from, to, name.c_str(), status.st_mode))
            return failure;
    } else if (S_ISLNK(status.st_mode)) {
        if (Failure failure = copyLink(from, to, name.c_str()))
            return failure;
    } else {
        return Failure::none(); // devices, pipes and sockets have no place in a home
    }
    if (::fchownat(to, name.c_str(), owner, group, AT_SYMLINK_NOFOLLOW) != 0)
        return systemFailure(QStringLiteral("Besitzer von"), name.c_str());
    return Failure::none();
}

Failure copyInto(int from, int to, uid_t owner, gid_t group, int depth)
{
    if (depth > maxDepth)
        return Failure(QStringLiteral("Das Zurücksetzen des Kundenkontos ist fehlgeschlagen: "
                                      "Die Ordner der Vorlage liegen zu tief ineinander."));
    for (const std::string &name : namesIn(from)) {
        if (Failure failure = copyEntry(from, to, name, owner, group, depth))
            return failure;
    }
    return Failure::none();
}

}

QString templateDirectory()
{
    const QString cafes = QString::fromLatin1(cafeTemplate);
    return QFileInfo(cafes).isDir() ? cafes : QString::fromLatin1(systemTemplate);
}

Failure reset(const QString &home, uid_t owner, gid_t group, const QString &templateDir)
{
    const QByteArray homePath = home.toLocal8Bit();
    if (!home.startsWith(QLatin1Char('/'))
        || QFileInfo(home).canonicalFilePath() == QStringLiteral("/"))
        return Failure(QStringLiteral("Das Zurücksetzen des Kundenkontos ist abgelehnt: Der "
                                      "Heimatordner „")
                       + home + QStringLiteral("“ ist kein eigener Ordner."));
    const FileDescriptor homeDir(
        ::open(homePath.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status
    { };
    if (!homeDir || ::fstat(homeDir.get(), &status) != 0)
        return systemFailure(QStringLiteral("Heimatordner"), homePath.constData());
    if (status.st_uid != owner)
        return Failure(QStringLiteral("Das Zurücksetzen des Kundenkontos ist abgelehnt: Der "
                                      "Heimatordner „")
                       + home + QStringLiteral("“ gehört nicht dem Kundenkonto."));
    const QByteArray templatePath = templateDir.toLocal8Bit();
    const FileDescriptor source(
        ::open(templatePath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!source)
        return systemFailure(QStringLiteral("Vorlage"), templatePath.constData());
    return Failure::ofFirst(
        {[&] { return empty(homeDir.get(), 0); },
         [&] { return copyInto(source.get(), homeDir.get(), owner, group, 0); }});
}

}
