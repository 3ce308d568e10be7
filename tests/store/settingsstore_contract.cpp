#include "settingsstore_contract.h"

#include "error.h"

#include <QDate>
#include <QObject>
#include <QTest>

#include <optional>

#include <cmath>
#include <limits>

using namespace quellix;
using namespace quellix::store;
using quellix::schema::Field;

Q_DECLARE_METATYPE(quellix::schema::Field)

namespace settingsstorecontract {

namespace {

constexpr int kNoError = -1;
constexpr int kInvalidValue = int(Error::Kind::InvalidValue);
constexpr int kNotFound = int(Error::Kind::NotFound);

// The kind of the Error `fn` throws, kNoError when it throws none.
int errorOf(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const Error &e) {
        return int(e.kind());
    }
    return kNoError;
}

SettingsRow rowOf(std::initializer_list<std::pair<Field, QVariant>> fields)
{
    SettingsRow r;
    for (const auto &[field, value] : fields)
        r.set(field, value);
    return r;
}

// `base` with every field present in `edits` taken from there.
SettingsRow merged(SettingsRow base, const SettingsRow &edits)
{
    for (Field f : schema::settingsFields()) {
        if (edits.has(f))
            base.set(f, edits.value(f));
    }
    return base;
}

// A row with a value in every field the tests below write.
SettingsRow baseline(const QString &name)
{
    return rowOf({{Field::ControlName, name},      {Field::Password, "marigold"},   {Field::Scanrate, 500},
                  {Field::Units, "bar"},            {Field::InputMultiplier, 1.0},  {Field::InputOffset, 0.0},
                  {Field::UpperLimitValue, 100},  {Field::CautionLimitValue, 75}, {Field::LowerLimitValue, 0},
                  {Field::Enabled, true},           {Field::Parity, "No"},           {Field::GraphType, 3}});
}

// Equal, and held as the same type (a double field as a double, not an int).
bool sameTyped(const QVariant &a, const QVariant &b)
{
    return a.isValid() == b.isValid() && (!a.isValid() || (a.typeId() == b.typeId() && a == b));
}

QString describe(const QVariant &v)
{
    return v.isValid() ? QStringLiteral("%1 (%2)").arg(v.toString(), QLatin1String(v.typeName()))
                       : QStringLiteral("absent");
}

QString describe(const SettingsRow &row)
{
    QStringList fields;
    for (Field f : schema::settingsFields()) {
        if (row.has(f))
            fields << QStringLiteral("%1=%2").arg(schema::fieldName(f), describe(row.value(f)));
    }
    return fields.join(QStringLiteral(", "));
}

#define COMPARE_ROWS(actual, expected)                                                                                 \
    QVERIFY2((actual) == (expected),                                                                                   \
             qPrintable(QStringLiteral("\n  got      %1\n  expected %2").arg(describe(actual), describe(expected))))

class SettingsStoreContract : public QObject
{
    Q_OBJECT

public:
    explicit SettingsStoreContract(const Backend &backend) : m_backend(backend) {}

private:
    // The store's calls that must succeed: one that throws fails the test
    // (with its message) instead of ending the test program.
    class Checked
    {
    public:
        explicit Checked(SettingsStore &s) : m_s(s) {}
        bool contains(const QString &c) { return guard([&] { return m_s.contains(c); }); }
        std::optional<SettingsRow> read(const QString &c) { return guard([&] { return m_s.read(c); }); }
        void add(const SettingsRow &r) { guard([&] { m_s.add(r); return 0; }); }
        void writeField(const QString &c, Field f, const QVariant &v)
        {
            guard([&] { m_s.writeField(c, f, v); return 0; });
        }
        void writeRow(const QString &c, const SettingsRow &r) { guard([&] { m_s.writeRow(c, r); return 0; }); }

    private:
        template<typename Fn>
        auto guard(Fn &&fn) -> decltype(fn())
        {
            try {
                return fn();
            } catch (const std::exception &e) {
                QTest::qFail(e.what(), __FILE__, __LINE__);
            }
            return {};
        }
        SettingsStore &m_s;
    };

    Backend m_backend;
    std::shared_ptr<Stores> m_stores;
    SettingsStore &direct() { return m_stores->settings(); }
    Checked store() { return Checked(m_stores->settings()); }

