// Number texts of log records and readouts.

#include "readouttext.h"
#include "recordtext.h"
#include "logstore.h"

#include <QLocale>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

using namespace quellix;

namespace reference {

// A plain, string-based statement of the readout rule: the value's 15
// significant digits, written out without exponent, rounded half away from
// zero to two decimals. The control's own version works in a character
// buffer for speed; the two must agree on every value.
QString significantText(double magnitude)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", magnitude);
    return QString::fromLatin1(buf);
}

// Applies half-away-from-zero rounding to a plain decimal digit string
// (no sign, no exponent) keeping `decimals` digits after the point.
QString roundDecimalDigits(const QString &digits, int decimals)
{
    QString intPart = digits.section(QLatin1Char('.'), 0, 0);
    QString frac = digits.contains(QLatin1Char('.')) ? digits.section(QLatin1Char('.'), 1) : QString();
    if (intPart.isEmpty())
        intPart = QStringLiteral("0");
    bool roundUp = frac.size() > decimals && frac.at(decimals) >= QLatin1Char('5');
    frac = frac.left(decimals).leftJustified(decimals, QLatin1Char('0'));
    QString all = intPart + frac;
    if (roundUp) {
        int i = int(all.size()) - 1;
        while (i >= 0) {
            if (all[i] == QLatin1Char('9')) {
                all[i] = QLatin1Char('0');
                --i;
            } else {
                all[i] = QChar(all[i].unicode() + 1);
                break;
            }
        }
        if (i < 0)
            all.prepend(QLatin1Char('1'));
    }
    QString ip = all.left(all.size() - decimals);
    while (ip.size() > 1 && ip.startsWith(QLatin1Char('0')))
        ip.remove(0, 1);
    if (decimals == 0)
        return ip;
    return ip + QLatin1Char('.') + all.right(decimals);
}

// Expands a decimal text that may have an exponent ("1.5E+20") into plain
// digits ("150000000000000000000").
QString expandExponent(const QString &text)
{
    const int e = int(text.indexOf(QLatin1Char('E')));
    if (e < 0)
        return text;
    QString mant = text.left(e);
    const int exp = text.mid(e + 1).toInt();
    QString ip = mant.section(QLatin1Char('.'), 0, 0);
    QString fp = mant.contains(QLatin1Char('.')) ? mant.section(QLatin1Char('.'), 1) : QString();
    QString digits = ip + fp;
    int point = int(ip.size()) + exp;
    if (point <= 0)
        return QStringLiteral("0.") + QString(-point, QLatin1Char('0')) + digits;
    if (point >= digits.size())
        return digits + QString(point - digits.size(), QLatin1Char('0'));
    return digits.left(point) + QLatin1Char('.') + digits.mid(point);
}


QString readout(double value)
{
    const QString rounded = roundDecimalDigits(expandExponent(significantText(std::fabs(value))), 2);
    return value < 0 && rounded != QLatin1String("0.00") ? QLatin1Char('-') + rounded : rounded;
}

} // namespace reference

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
        QCOMPARE(formatReadout(99.995), QStringLiteral("100.00"));  // 15 digits: 99.9950000000000
        QCOMPARE(formatReadout(0.125), QStringLiteral("0.13"));     // ties go away from zero
        QCOMPARE(formatReadout(-2.675), QStringLiteral("-2.68"));   // as shown, not as stored
        QCOMPARE(formatReadout(std::numeric_limits<double>::max()).size(), 309 + 3);
        QCOMPARE(formatReadout(5e-324), QStringLiteral("0.00"));
    }

    void readoutAgreesWithReference()
    {
        // Values of every magnitude, ties and carries included.
        QList<double> values = {0.0, 0.005, 0.004999, 0.995, 9.995, 999999.995, 1e15 + 0.5, 123456789012345.6,
                                1e-300, 1e300, 0.015, 1.005, 2.345, 0.0049999999999999};
        std::mt19937_64 rng(20261209);
        std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
        std::uniform_int_distribution<int> exponent(-8, 22);
        for (int i = 0; i < 20000; ++i)
            values << mantissa(rng) * std::pow(10.0, exponent(rng));
        for (int i = 0; i < 2000; ++i) // exact cents and half cents
            values << double(int(rng() % 2000001) - 1000000) / 200.0;
        for (double v : values)
            QCOMPARE(formatReadout(v), reference::readout(v));
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
