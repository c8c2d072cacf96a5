#include "TextFormats.h"

#include <QTest>

class TextFormatsTest : public QObject
{
    Q_OBJECT

private slots:
    void moneyIsGermanWithTwoDecimals_data()
    {
        QTest::addColumn<qint64>("units");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << QStringLiteral("0,00 €");
        QTest::newRow("fee") << qint64(10500) << QStringLiteral("1,05 €");
        QTest::newRow("thousands") << qint64(12345000) << QStringLiteral("1.234,50 €");
        QTest::newRow("millions") << qint64(12345678900) << QStringLiteral("1.234.567,89 €");
        QTest::newRow("rounded down") << qint64(47986) << QStringLiteral("4,80 €");
        QTest::newRow("half up") << qint64(1250) << QStringLiteral("0,13 €");
    }
    void moneyIsGermanWithTwoDecimals()
    {
        QFETCH(qint64, units);
        QFETCH(QString, text);
        QCOMPARE(TextFormats::money(units), text);
        QCOMPARE(TextFormats::parseMoney(text).value(), (units + 50) / 100 * 100);
    }

    void plainAmountDropsTrailingZeros()
    {
        QCOMPARE(TextFormats::plainAmount(125000), QStringLiteral("12,5"));
        QCOMPARE(TextFormats::plainAmount(120000), QStringLiteral("12"));
        QCOMPARE(TextFormats::plainAmount(10467), QStringLiteral("1,0467"));
        QCOMPARE(TextFormats::plainAmount(12345670000), QStringLiteral("1234567"));
    }

    void timesAndDates()
    {
        QCOMPARE(TextFormats::timeOfDay(QTime(14, 5, 9)), QStringLiteral("14:05:09"));
        QCOMPARE(TextFormats::date(QDate(2004, 5, 12)), QStringLiteral("12.05.2004"));
        QCOMPARE(TextFormats::parseTimeOfDay(QStringLiteral("23:59:30")).value(),
                 QTime(23, 59, 30));
        QCOMPARE(TextFormats::parseTimeOfDay(QStringLiteral("7:05:00")).value(), QTime(7, 5, 0));
        QVERIFY(!TextFormats::parseTimeOfDay(QString()).has_value());
        QVERIFY(!TextFormats::parseTimeOfDay(QStringLiteral("25:00:00")).has_value());
        QVERIFY(!TextFormats::parseTimeOfDay(QStringLiteral("Timer")).has_value());
    }

    void decimalsTakeCommaOrPoint_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("comma") << QStringLiteral("1,50") << 1.5;
        QTest::newRow("point") << QStringLiteral("1.50") << 1.5;
        QTest::newRow("whole") << QStringLiteral(" 2 ") << 2.0;
        QTest::newRow("bare fraction") << QStringLiteral(",5") << 0.5;
    }
    void decimalsTakeCommaOrPoint()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(TextFormats::parseDecimal(text).value(), value);
    }

    void nonNumbersAreRefused()
    {
        for (const char *text : {"", "abc", "1,2,3", "1.234,50", ",", "1 5"})
            QVERIFY2(!TextFormats::parseDecimal(QString::fromLatin1(text)).has_value(), text);
        QVERIFY(!TextFormats::parseMoney(QStringLiteral("zehn Euro")).has_value());
    }
};

QTEST_APPLESS_MAIN(TextFormatsTest)
#include "tst_textformats.moc"
