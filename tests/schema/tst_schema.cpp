// The settings schema: every enumerator addresses the column the store
// files have, names are looked up exactly, and a new row holds the factory
// values.

#include "error.h"
#include "schema.h"
#include "settingsrow.h"
#include "soundnames.h"
#include "store.h"
#include "tablesql.h"

#include <QFile>
#include <QTest>

#include <algorithm>
#include <set>

using namespace quellix;
using schema::Field;
using schema::FieldType;

class TestSchema : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The columns as SETTINGS.MDB and the server table have them: a wrong
    // name, type, size or position would leave a field of every existing
    // file unreadable.
    void enumeratorsAddressTheStoredColumns()
    {
        struct Expected {
            Field field;
            int column;
            const char *name;
            FieldType type;
            int size;
            const char *sqlType; // the column's text in CREATE TABLE after its name
        };
        const Expected spots[] = {
            {Field::ControlName, 0, "Control Name", FieldType::Text, 255, "TEXT CHECK(\"Control Name\" IS NULL OR (typeof(\"Control Name\") IN ('text', 'integer', 'real') AND length(\"Control Name\") <= 255))"},
            {Field::Password, 1, "Password", FieldType::Text, 8, "TEXT CHECK(\"Password\" IS NULL OR (typeof(\"Password\") IN ('text', 'integer', 'real') AND length(\"Password\") <= 8))"},
            {Field::Scanrate, 2, "Scanrate", FieldType::Int16, 0, "INTEGER CHECK(\"Scanrate\" IS NULL OR (typeof(\"Scanrate\") IN ('integer', 'real') AND \"Scanrate\" = round(\"Scanrate\") AND \"Scanrate\" BETWEEN -32768 AND 32767))"},
            {Field::Direction, 3, "Direction", FieldType::Text, 10, "TEXT"},
            {Field::UpperLimitValue, 8, "Upper Limit Value", FieldType::Int32, 0, "INTEGER CHECK(\"Upper Limit Value\" IS NULL OR (typeof(\"Upper Limit Value\") IN ('integer', 'real') AND \"Upper Limit Value\" = round(\"Upper Limit Value\") AND \"Upper Limit Value\" BETWEEN -2147483648 AND 2147483647))"},
            {Field::LowerLimitValue, 11, "Lower Limit Value", FieldType::Int32, 0, "INTEGER"},
            {Field::LowerAlarmSoundName, 23, "Lower Alarm Sound Name", FieldType::Text, 255, "TEXT"},
            {Field::LowerEventPath, 39, "Lower Event Path", FieldType::Text, 255, "TEXT"},
            {Field::InputMultiplier, 40, "Input Multiplier", FieldType::Double, 0, "REAL CHECK(\"Input Multiplier\" IS NULL OR typeof(\"Input Multiplier\") IN ('real', 'integer'))"},
            {Field::OutputOffset, 43, "Output Offset", FieldType::Double, 0, "REAL"},
            {Field::Units, 44, "Units", FieldType::Text, 10, "TEXT"},
            {Field::LogEveryTimeInterval, 48, "Log Every Time Interval", FieldType::Text, 255, "TEXT"},
            {Field::InboundCommPort, 54, "Inbound COMM Port", FieldType::Int32, 0, "INTEGER"},
            {Field::EncdecHeader, 57, "ENCDEC Header", FieldType::YesNo, 0, "INTEGER CHECK(\"ENCDEC Header\" IS NULL OR \"ENCDEC Header\" IN (0, 1))"},
            {Field::Parity, 62, "Parity", FieldType::Text, 255, "TEXT"},
            {Field::CommIndicatorColor, 69, "COMM Indicator Color", FieldType::Int32, 0, "INTEGER"},
            {Field::GraphType, 70, "Graph Type", FieldType::Int32, 0, "INTEGER"},
            {Field::Enabled, 71, "Enabled", FieldType::YesNo, 0, "INTEGER"},
        };
        const QString sql = store::createTableSql(schema::settingsTable());
        for (const Expected &e : spots) {
            const QString name = QLatin1String(e.name);
            QCOMPARE(schema::fieldName(e.field), name);
            QCOMPARE(schema::fieldIndex(e.field), e.column);
            QCOMPARE(schema::settingsTable().fields[size_t(e.column)].name, e.name);
            QCOMPARE(schema::definition(e.field).type, e.type);
            QCOMPARE(schema::definition(e.field).size, e.size);
            const QString column = store::quoteIdentifier(name) + QLatin1Char(' ') + QLatin1String(e.sqlType);
            QVERIFY2(sql.contains(column), qPrintable(column));
        }

        // LOG and DATA, whose names head the log list and the exported samples.
        QCOMPARE(schema::fieldName(schema::LogField::Event), QStringLiteral("Event"));
        QCOMPARE(schema::definition(schema::LogField::Event).size, 255);
        QCOMPARE(schema::logTable().fields[10].name, "Hold Status");
        QCOMPARE(schema::fieldName(schema::LogField::HoldStatus), QStringLiteral("Hold Status"));
        QCOMPARE(schema::dataTable().fields[3].name, "Input Value");
        QCOMPARE(schema::fieldName(schema::DataField::InputValue), QStringLiteral("Input Value"));
        QCOMPARE(schema::definition(schema::DataField::OutputValue).type, FieldType::Double);

        // Every enumerator names its own column, in the file's column order.
        QCOMPARE(int(schema::settingsFields().size()), 72);
        qsizetype at = 0;
        for (Field f : schema::settingsFields()) {
            const qsizetype next = sql.indexOf(store::quoteIdentifier(schema::fieldName(f)) + QLatin1Char(' '), at);
            QVERIFY2(next > at, qPrintable(schema::fieldName(f)));
            at = next;
        }
    }

    // A name from a user or another program is looked up exactly once; a
    // near miss is refused where it is given, never written nowhere.
    void namesAreLookedUpExactly()
    {
        std::set<QString> names;
        for (Field f : schema::settingsFields()) {
            names.insert(schema::fieldName(f));
            QCOMPARE(schema::fieldByName(schema::fieldName(f)), std::optional<Field>(f));
        }
        QCOMPARE(int(names.size()), 72);

        for (const char *nearMiss : {"Input  Offset", "input offset", "Input Offset ", " Input Offset", "InputOffset",
                                     "COMM indicator color", "Control", "Num", ""}) {
            const QString name = QString::fromLatin1(nearMiss);
            QVERIFY2(!schema::fieldByName(name), nearMiss);
            try {
                schema::requireField(name);
                QFAIL(nearMiss);
            } catch (const Error &e) {
                QCOMPARE(e.kind(), Error::Kind::InvalidField);
                QVERIFY2(e.message().contains(QLatin1Char('\'') + name + QLatin1Char('\'')), qPrintable(e.message()));
            }
        }
        // The public calls refuse it before they look for a store.
        const QString nowhere = QStringLiteral("/nonexistent/quellix-schema-test");
        QVERIFY_THROWS_EXCEPTION(Error, settingsField(nowhere, QStringLiteral("M"), QStringLiteral("input offset")));
        try {
            setSettingsField(nowhere, QStringLiteral("M"), QStringLiteral("Input  Offset"), 1.0);
            QFAIL("a misspelt field was taken");
        } catch (const Error &e) {
            QCOMPARE(e.kind(), Error::Kind::InvalidField);
        }
    }

    // A new row holds exactly the 28 factory fields, each as its type
    // declares it; a load reads 60 fields, never the name or the
    // communication fields.
    void factoryRowAndLoadOrder()
    {
        const QList<std::pair<Field, QVariant>> factory = {
            {Field::ControlName, QStringLiteral("Pump 1")},
            {Field::Password, QStringLiteral("marigold")},
            {Field::Scanrate, 500},
            {Field::Direction, QStringLiteral("Ascending")},
            {Field::EnableUpperLimit, true},
            {Field::EnableWarningLimit, true},
            {Field::EnableCautionLimit, true},
            {Field::EnableLowerLimit, true},
            {Field::UpperAlarmLight, true},
            {Field::WarningAlarmLight, true},
            {Field::CautionAlarmLight, true},
            {Field::LowerAlarmLight, true},
            {Field::InputOffset, 0.0},
            {Field::InputMultiplier, 1.0},
            {Field::OutputOffset, 0.0},
            {Field::OutputMultiplier, 1.0},
            {Field::LowerLimitValue, 0},
            {Field::CautionLimitValue, 75},
            {Field::WarningLimitValue, 90},
            {Field::UpperLimitValue, 100},
            {Field::Units, QStringLiteral("%")},
            {Field::DisplayColor, 255},
            {Field::UnitsColor, 65535},
            {Field::OutputColor, 65280},
            {Field::HoldIndicatorColor, 255},
            {Field::CommIndicatorColor, 255},
            {Field::GraphType, 3},
            {Field::Enabled, true},
        };
        QCOMPARE(factory.size(), 28);
        const store::SettingsRow row = store::factoryRow(QStringLiteral("Pump 1"));
        int present = 0;
        for (Field f : schema::settingsFields())
            present += row.has(f);
        QCOMPARE(present, 28);
        for (const auto &[field, value] : factory) {
            const QVariant got = row.value(field);
            QVERIFY2(got.typeId() == value.typeId() && got == value,
                     qPrintable(QStringLiteral("%1: %2").arg(schema::fieldName(field), got.toString())));
        }

        const std::span<const Field> order = schema::loadOrder();
        QCOMPARE(int(order.size()), 60);
        QCOMPARE(order.front(), Field::Password);
        QCOMPARE(order[1], Field::Scanrate);
        QCOMPARE(order.back(), Field::Enabled);
        for (Field never : {Field::ControlName, Field::InboundCommPort, Field::Parity, Field::StopBits})
            QVERIFY(std::find(order.begin(), order.end(), never) == order.end());
    }

    // Every name the configuration offers has its sound.
    void soundNamesHaveTheirSounds()
    {
        const QStringList &names = schema::alarmSoundNames();
        QCOMPARE(names.size(), 15);
        QStringList distinct = names;
        QCOMPARE(distinct.removeDuplicates(), 0);
        for (const QString &name : names)
            QVERIFY2(QFile::exists(QStringLiteral(":/Sound/") + name), qPrintable(name));
    }
};

QTEST_GUILESS_MAIN(TestSchema)
#include "tst_schema.moc"