    SettingsRow readBack(const QString &control)
    {
        const std::optional<SettingsRow> row = store().read(control);
        if (!row)
            QTest::qFail(qPrintable(QStringLiteral("no row for '%1'").arg(control)), __FILE__, __LINE__);
        return row.value_or(SettingsRow());
    }

private Q_SLOTS:
    void init()
    {
        m_stores = m_backend.open();
        QVERIFY(m_stores);
    }
    void cleanup() { m_stores.reset(); }

    void addFindAndRead()
    {
        QVERIFY(!store().contains("Meter"));
        QVERIFY(!store().read("Meter"));

        const SettingsRow meter = baseline("Meter");
        store().add(meter);
        QVERIFY(store().contains("Meter"));
        const SettingsRow got = readBack("Meter");
        COMPARE_ROWS(got, meter);
        // Every field as its type declares it; fields never set are absent.
        QVERIFY(sameTyped(got.value(Field::InputMultiplier), 1.0));
        QVERIFY(sameTyped(got.value(Field::Scanrate), 500));
        QVERIFY(sameTyped(got.value(Field::Enabled), true));
        QVERIFY(!got.has(Field::UpperPromptText));
        QVERIFY(!got.has(Field::LogUserActions));

        // A second row of the same name: the first in row order is the one.
        store().add(merged(meter, rowOf({{Field::Units, "psi"}})));
        QCOMPARE(readBack("Meter").value(Field::Units).toString(), QStringLiteral("bar"));
        store().writeField("Meter", Field::UpperLimitValue, 150);
        QCOMPARE(readBack("Meter").value(Field::UpperLimitValue).toInt(), 150);
        QCOMPARE(readBack("Meter").value(Field::Units).toString(), QStringLiteral("bar"));

        // An empty name is no name: no row has it, and no row is added for it.
        QVERIFY(!store().contains(QString()));
        QVERIFY(!store().read(QString()));
        QCOMPARE(errorOf([&] { direct().add(rowOf({{Field::Units, "x"}})); }), kInvalidValue);
        QCOMPARE(errorOf([&] { direct().add(rowOf({{Field::ControlName, ""}, {Field::Units, "x"}})); }), kInvalidValue);
        QVERIFY(!store().contains(QString()));
    }

