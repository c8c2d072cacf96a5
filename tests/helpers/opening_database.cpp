// Opens the usage database given as its argument, as a console of this version does
// at its start, and closes it again. Exit status 0 when it opened.

#include "UsageDatabase.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    UsageDatabase database;
    if (const Failure failure = database.open(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "%s\n", qPrintable(failure.text()));
        return 1;
    }
    return 0;
}
