// The control's lifecycle: the run-time save that writes the live values
// back and records the shut down, the two load paths, ambient changes and
// the Show and Hide events.

#include "alarmsound.h"
#include "quellix.h"
#include "error.h"
#include "store.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace quellix;
using testsupport::EventLog;
using quellix::schema::Field;

namespace {

/// Counts the stops the control asks of the sound player.
class CountingPlayer : public SoundPlayer
{
public:
    explicit CountingPlayer(int *stops) : m_stops(stops) {}
    void play(const QByteArray &) override {}
    void stop() override { ++*m_stops; }

private:
    int *m_stops;
};

// The nine fields the save writes, with the live values the tests give the
// control and other values written behind its back.
struct NineFields
{
    static QVariantMap live()
    {
        return {{"Input Offset", 1.5},         {"Input Multiplier", 2.5},    {"Output Offset", -3.25},
                {"Output Multiplier", 4.0},    {"Lower Limit Value", 10.0},  {"Caution Limit Value", 60.0},
                {"Warning Limit Value", 80.0}, {"Upper Limit Value", 95.0},  {"Units", QStringLiteral("bar")}};
    }
    static QVariantMap other()
    {
        return {{"Input Offset", 0.0},         {"Input Multiplier", 1.0},    {"Output Offset", 0.0},
                {"Output Multiplier", 1.0},    {"Lower Limit Value", 0.0},   {"Caution Limit Value", 75.0},
                {"Warning Limit Value", 90.0}, {"Upper Limit Value", 100.0}, {"Units", QStringLiteral("%")}};
    }
};

void setLive(Quellix &m)
{
    m.setInputOffset(1.5);
    m.setInputMultiplier(2.5);
    m.setOutputOffset(-3.25);
    m.setOutputMultiplier(4);
    m.setLowerLimit(10);
    m.setCautionLimit(60);
    m.setWarningLimit(80);
    m.setUpperLimit(95);
    m.setUnits("bar");
}

// Written as another program would, by the names the file's columns have.
void writeBehindTheBack(const QString &control, const QVariantMap &fields)
{
    for (auto it = fields.begin(); it != fields.end(); ++it)
        quellix::setSettingsField(QDir::currentPath(), control, it.key(), it.value());
}

// The nine fields of a settings row, numbers as doubles.
QVariantMap nineOf(const QVariantMap &row)
{
    QVariantMap out;
    for (const QString &f : NineFields::live().keys())
        out.insert(f, f == "Units" ? row.value(f) : QVariant(row.value(f).toDouble()));
    return out;
}

QVector<QVariantMap> shutDowns(const QString &dir) { return testsupport::logRowsWhere(dir, "Event", "Shut Down"); }

} // namespace

class TestLifecycle : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::StoreDir> dir;
    std::unique_ptr<Quellix> meter;
    int stops = 0;

    // A registered control; logSystem switches "Log System Errors" of its row.
    void makeMeter(const QString &name, bool logSystem)
    {
        meter = std::make_unique<Quellix>();
        meter->setObjectName(name);
        meter->initProperties();
        if (logSystem) {
            testsupport::setSettingsField(name, Field::LogSystemErrors, true);
            meter->readProperties();
        }
    }

