// The properties dialog's rules without a window: number reading, the limit
// check and its corrections, the scan-rate clamp, colour options, function
// labels and what a field's text writes into its column. (The correction
// chain and the frame places are checked on the dialog itself.)

#include "propsrules.h"

#include <QTest>

#include <cfloat>

using namespace quellix::config::props;
using quellix::schema::FieldType;

Q_DECLARE_METATYPE(quellix::config::props::ColourGroup)
Q_DECLARE_METATYPE(quellix::config::props::ColourOption)
Q_DECLARE_METATYPE(quellix::schema::FieldType)

class TestPropsRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("number");
        QTest::newRow("plain") << "42" << 42.0;
        QTest::newRow("blanks then units") << "  \t7kg" << 7.0;
        QTest::newRow("sign and fraction") << "-12.5x" << -12.5;
        QTest::newRow("bare fraction") << ".5" << 0.5;
        QTest::newRow("exponent") << "1.5E3 rpm" << 1500.0;
        QTest::newRow("exponent without digits") << "2e+" << 2.0;
        QTest::newRow("second point ends it") << "1.2.3" << 1.2;
        QTest::newRow("inner blank ends it") << "1 2" << 1.0;
        QTest::newRow("letters first") << "abc" << 0.0;
        QTest::newRow("sign alone") << "-" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("comma is no point") << "3,5" << 3.0;
        QTest::newRow("too large") << "1e999" << DBL_MAX;
        QTest::newRow("too large negative") << "-1e999" << -DBL_MAX;
    }
    void readNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, number);
        QCOMPARE(quellix::config::props::readNumber(text), number);
    }

    void limitRules_data()
    {
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QVector<double>>("limits"); // upper, warning, caution, lower
        QTest::addColumn<int>("corrected");          // Level, -1 when all hold
        QTest::addColumn<QString>("correction");
        QTest::addColumn<QString>("rule");
        QTest::newRow("asc holds") << true << QVector<double>{100, 90, 75, 0} << -1 << "" << "";
        QTest::newRow("asc W = U") << true << QVector<double>{100, 100, 50, 0} << int(Level::Upper) << " 101"
                                   << "The value of the Upper Limit must be greater than the Warning Limit.";
        QTest::newRow("asc C >= W") << true << QVector<double>{100, 60, 80, 0} << int(Level::Warning) << " 81"
                                    << "The value of the Warning Limit must be greater than the Caution Limit.";
        QTest::newRow("asc L = C") << true << QVector<double>{100, 90, 5, 5} << int(Level::Caution) << " 6"
                                   << "The value of the Caution Limit must be greater than the Lower Limit.";
        QTest::newRow("asc negative") << true << QVector<double>{-10, -5, -20, -30} << int(Level::Upper) << "-4"
                                      << "The value of the Upper Limit must be greater than the Warning Limit.";
        QTest::newRow("desc holds") << false << QVector<double>{100, 60, 80, 0} << -1 << "" << "";
        QTest::newRow("desc C = U") << false << QVector<double>{100, 60, 100, 0} << int(Level::Upper) << " 101"
                                    << "The value of the Upper Limit must be greater than the Caution Limit.";
        QTest::newRow("desc W >= C") << false << QVector<double>{100, 90, 75, 0} << int(Level::Caution) << " 91"
                                     << "The value of the Caution Limit must be greater than the Warning Limit.";
        QTest::newRow("desc L >= W") << false << QVector<double>{100, 20, 80, 30} << int(Level::Warning) << " 31"
                                     << "The value of the Warning Limit must be greater than the Lower Limit.";
    }
    void limitRules()
    {
        QFETCH(bool, ascending);
        QFETCH(QVector<double>, limits);
        QFETCH(int, corrected);
        QFETCH(QString, correction);
        QFETCH(QString, rule);
        const auto fault = checkLimits({limits[0], limits[1], limits[2], limits[3]}, ascending);
        QCOMPARE(fault.has_value(), corrected >= 0);
        if (!fault)
            return;
        QCOMPARE(int(fault->corrected), corrected);
        QCOMPARE(correctionText(fault->correction), correction);
        QCOMPARE(fault->title, ascending ? QStringLiteral("Invalid Limit Value!")
                                         : QStringLiteral("Invalid Limit Level Value!"));
        const QStringList parts = fault->text.split(QStringLiteral("\n\r\n\r"));
        QCOMPARE(parts.size(), 3);
        QCOMPARE(parts[0], ascending ? QStringLiteral("For Ascending Limits....")
                                     : QStringLiteral("For Descending Limits...."));
        QCOMPARE(parts[1], rule);
        QVERIFY(parts[2].startsWith(QStringLiteral("Please enter a new ")));
    }

    void scanRateClamp_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("below") << "50" << "100";
        QTest::newRow("no number") << "fast" << "100";
        QTest::newRow("empty") << "" << "100";
        QTest::newRow("above") << "70000" << "60000";
        QTest::newRow("lowest kept") << "100" << "100";
        QTest::newRow("highest kept") << "60000" << "60000";
        QTest::newRow("units kept") << "250 ms" << "250 ms";
    }
    void scanRateClamp()
    {
        QFETCH(QString, text);
        QFETCH(QString, result);
        QCOMPARE(clampScanRateText(text), result);
    }

    void colourOptions_data()
    {
        QTest::addColumn<ColourGroup>("group");
        QTest::addColumn<QString>("text");
        QTest::addColumn<ColourOption>("option");
        QTest::newRow("display 0") << ColourGroup::Display << "0" << ColourOption::Red;
        QTest::newRow("display read as number") << ColourGroup::Display << " 65280.0" << ColourOption::Green;
        QTest::newRow("display yellow") << ColourGroup::Display << "65535" << ColourOption::Yellow;
        QTest::newRow("display blue") << ColourGroup::Display << "16776960" << ColourOption::Blue;
        QTest::newRow("units 0") << ColourGroup::Units << "0" << ColourOption::Yellow;
        QTest::newRow("units red") << ColourGroup::Units << "255" << ColourOption::Red;
        QTest::newRow("units exact text") << ColourGroup::Units << " 65280" << ColourOption::Yellow;
        QTest::newRow("units blue") << ColourGroup::Units << "16776960" << ColourOption::Blue;
        QTest::newRow("hold 0") << ColourGroup::Hold << "0" << ColourOption::Green;
        QTest::newRow("output yellow") << ColourGroup::Output << "65535" << ColourOption::Yellow;
        QTest::newRow("comm red") << ColourGroup::Comm << "255" << ColourOption::Red;
        QTest::newRow("comm true blue is no option") << ColourGroup::Comm << "16711680" << ColourOption::Green;
    }
    void colourOptions()
    {
        QFETCH(ColourGroup, group);
        QFETCH(QString, text);
        QFETCH(ColourOption, option);
        QCOMPARE(optionForColour(group, text), option);
        // The code an option writes selects that option again.
        QCOMPARE(optionForColour(group, colourCode(option)), option);
    }

    void codesAndLabels()
    {
        QCOMPARE((QStringList{colourCode(ColourOption::Red), colourCode(ColourOption::Green),
                              colourCode(ColourOption::Yellow), colourCode(ColourOption::Blue)}),
                 (QStringList{"255", "65280", "65535", "16776960"}));
        QCOMPARE(inputFunctionLabel("2", "5", false), QStringLiteral("Displayed Value=2(Input Value) +5"));
        QCOMPARE(inputFunctionLabel("2", "5", true), QStringLiteral("Displayed Value =2(Input Value) +5"));
        QCOMPARE(outputFunctionLabel("0.5", "-3"), QStringLiteral("Output Value=0.5(Displayed Value) +-3"));
        QVERIFY(selectsAscending("Ascending"));
        QVERIFY(!selectsAscending("ascending"));
        QVERIFY(!selectsAscending(""));
    }

    void cutting()
    {
        QCOMPARE(firstCharacters("123456789", 8), QStringLiteral("12345678"));
        QCOMPARE(firstCharacters("12345678", 8), QStringLiteral("12345678"));
        // A character outside the basic plane is one character, never split.
        const QString wide = QString::fromUtf8("1234567\xF0\x9F\x94\xA5" "9");
        QCOMPARE(characterCount(wide), 9);
        QCOMPARE(firstCharacters(wide, 8), wide.left(9));
    }

    void columnValues_data()
    {
        QTest::addColumn<FieldType>("type");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("wasEmpty");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("number with units") << FieldType::Int32 << "7kg" << false << QVariant(7.0);
        QTest::newRow("empty over empty number") << FieldType::Double << " " << true << QVariant();
        QTest::newRow("empty over a number") << FieldType::Int16 << "" << false << QVariant(0.0);
        QTest::newRow("empty over empty text") << FieldType::Text << "" << true << QVariant();
        QTest::newRow("text kept exactly") << FieldType::Text << QString::fromUtf8("\xC2\xB0""C") << true
                                           << QVariant(QString::fromUtf8("\xC2\xB0""C"));
        QTest::newRow("checked") << FieldType::YesNo << "1" << true << QVariant(true);
        QTest::newRow("clear") << FieldType::YesNo << "0" << false << QVariant(false);
    }
    void columnValues()
    {
        QFETCH(FieldType, type);
        QFETCH(QString, text);
        QFETCH(bool, wasEmpty);
        QFETCH(QVariant, value);
        QCOMPARE(columnValue(type, text, wasEmpty), value);
    }
};

QTEST_GUILESS_MAIN(TestPropsRules)
#include "tst_propsrules.moc"
