#include "SqlFailure.h"

#include <QDir>

#include <sqlite3.h>

namespace SqlFailure {
QString text(int code, const QString &path, const QString &engineText)
{
    const QString file = QDir::toNativeSeparators(path);
    QString advice;
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        advice
            = QStringLiteral("Die Datenbank %1 ist von einem anderen Programm gesperrt. Bitte das "
                             "Programm beenden, das"
                             " sie offen hält (etwa eine sqlcipher-Sitzung).");
        break;
    case SQLITE_CORRUPT:
        advice = QStringLiteral(
            "Die Datenbank %1 ist beschädigt. Bitte Kavo beenden, die Datei sichern und die letzte"
            " Datensicherung zurückholen.");
        break;
    case SQLITE_NOTADB:
        advice = QStringLiteral(
            "Die Datei %1 ist keine Kavo-Datenbank (oder hat einen anderen Schlüssel). Bitte den DB"
            " Name in Kavo.ini prüfen oder die richtige Datei in den Programmordner legen.");
        break;
    case SQLITE_FULL:
        advice = QStringLiteral(
            "Auf dem Datenträger der Datenbank %1 ist kein Platz mehr. Bitte Platz schaffen.");
        break;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
    case SQLITE_AUTH:
        advice = QStringLiteral(
            "Die Datenbank %1 lässt sich nicht öffnen oder beschreiben. Bitte die Rechte der Datei"
            " und des Programmordners prüfen (Gruppe kavo).");
        break;
    case SQLITE_IOERR:
        advice = QStringLiteral(
            "Beim Lesen oder Schreiben der Datenbank %1 meldet der Datenträger einen Fehler. Bitte"
            " den Datenträger prüfen und Kavo neu starten.");
        break;
    case SQLITE_ERROR:
        advice = QStringLiteral(
            "Der Datenbank %1 fehlt eine Tabelle oder Spalte, die Kavo braucht. Bitte prüfen, ob DB"
            " Name in Kavo.ini die richtige Datei nennt.");
        break;
    default:
        advice = QStringLiteral(
            "Die Datenbank %1 meldet einen Fehler. Bitte Kavo neu starten; bleibt der Fehler, die"
            " Datei sichern und prüfen lassen.");
        break;
    }
    return advice.arg(file) + QStringLiteral(" (%1)").arg(engineText);
}

QString of(sqlite3 *db)
{
    const char *name = db ? sqlite3_db_filename(db, "main") : nullptr;
    return text(sqlite3_extended_errcode(db), name ? QString::fromUtf8(name) : QString(),
                QString::fromUtf8(sqlite3_errmsg(db)));
}
}