    void namesAreFoundExactly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("decoys"); // rows added first that a loose comparison would take
        QTest::newRow("letter case") << "Meter" << QStringList{"METER", "meter"};
        QTest::newRow("blanks count") << "Meter " << QStringList{"Meter", " Meter "};
        QTest::newRow("letter case beyond ASCII") << "Zähler Ω" << QStringList{"ZÄHLER Ω", "zähler ω"};
        QTest::newRow("percent") << "50%" << QStringList{"50", "50% more"};
        QTest::newRow("underscore") << "a_b" << QStringList{"axb", "a_bc"};
        QTest::newRow("quote") << "Tank'7" << QStringList{"Tank", "Tank''7"};
        QTest::newRow("double quote") << "Tank\"7" << QStringList{"Tank", "Tank\"\"7"};
        QTest::newRow("SQL text") << "x'); DROP TABLE Settings; --" << QStringList{"x"};
    }
    void namesAreFoundExactly()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, decoys);
        for (const QString &decoy : decoys)
            store().add(rowOf({{Field::ControlName, decoy}, {Field::Units, "decoy"}}));
        QVERIFY(!store().contains(name));
        QVERIFY(!store().read(name));
        QCOMPARE(errorOf([&] { direct().writeField(name, Field::Units, "lost"); }), kNotFound);

        store().add(rowOf({{Field::ControlName, name}, {Field::Units, "own"}}));
        QVERIFY(store().contains(name));
        QCOMPARE(readBack(name).value(Field::Units).toString(), QStringLiteral("own"));
        QCOMPARE(readBack(name).controlName(), name);
        store().writeField(name, Field::Units, "written");
        store().writeRow(name, rowOf({{Field::Password, "pw"}}));
        const SettingsRow own = readBack(name);
        QCOMPARE(own.value(Field::Units).toString(), QStringLiteral("written"));
        QCOMPARE(own.value(Field::Password).toString(), QStringLiteral("pw"));
        for (const QString &decoy : decoys)
            COMPARE_ROWS(readBack(decoy), rowOf({{Field::ControlName, decoy}, {Field::Units, "decoy"}}));
    }

    void storedValuesReadAsTheirTypes_data()
    {
        QTest::addColumn<Field>("field");
        QTest::addColumn<QVariant>("raw");  // written by another program
        QTest::addColumn<QVariant>("read"); // invalid: the field reads as absent
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("empty") << Field::Units << QVariant() << QVariant();
        QTest::newRow("integer in a double") << Field::InputMultiplier << QVariant(qlonglong(2)) << QVariant(2.0);
        QTest::newRow("text in a double") << Field::InputMultiplier << QVariant("abc") << QVariant();
        QTest::newRow("infinity in a double") << Field::InputOffset << QVariant(inf) << QVariant();
        QTest::newRow("whole double in an integer") << Field::UpperLimitValue << QVariant(150.0) << QVariant(150);
        QTest::newRow("fraction in an integer") << Field::UpperLimitValue << QVariant(75.5) << QVariant(76);
        QTest::newRow("beyond 16 bits") << Field::Scanrate << QVariant(qlonglong(40000)) << QVariant();
        QTest::newRow("text in an integer") << Field::GraphType << QVariant("three") << QVariant();
        QTest::newRow("yes/no 1") << Field::Enabled << QVariant(qlonglong(1)) << QVariant(true);
        QTest::newRow("yes/no 2") << Field::Enabled << QVariant(qlonglong(2)) << QVariant();
        QTest::newRow("text in a yes/no") << Field::Enabled << QVariant("yes") << QVariant();
        QTest::newRow("text longer than its field") << Field::Password << QVariant("123456789") << QVariant();
        QTest::newRow("number in a text") << Field::Parity << QVariant(qlonglong(7)) << QVariant("7");
    }
    void storedValuesReadAsTheirTypes()
    {
        QFETCH(Field, field);
        QFETCH(QVariant, raw);
        QFETCH(QVariant, read);
        const SettingsRow before = baseline("Meter");
        store().add(before);
        m_backend.writeRaw(*m_stores, "Meter", schema::fieldName(field), raw);

        const SettingsRow got = readBack("Meter");
        QVERIFY2(sameTyped(got.value(field), read), qPrintable(describe(got.value(field))));
        // The other fields read as before.
        SettingsRow expected = before;
        expected.clear(field);
        if (read.isValid())
            expected.set(field, read);
        COMPARE_ROWS(got, expected);
    }

    void writesTakeWhatTheFieldHolds_data()
    {
        QTest::addColumn<Field>("field");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("error");
        auto taken = [](const char *tag, Field field, const QVariant &value, const QVariant &stored) {
            QTest::newRow(tag) << field << value << stored << kNoError;
        };
        auto refused = [](const char *tag, Field field, const QVariant &value) {
            QTest::newRow(tag) << field << value << QVariant() << kInvalidValue;
        };
        const double inf = std::numeric_limits<double>::infinity();
        const QString wide = QString::fromUtf8("\xF0\x9F\x98\x80"); // one letter, two UTF-16 units
        const QString tenWide = wide.repeated(10);

        taken("integer into a double", Field::InputMultiplier, 2, 2.0);
        taken("exact 64-bit integer into a double", Field::InputMultiplier, qlonglong(1) << 53, 9007199254740992.0);
        refused("inexact 64-bit integer into a double", Field::InputMultiplier, (qlonglong(1) << 53) + 1);
        refused("text into a double", Field::InputMultiplier, "2");
        refused("infinity", Field::InputOffset, inf);
        refused("not a number", Field::InputOffset, std::nan(""));

        taken("whole double into an integer", Field::UpperLimitValue, 150.0, 150);
        taken("fraction rounds to the nearest", Field::CautionLimitValue, 75.6, 76);
        taken("half rounds to even", Field::CautionLimitValue, 74.5, 74);
        taken("largest 32-bit", Field::UpperLimitValue, 2147483647, 2147483647);
        refused("beyond 32 bits", Field::UpperLimitValue, qlonglong(2147483648));
        refused("double beyond 32 bits", Field::UpperLimitValue, 3e9);
        refused("unsigned beyond 32 bits", Field::UpperLimitValue, std::numeric_limits<quint64>::max());
        taken("smallest 16-bit", Field::Scanrate, -32768, -32768);
        refused("beyond 16 bits", Field::Scanrate, 32768);
        refused("text into an integer", Field::Scanrate, "500");

        taken("yes/no false", Field::Enabled, false, false);
        taken("yes/no 0", Field::Enabled, 0, false);
        taken("yes/no 1.0", Field::Enabled, 1.0, true);
        refused("yes/no 2", Field::Enabled, 2);
        refused("yes/no text", Field::Enabled, "true");

        taken("text filling its field", Field::Units, "1234567890", "1234567890");
        refused("text longer than its field", Field::Units, "12345678901");
        taken("letters beyond 16 bits count once", Field::Units, tenWide, tenWide);
        refused("eleven of them", Field::Units, tenWide + wide);
        taken("number into a text", Field::Parity, 7, "7");
        taken("fraction into a text", Field::Parity, 0.1, "0.1");
        refused("a date into a text", Field::Units, QDate(2020, 1, 1));
        taken("an empty value empties the field", Field::Units, QVariant(), QVariant());
    }
    void writesTakeWhatTheFieldHolds()
    {
        QFETCH(Field, field);
        QFETCH(QVariant, value);
        QFETCH(QVariant, stored);
        QFETCH(int, error);
        const SettingsRow before = baseline("Meter");
        store().add(before);

        // A pending row takes what the store takes.
        SettingsRow pending;
        QCOMPARE(errorOf([&] { pending.set(field, value); }), error);

        QCOMPARE(errorOf([&] { direct().writeField("Meter", field, value); }), error);
        const SettingsRow got = readBack("Meter");
        SettingsRow expected = before;
        if (error == kNoError) {
            QVERIFY2(sameTyped(got.value(field), stored), qPrintable(describe(got.value(field))));
            QVERIFY(sameTyped(pending.value(field), stored));
            expected.clear(field);
            if (stored.isValid())
                expected.set(field, stored);
        }
        COMPARE_ROWS(got, expected); // a refused value leaves the row as it was
    }

    void writeRowIsAllOrNothing()
    {
        const SettingsRow before = baseline("Meter");
        store().add(before);
        const SettingsRow edits = rowOf({{Field::Units, "psi"}, {Field::UpperLimitValue, 120}, {Field::Enabled, false}});
        store().writeRow("Meter", edits);
        const SettingsRow written = merged(before, edits);
        COMPARE_ROWS(readBack("Meter"), written);

        // The store refuses one field: nothing of the row is written ...
        m_backend.refuse(*m_stores, schema::fieldName(Field::Units), "bad");
        const SettingsRow bad = rowOf({{Field::UpperLimitValue, 130}, {Field::Units, "bad"}, {Field::LowerLimitValue, 5}});
        QVERIFY(errorOf([&] { direct().writeRow("Meter", bad); }) != kNoError);
        COMPARE_ROWS(readBack("Meter"), written);
        // ... and no new row is added.
        QVERIFY(errorOf([&] { direct().add(rowOf({{Field::ControlName, "New"}, {Field::Units, "bad"}})); }) != kNoError);
        QVERIFY(!store().contains("New"));

        // No row of the name: nothing is written and nothing added.
        QCOMPARE(errorOf([&] { direct().writeRow("Nobody", edits); }), kNotFound);
        QCOMPARE(errorOf([&] { direct().writeRow("Nobody", SettingsRow()); }), kNotFound);
        QCOMPARE(errorOf([&] { direct().writeField("Nobody", Field::Units, "x"); }), kNotFound);
        QVERIFY(!store().contains("Nobody"));
        store().writeRow("Meter", SettingsRow()); // nothing to write
        COMPARE_ROWS(readBack("Meter"), written);
    }

    void writesFindTheirRowAfterCompaction()
    {
        // Rows are addressed by name: another program deleting a row and
        // compacting the table sends no write to another control's row.
        for (const char *name : {"Old", "A", "B", "C"})
            store().add(baseline(QLatin1String(name)));
        m_backend.deleteAndCompact(*m_stores, "Old");
        QVERIFY(!store().contains("Old"));

        store().writeField("A", Field::Units, "a");
        store().writeRow("B", rowOf({{Field::Units, "b"}, {Field::UpperLimitValue, 222}}));
        COMPARE_ROWS(readBack("A"), merged(baseline("A"), rowOf({{Field::Units, "a"}})));
        COMPARE_ROWS(readBack("B"), merged(baseline("B"), rowOf({{Field::Units, "b"}, {Field::UpperLimitValue, 222}})));
        COMPARE_ROWS(readBack("C"), baseline("C"));
    }
};

} // namespace

int runSettingsStoreContract(const Backend &backend, int argc, char **argv)
{
    SettingsStoreContract t(backend);
    return QTest::qExec(&t, argc, argv);
}

} // namespace settingsstorecontract

#include "settingsstore_contract.moc"
