#include "CompoundFile.h"
#include "XlsWriter.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Every workbook is read back by xlrd, an independent reader, through tests/xls_dump.py.
class XlsWriterTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QJsonObject dump(const QByteArray &file, const QStringList &arguments)
    {
        const QString path = m_dir.filePath(QStringLiteral("read.xls"));
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(file) != file.size())
            return {};
        out.close();
        QProcess python;
        python.start(
            QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral(KAVO_TESTS_DIR "/xls_dump.py"), arguments.first(), path}
                + arguments.mid(1));
        if (!python.waitForFinished(120000) || python.exitCode() != 0) {
            qWarning() << python.readAllStandardError();
            return {};
        }
        const QJsonObject result = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
        if (!result.value(QStringLiteral("log")).toString().isEmpty())
            qWarning() << "xlrd:" << result.value(QStringLiteral("log")).toString();
        return result;
    }

    QJsonObject readWorkbook(const QList<XlsSheet> &sheets)
    {
        return dump(XlsWriter::workbook(sheets), {QStringLiteral("workbook")});
    }

    static QStringList sheetNames(const QJsonObject &book)
    {
        QStringList names;
        for (const QJsonValue sheet : book.value(QStringLiteral("sheets")).toArray())
            names.append(sheet.toObject().value(QStringLiteral("name")).toString());
        return names;
    }

    static QJsonArray rowsOf(const QJsonObject &book, int sheet)
    {
        return book.value(QStringLiteral("sheets"))
            .toArray()
            .at(sheet)
            .toObject()
            .value(QStringLiteral("rows"))
            .toArray();
    }

    // A cell as [xlrd cell type, value, number format]; types: 0 empty, 1 text, 2 number.
    static QJsonArray cell(const QJsonArray &rows, int row, int column)
    {
        return rows.at(row).toArray().at(column).toArray();
    }

    // A table with one integer column counting the records from 0.
    static XlsSheetData countingTable(int records)
    {
        XlsSheetData table{{QStringLiteral("nr"), QStringLiteral("text")}, {}};
        for (int record = 0; record < records; ++record)
            table.rows.append({record, QStringLiteral("r%1").arg(record)});
        return table;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void cellsKeepTypeFormatAndText()
    {
        const QString german = QStringLiteral("Grüße aus Köln: 5 € – ÄÖÜß");
        XlsSheetData table{{QStringLiteral("client1start"), QStringLiteral("client1kosten"),
                            QStringLiteral("client1datum")},
                           {}};
        table.rows.append({QStringLiteral("14:05:09"), 1.05, 5});
        table.rows.append({german, 1234.5, qint64(12)});
        table.rows.append({QVariant(), QString(400, QLatin1Char('x')), QStringLiteral("Ω")});
        table.rows.append({QStringLiteral("short row")});
        const QJsonObject book
            = readWorkbook({{QStringLiteral("client1"), table},
                            {QStringLiteral("leer"), {{QStringLiteral("feld")}, {}}}});

        QCOMPARE(book.value(QStringLiteral("log")).toString(), QString());
        QCOMPARE(book.value(QStringLiteral("biff")).toInt(), 50);
        QCOMPARE(book.value(QStringLiteral("codepage")).toInt(), 1252);
        QCOMPARE(sheetNames(book),
                 QStringList({QStringLiteral("client1"), QStringLiteral("leer")}));

        const QJsonArray rows = rowsOf(book, 0);
        QCOMPARE(rows.size(), 5);
        QCOMPARE(cell(rows, 0, 1),
                 QJsonArray({1, QStringLiteral("client1kosten"), QStringLiteral("General")}));
        QCOMPARE(cell(rows, 1, 0),
                 QJsonArray({1, QStringLiteral("14:05:09"), QStringLiteral("General")}));
        QCOMPARE(cell(rows, 1, 1), QJsonArray({2, 1.05, QStringLiteral("0.00")}));
        QCOMPARE(cell(rows, 1, 2), QJsonArray({2, 5.0, QStringLiteral("0")}));
        QCOMPARE(cell(rows, 2, 0).at(1).toString(), german);
        QCOMPARE(cell(rows, 2, 1).at(1).toDouble(), 1234.5);
        QCOMPARE(cell(rows, 2, 2), QJsonArray({2, 12.0, QStringLiteral("0")}));
        QCOMPARE(cell(rows, 3, 0).at(0).toInt(), 0);
        QCOMPARE(cell(rows, 3, 1).at(1).toString(), QString(255, QLatin1Char('x')));
        QCOMPARE(cell(rows, 3, 2).at(1).toString(), QStringLiteral("?"));
        QCOMPARE(cell(rows, 4, 0).at(1).toString(), QStringLiteral("short row"));
        QCOMPARE(cell(rows, 4, 1).at(0).toInt(), 0);

        const QJsonArray emptySheet = rowsOf(book, 1);
        QCOMPARE(emptySheet.size(), 1);
        QCOMPARE(cell(emptySheet, 0, 0).at(1).toString(), QStringLiteral("feld"));
    }

    void recordsContinueOnFurtherSheetsUnderTheHeader_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<QList<int>>("rowsPerSheet");
        QTest::newRow("none") << 0 << QList<int>{1};
        QTest::newRow("one sheet full") << 16383 << QList<int>{16384};
        QTest::newRow("one record over") << 16384 << QList<int>{16384, 2};
        QTest::newRow("twenty thousand") << 20000 << QList<int>{16384, 3618};
        QTest::newRow("three sheets") << 2 * 16383 + 1 << QList<int>{16384, 16384, 2};
    }
    void recordsContinueOnFurtherSheetsUnderTheHeader()
    {
        QFETCH(int, records);
        QFETCH(QList<int>, rowsPerSheet);
        const QJsonObject book
            = readWorkbook({{QStringLiteral("client1"), countingTable(records)}});
        QCOMPARE(book.value(QStringLiteral("log")).toString(), QString());

        QStringList expectedNames{QStringLiteral("client1")};
        for (int sheet = 2; sheet <= rowsPerSheet.size(); ++sheet)
            expectedNames.append(QStringLiteral("client1 (%1)").arg(sheet));
        QCOMPARE(sheetNames(book), expectedNames);

        int nextRecord = 0;
        for (int sheet = 0; sheet < rowsPerSheet.size(); ++sheet) {
            const QJsonArray rows = rowsOf(book, sheet);
            QCOMPARE(rows.size(), rowsPerSheet.at(sheet));
            QCOMPARE(cell(rows, 0, 0).at(1).toString(), QStringLiteral("nr"));
            QCOMPARE(cell(rows, 0, 1).at(1).toString(), QStringLiteral("text"));
            for (int row = 1; row < rows.size(); ++row, ++nextRecord) {
                QCOMPARE(cell(rows, row, 0).at(1).toDouble(), double(nextRecord));
                QCOMPARE(cell(rows, row, 1).at(1).toString(),
                         QStringLiteral("r%1").arg(nextRecord));
            }
        }
        QCOMPARE(nextRecord, records);
    }

    void continuedSheetsKeepTheNameAsItIs()
    {
        const QString name = QStringLiteral("50%1 Rabatt");
        const QJsonObject book
            = readWorkbook({{name, countingTable(XlsWriter::recordsPerSheet + 1)}});
        QCOMPARE(sheetNames(book), QStringList({name, name + QStringLiteral(" (2)")}));
    }

    // Sizes around the small-stream limit and around the 109 allocation table
    // sectors the header lists (about 7 MB); larger files need extension sectors.
    void compoundFileCarriesTheStreamExactly_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("tiny") << 100;
        QTest::newRow("at the limit") << 4096;
        QTest::newRow("one sector more") << 4097;
        QTest::newRow("largest without extension") << 13842 * 512;
        QTest::newRow("smallest with extension") << 13842 * 512 + 1;
        QTest::newRow("two extension sectors") << 17 * 1024 * 1024 + 3;
    }
    void compoundFileCarriesTheStreamExactly()
    {
        QFETCH(int, size);
        QByteArray content(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            content[i] = char(i * 7 + i / 509);
        const QByteArray file = CompoundFile::withSingleStream(QStringLiteral("Book"), content);
        QCOMPARE(file.size() % 512, 0);

        const QByteArray expected = size < CompoundFile::smallStreamLimit
            ? content + QByteArray(CompoundFile::smallStreamLimit - size, '\0')
            : content;
        const QJsonObject stream = dump(file, {QStringLiteral("stream"), QStringLiteral("Book")});
        QCOMPARE(stream.value(QStringLiteral("log")).toString(), QString());
        QCOMPARE(stream.value(QStringLiteral("length")).toInt(), expected.size());
        QCOMPARE(stream.value(QStringLiteral("sha256")).toString(),
                 QString::fromLatin1(
                     QCryptographicHash::hash(expected, QCryptographicHash::Sha256).toHex()));
    }
};

QTEST_GUILESS_MAIN(XlsWriterTest)
#include "tst_xlswriter.moc"