private Q_SLOTS:
    void init()
    {
        dir = std::make_unique<testsupport::StoreDir>();
        stops = 0;
        setSoundPlayer(std::make_unique<CountingPlayer>(&stops));
    }

    void cleanup()
    {
        meter.reset();
        setSoundPlayer(nullptr);
        dir.reset();
    }

    void designModeSaveWritesNothing()
    {
        makeMeter("Meter1", true);
        setLive(*meter);
        writeBehindTheBack("Meter1", NineFields::other());
        const auto settings = testsupport::readTable(dir->file("SETTINGS.MDB"), "Settings");
        const auto log = testsupport::logRows(dir->path());

        meter->setUserMode(false);
        meter->writeProperties();
        QCOMPARE(testsupport::readTable(dir->file("SETTINGS.MDB"), "Settings"), settings);
        QCOMPARE(testsupport::logRows(dir->path()), log);
        QCOMPARE(stops, 0);

        // The same save at run time does write: the comparison above could see it.
        meter->setUserMode(true);
        meter->writeProperties();
        QCOMPARE(nineOf(testsupport::settingsRow(dir->path(), "Meter1")), NineFields::live());
        QCOMPARE(stops, 1);
    }

    void runtimeSaveWritesTheNineFields_data()
    {
        QTest::addColumn<bool>("logSystem");
        QTest::newRow("system logging off") << false;
        QTest::newRow("system logging on") << true;
    }

    void runtimeSaveWritesTheNineFields()
    {
        QFETCH(bool, logSystem);
        // A neighbour's row that must stay as it is.
        Quellix other;
        other.setObjectName("Meter0");
        other.initProperties();
        makeMeter("Meter1", logSystem);
        setLive(*meter);
        meter->setInputValue(12);
        meter->findChild<QPushButton *>("c_HOLD")->click();
        QVERIFY(meter->Onhold());
        writeBehindTheBack("Meter1", NineFields::other());
        const QVariantMap neighbour = testsupport::settingsRow(dir->path(), "Meter0");
        const int logBefore = int(testsupport::logRows(dir->path()).size());

        meter->writeProperties();

        QCOMPARE(nineOf(testsupport::settingsRow(dir->path(), "Meter1")), NineFields::live());
        QCOMPARE(testsupport::settingsRow(dir->path(), "Meter0"), neighbour);
        const auto log = testsupport::logRows(dir->path());
        QCOMPARE(int(log.size()), logBefore + (logSystem ? 1 : 0));
        if (logSystem) {
            const QVariantMap r = log.last();
            QCOMPARE(r.value("Control").toString(), QStringLiteral("Meter1"));
            QCOMPARE(r.value("Type").toString(), QStringLiteral("SYSTEM"));
            QCOMPARE(r.value("Event").toString(), QStringLiteral("Shut Down"));
            QCOMPARE(r.value("Input Value").toDouble(), 12.0);
            QCOMPARE(r.value("Display Value").toDouble(), 2.5 * 12 + 1.5);
            QCOMPARE(r.value("Output Value").toDouble(), 4 * (2.5 * 12 + 1.5) - 3.25);
            QVERIFY(!r.value("Input Function").toString().isEmpty());
            QCOMPARE(r.value("Hold Status").toInt(), 1);
        }
        QCOMPARE(stops, 1);
    }

    void saveWithoutOwnRow()
    {
        makeMeter("Meter1", true);
        setLive(*meter);
        writeBehindTheBack("Meter1", NineFields::other());
        // Renamed by the host and not loaded again: no row carries the new name.
        meter->setObjectName("Renamed");
        const auto settings = testsupport::readTable(dir->file("SETTINGS.MDB"), "Settings");

        meter->writeProperties();

        QCOMPARE(testsupport::readTable(dir->file("SETTINGS.MDB"), "Settings"), settings);
        const auto down = shutDowns(dir->path());
        QCOMPARE(down.size(), 1);
        QCOMPARE(down.first().value("Control").toString(), QStringLiteral("Renamed"));
        QCOMPARE(stops, 1);
    }

    void unreachableSettingsStore()
    {
        makeMeter("Meter1", true);
        QVERIFY(QFile::remove(dir->file("SETTINGS.MDB")));
        QFile::remove(dir->file("SETTINGS.MDB-wal"));
        QFile::remove(dir->file("SETTINGS.MDB-shm"));

        meter->writeProperties(); // must not throw

        QCOMPARE(shutDowns(dir->path()).size(), 1);
        QCOMPARE(stops, 1);
        QVERIFY(!QFile::exists(dir->file("SETTINGS.MDB")));
    }

    void fieldsTheRowCannotHold()
    {
        makeMeter("Meter1", true);
        setLive(*meter);
        // Live values the settings row cannot take: a units text longer than
        // its field and a limit beyond its 32-bit field. Their own
        // write-through fails, and so will the save of those two fields.
        QVERIFY_THROWS_EXCEPTION(Error, meter->setUnits("kilopascal!"));
        QVERIFY_THROWS_EXCEPTION(Error, meter->setUpperLimit(3e9));
        writeBehindTheBack("Meter1", NineFields::other());

        meter->writeProperties();

        // The other seven fields are saved all the same.
        QVariantMap expected = NineFields::live();
        expected["Units"] = NineFields::other().value("Units");
        expected["Upper Limit Value"] = NineFields::other().value("Upper Limit Value");
        QCOMPARE(nineOf(testsupport::settingsRow(dir->path(), "Meter1")), expected);
        QCOMPARE(shutDowns(dir->path()).size(), 1);
        QCOMPARE(stops, 1);

        // The cursor is left usable: the next property write goes through.
        meter->setLowerLimit(3);
        QCOMPARE(testsupport::settingsRow(dir->path(), "Meter1").value("Lower Limit Value").toInt(), 3);
    }

    void unregisteredControl()
    {
        // Never registered: the cursors point nowhere. The save still stops the sound.
        Quellix m;
        m.setObjectName("Loose");
        m.writeProperties();
        QCOMPARE(stops, 1);
        QVERIFY(!QFile::exists(dir->file("LOG.MDB")));
    }

    void loadFollowsEnabled()
    {
        makeMeter("Meter1", false);
        testsupport::setSettingsField("Meter1", Field::Enabled, false);
        meter->readProperties();
        QVERIFY(!meter->Enabled());
        const QStringList followers{"t_RECORDLITE", "t_READOUT", "t_NORMAL", "t_CAUTION", "t_WARNING",
                                    "t_COMMLIGHT", "t_ONHOLD", "t_OUTPUT", "t_UNITS", "c_HOLD",
                                    "c_LOGS", "c_PROPERTIES", "c_RESET"};
        for (const QString &name : followers)
            QVERIFY2(!meter->findChild<QWidget *>(name)->isEnabled(), qPrintable(name));
        for (const char *name : {"t_GAUGENAME", "i_BORDER", "LOGO"})
            QVERIFY2(meter->findChild<QWidget *>(name)->isEnabled(), name);

        testsupport::setSettingsField("Meter1", Field::Enabled, true);
        meter->readProperties();
        for (const QString &name : followers)
            QVERIFY2(meter->findChild<QWidget *>(name)->isEnabled(), qPrintable(name));
    }

    void newInstanceTakesItsRow()
    {
        // A new name: the caption, the store files and a row of factory values.
        makeMeter("Boiler", false);
        QCOMPARE(meter->findChild<QLabel *>("t_GAUGENAME")->text(), QStringLiteral("Boiler"));
        QVERIFY(QFile::exists(dir->file("SETTINGS.MDB")));
        QCOMPARE(testsupport::settingsRow(dir->path(), "Boiler").value("Caution Limit Value").toInt(), 75);
        QCOMPARE(meter->CautionLimit(), 75.0);

        // A name that has a row takes that row's values.
        testsupport::setSettingsField("Boiler", Field::CautionLimitValue, 60);
        makeMeter("Boiler", false);
        QCOMPARE(meter->CautionLimit(), 60.0);
        QCOMPARE(testsupport::readTable(dir->file("SETTINGS.MDB"), "Settings").size(), 1);
    }

    void renameByTheHost()
    {
        makeMeter("Meter1", false);
        auto *caption = meter->findChild<QLabel *>("t_GAUGENAME");
        meter->setObjectName("Tank2");
        QCOMPARE(caption->text(), QStringLiteral("Tank2"));
        QVERIFY(testsupport::settingsRow(dir->path(), "Tank2").isEmpty());

        // The next load binds the control to a row of its new name; the old row stays.
        meter->readProperties();
        QVERIFY(!testsupport::settingsRow(dir->path(), "Tank2").isEmpty());
        QVERIFY(!testsupport::settingsRow(dir->path(), "Meter1").isEmpty());
    }

    void showAndHide()
    {
        makeMeter("Meter1", false);
        EventLog log(meter.get());
        meter->resize(176, 176);
        meter->show();
        QVERIFY(QTest::qWaitForWindowExposed(meter.get()));
        meter->hide();
        meter->show();
        // Raised once Qt has finished showing or hiding, in order.
        QCoreApplication::processEvents();
        QStringList seen = log.names();
        seen.removeIf([](const QString &n) { return n != "Show" && n != "Hide"; });
        QCOMPARE(seen, (QStringList{"Show", "Hide", "Show"}));
    }
};

QTEST_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"
