// Number texts of log records and readouts.

#include "numbertext.h"
#include "logstore.h"

#include <QLocale>
#include <QTest>

#include <limits>

using namespace quellix;

class TestNumberText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void strForm_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << " 0";
        QTest::newRow("negative zero") << -0.0 << " 0";
        QTest::newRow("one") << 1.0 << " 1";
        QTest::newRow("half has no leading zero") << 0.5 << " .5";
        QTest::newRow("negative half") << -0.5 << "-.5";
        QTest::newRow("fraction") << 12.3456 << " 12.3456";
        QTest::newRow("negative") << -3.14159 << "-3.14159";
        QTest::newRow("15 significant digits") << 1.0 / 3.0 << " .333333333333333";
        QTest::newRow("binary noise hidden") << 0.1 + 0.2 << " .3";
        QTest::newRow("large switches to exponent") << 1e15 << " 1E+15";
        QTest::newRow("just below exponent") << 999999999999999.0 << " 999999999999999";
        QTest::newRow("small switches to exponent") << 0.00001 << " 1E-05";
        QTest::newRow("small keeps plain") << 0.0001 << " .0001";
        QTest::newRow("negative exponent") << -1.5e-7 << "-1.5E-07";
    }
    void strForm()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(numberText(value, NumberForm::Str), text);
    }

    void plainForm()
    {
        QLocale::setDefault(QLocale::c());
        QCOMPARE(numberText(0.5, NumberForm::Plain), QStringLiteral("0.5"));
        QCOMPARE(numberText(-2.25, NumberForm::Plain), QStringLiteral("-2.25"));
        QCOMPARE(numberText(100, NumberForm::Plain), QStringLiteral("100"));
        // The plain form follows the user's decimal separator.
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(numberText(0.5, NumberForm::Plain), QStringLiteral("0,5"));
        QCOMPARE(numberText(0.5, NumberForm::Str), QStringLiteral(" .5"));
        QLocale::setDefault(QLocale::c());
    }

    void functionTexts()
    {
        QLocale::setDefault(QLocale::c());
        QCOMPARE(functionText(1, 0, NumberForm::Str), QStringLiteral("* 1 + 0"));
        QCOMPARE(functionText(1, 0, NumberForm::Str).size(), 7);
        QCOMPARE(functionText(1, 0, NumberForm::Plain), QStringLiteral("*1 +0"));
        QCOMPARE(functionText(2, -1, NumberForm::Str), QStringLiteral("* 2 +-1"));
        QCOMPARE(functionText(2, -1, NumberForm::Plain), QStringLiteral("*2 +-1"));
    }

    void readoutPattern_data()
    {
        QTest::addColumn<QString>("in");
        QTest::addColumn<QString>("out");
        QTest::newRow("rounds") << " 12.3456" << "12.35";
        QTest::newRow("zero") << " 0" << "0.00";
        QTest::newRow("negative") << "-3.14159" << "-3.14";
        QTest::newRow("no leading zero") << " .5" << "0.50";
        QTest::newRow("one decimal") << " 12.5" << "12.50";
        QTest::newRow("round up") << " 234.567" << "234.57";
        QTest::newRow("integer") << "-3" << "-3.00";
        QTest::newRow("half away from zero") << " 2.675" << "2.68";
        QTest::newRow("negative half") << "-2.675" << "-2.68";
        QTest::newRow("carry into integer") << " 9.999" << "10.00";
        QTest::newRow("no thousands separator") << " 1234567.891" << "1234567.89";
        QTest::newRow("tiny negative is zero") << "-.001" << "0.00";
        QTest::newRow("exponent expanded") << " 1E+15" << "1000000000000000.00";
        QTest::newRow("small exponent") << " 1E-05" << "0.00";
        QTest::newRow("already formatted") << "95.00" << "95.00";
        QTest::newRow("not a number unchanged") << "abc" << "abc";
        QTest::newRow("empty unchanged") << "" << "";
    }
    void readoutPattern()
    {
        QFETCH(QString, in);
        QFETCH(QString, out);
        QCOMPARE(formatReadout(in), out);
    }

    void readoutOfValues()
    {
        QCOMPARE(formatReadout(95.0), QStringLiteral("95.00"));
        QCOMPARE(formatReadout(-0.004), QStringLiteral("0.00"));
        QCOMPARE(formatReadout(-0.005), QStringLiteral("-0.01"));
        QCOMPARE(formatReadout(1e20), QStringLiteral("100000000000000000000.00"));
        QCOMPARE(formatReadout(std::numeric_limits<double>::quiet_NaN()), QStringLiteral("NaN"));
    }

    void timeText()
    {
        const QDateTime t(QDate(2026, 3, 7), QTime(15, 4, 5));
        const QString text = store::logTimeText(t);
        QCOMPARE(text, QStringLiteral("03/07/2026 03:04:05 PM"));
        QCOMPARE(text.right(11), QStringLiteral("03:04:05 PM"));
        QCOMPARE(store::logTimeText(QDateTime(QDate(2026, 12, 31), QTime(0, 0, 0))),
                 QStringLiteral("12/31/2026 12:00:00 AM"));
    }
};

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
