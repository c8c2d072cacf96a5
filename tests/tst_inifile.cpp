#include "IniFile.h"
#include "Windows1252.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

const QString feeSection = QStringLiteral("Gebühr");
const QString over30 = QStringLiteral("Über 30min");

const QByteArray kavoIni = Windows1252::encode(QStringLiteral("; Einstellungen\r\n"
                                                              "[Gebühr]\r\n"
                                                              "Einheit 15min=1,50\r\n"
                                                              "Über 30min = 1,20 \r\n"
                                                              "Über 60min=\"1,00\"\r\n"
                                                              "\r\n"
                                                              "[DB]\r\n"
                                                              "DB Name='kavo'\r\n"
                                                              "[Firma]\r\n"
                                                              "Firmen Name=Café Müller\r\n"));
}

class IniFileTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }

private slots:
    void readsWithTheProfileRules()
    {
        const QString file = path("rules.ini");
        writeBytes(file, kavoIni);
        QCOMPARE(IniFile::read(file, feeSection, QStringLiteral("Einheit 15min")),
                 QStringLiteral("1,50"));
        QCOMPARE(IniFile::read(file, QStringLiteral("gebühr"), QStringLiteral("über 30MIN")),
                 QStringLiteral("1,20"));
        QCOMPARE(IniFile::read(file, QStringLiteral("GEBÜHR"), QStringLiteral("Über 60min")),
                 QStringLiteral("1,00"));
        QCOMPARE(IniFile::read(file, QStringLiteral("db"), QStringLiteral("db name")),
                 QStringLiteral("kavo"));
        QCOMPARE(IniFile::read(file, QStringLiteral("Firma"), QStringLiteral("Firmen Name")),
                 QStringLiteral("Café Müller"));
    }

    void missingThingsReadEmptyAndCreateNothing()
    {
        const QString file = path("rules.ini");
        writeBytes(file, kavoIni);
        QCOMPARE(IniFile::read(file, QStringLiteral("Statistik"), QStringLiteral("Statistik")),
                 QString());
        QCOMPARE(IniFile::read(file, QStringLiteral("DB"), QStringLiteral("Firmen Name")),
                 QString());
        const QString absent = path("absent.ini");
        QCOMPARE(IniFile::read(absent, QStringLiteral("DB"), QStringLiteral("DB Name")), QString());
        QVERIFY(!QFile::exists(absent));
    }

    void utf8FilesAreUnderstood()
    {
        const QString file = path("utf8.ini");
        writeBytes(
            file,
            QStringLiteral("[Gebühr]\nÜber 30min=1,20\n[Firma]\nFirmen Name=Café €\n").toUtf8());
        QCOMPARE(IniFile::read(file, feeSection, over30), QStringLiteral("1,20"));
        QCOMPARE(IniFile::read(file, QStringLiteral("firma"), QStringLiteral("Firmen Name")),
                 QStringLiteral("Café €"));
    }

    void longValuesAreCutTo199()
    {
        const QString file = path("long.ini");
        writeBytes(file, "[Server]\nIP=" + QByteArray(250, 'a') + "\n");
        QCOMPARE(IniFile::read(file, QStringLiteral("Server"), QStringLiteral("IP")),
                 QString(199, QLatin1Char('a')));
    }

    // Every usual line end ends a line: CR LF, LF, and the lone CR of old Mac editors.
    // Writing keeps the file's own line end.
    void everyLineEndEndsALine()
    {
        const QString file = path("cr.ini");
        const QByteArray crOnly = "[DB]\rDB Name=kavo\r[Firma]\rFirmen Name=Caf\xE9\r";
        writeBytes(file, crOnly);
        QCOMPARE(IniFile::read(file, QStringLiteral("DB"), QStringLiteral("DB Name")),
                 QStringLiteral("kavo"));
        QCOMPARE(IniFile::read(file, QStringLiteral("Firma"), QStringLiteral("Firmen Name")),
                 QStringLiteral("Café"));
        QVERIFY(!IniFile::write(file, QStringLiteral("DB"), QStringLiteral("DB Name"),
                                QStringLiteral("neu")));
        QCOMPARE(readBytes(file), QByteArray(crOnly).replace("kavo", "neu"));

        // A lone CR before bytes that would spell a byte order mark at the start is a
        // line end as well, so the file writes and reads back as it was.
        const QByteArray mixed = "\r\xEF\xBB\xBF\r\n[Firma]\nFirmen Name=Caf\xE9\r\n";
        writeBytes(file, mixed);
        QCOMPARE(IniFile::read(file, QStringLiteral("Firma"), QStringLiteral("Firmen Name")),
                 QStringLiteral("Café"));
        QVERIFY(!IniFile::write(file, QStringLiteral("DB"), QStringLiteral("DB Name"),
                                QStringLiteral("kavo")));
        QCOMPARE(IniFile::read(file, QStringLiteral("Firma"), QStringLiteral("Firmen Name")),
                 QStringLiteral("Café"));
        QCOMPARE(IniFile::read(file, QStringLiteral("DB"), QStringLiteral("DB Name")),
                 QStringLiteral("kavo"));
    }

    // Only the first megabyte is read: what lies beyond is not seen, and the line cut
    // at the megabyte is left out rather than read half.
    void onlyTheFirstMegabyteIsRead()
    {
        const QString file = path("large.ini");
        QByteArray bytes = "[DB]\r\nDB Name=kavo\r\n";
        bytes += QByteArray(IniFile::maxReadBytes - 12 - bytes.size() - 2, ';') + "\r\n";
        bytes += "[Firma]\r\nFirmen Name=abgeschnitten\r\n"; // crosses the megabyte
        bytes += "[Statistik]\r\nStatistik=1\r\n";
        writeBytes(file, bytes);

        const IniFile::Contents contents = IniFile::Contents::load(file);
        QCOMPARE(contents.value(QStringLiteral("DB"), QStringLiteral("DB Name")),
                 QStringLiteral("kavo"));
        QCOMPARE(contents.value(QStringLiteral("Firma"), QStringLiteral("Firmen Name")), QString());
        QCOMPARE(contents.value(QStringLiteral("Statistik"), QStringLiteral("Statistik")),
                 QString());

        // A file of exactly one megabyte is read whole.
        QByteArray exact = "[DB]\nDB Name=kavo\n";
        exact += QByteArray(IniFile::maxReadBytes - exact.size() - 13, ';') + "\n[Firma]\nX=1\n";
        QCOMPARE(exact.size(), IniFile::maxReadBytes);
        writeBytes(file, exact);
        QCOMPARE(IniFile::read(file, QStringLiteral("Firma"), QStringLiteral("X")),
                 QStringLiteral("1"));
    }

    void writingKeepsEveryOtherLineAndTheEncoding()
    {
        const QString file = path("write.ini");
        writeBytes(file, kavoIni);
        QVERIFY(!IniFile::write(file, QStringLiteral("gebühr"), over30, QStringLiteral("1,30")));
        QVERIFY(!IniFile::write(file, QStringLiteral("Firma"), QStringLiteral("Firmen Name"),
                                QStringLiteral("Bäckerei")));
        QVERIFY(!IniFile::write(file, QStringLiteral("DB"), QStringLiteral("Neu"),
                                QStringLiteral("x")));
        QVERIFY(!IniFile::write(file, QStringLiteral("Statistik"), QStringLiteral("Statistik"),
                                QStringLiteral("1")));

        QByteArray expected = kavoIni;
        expected.replace(Windows1252::encode(QStringLiteral("Über 30min = 1,20 ")),
                         Windows1252::encode(QStringLiteral("Über 30min =1,30")));
        expected.replace(Windows1252::encode(QStringLiteral("Café Müller")),
                         Windows1252::encode(QStringLiteral("Bäckerei")));
        expected.replace("DB Name='kavo'\r\n", "DB Name='kavo'\r\nNeu=x\r\n");
        expected += "[Statistik]\r\nStatistik=1\r\n";
        QCOMPARE(readBytes(file), expected);
    }

    void writingCreatesTheFileAndKeepsUtf8()
    {
        const QString created = path("created.ini");
        QVERIFY(!IniFile::write(created, feeSection, over30, QStringLiteral("1,20")));
        QCOMPARE(readBytes(created),
                 Windows1252::encode(QStringLiteral("[Gebühr]\r\nÜber 30min=1,20\r\n")));

        const QString utf8 = path("utf8-write.ini");
        writeBytes(utf8, QStringLiteral("[Gebühr]\nÜber 30min=1,20\n").toUtf8());
        QVERIFY(!IniFile::write(utf8, feeSection, over30, QStringLiteral("2,00")));
        QCOMPARE(readBytes(utf8), QStringLiteral("[Gebühr]\nÜber 30min=2,00\n").toUtf8());
    }

    void lineBreaksAreRefused()
    {
        const QString file = path("inject.ini");
        writeBytes(file, kavoIni);
        const Failure error
            = IniFile::write(file, QStringLiteral("Firma"), QStringLiteral("Firmen Name"),
                             QStringLiteral("x\r\n[DB]\r\nDB Name=fremd"));
        QVERIFY(error);
        QVERIFY(!error.text().isEmpty());
        QCOMPARE(readBytes(file), kavoIni);
    }

    void writesThatWouldReadBackOtherwiseAreRefused_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("value");
        // In Windows-1252, "Ã¼" gives the bytes of "ü" in UTF-8.
        QTest::newRow("value spelling UTF-8")
            << QByteArray("[Server]\r\nIP=127.0.0.1\r\n") << QStringLiteral("Ã¼");
    }
    void writesThatWouldReadBackOtherwiseAreRefused()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, value);
        const QString refused = path("refused.ini");
        writeBytes(refused, file);
        const Failure error
            = IniFile::write(refused, QStringLiteral("DB"), QStringLiteral("DB Name"), value);
        QVERIFY(error);
        QVERIFY(!error.text().isEmpty());
        QCOMPARE(readBytes(refused), file);
    }

    void windows1252RoundTripsEveryByte()
    {
        QByteArray all;
        for (int byte = 0; byte < 256; ++byte)
            all.append(char(byte));
        QCOMPARE(Windows1252::encode(Windows1252::decode(all)), all);
        QCOMPARE(Windows1252::decode("\x80\xe4"), QStringLiteral("€ä"));
    }
};

QTEST_APPLESS_MAIN(IniFileTest)
#include "tst_inifile.moc"
