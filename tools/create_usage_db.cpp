// Makes a fresh, empty usage database for the console:
//   create_usage_db <program-dir> <db-name>
// writes <program-dir>/<db-name>.mde and never overwrites an existing file.

#include "UsageDatabase.h"

#include <QDir>
#include <QString>

#include <cstdio>

#include <sys/stat.h>

int main(int argc, char *argv[])
{
    umask(S_IRWXO); // the database is for the operators of group kavo only
    if (argc != 3) {
        std::fprintf(stderr, "Aufruf: create_usage_db <Programmverzeichnis> <DB-Name>\n");
        return 2;
    }
    const QString path
        = UsageDatabase::pathFor(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    if (const Failure failure = UsageDatabase::create(path)) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.text()));
        return 1;
    }
    std::printf("%s\n", qPrintable(QDir::toNativeSeparators(path)));
    return 0;
}
