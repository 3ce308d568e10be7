// Registration: creating the store files, finding or adding the settings
// row, and applying it.

#include "quellix.h"
#include "logstore.h"
#include "connectioncache.h"
#include "storefiles.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace quellix;
using quellix::schema::Field;

namespace {

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) : QByteArray();
}

// Captures the warnings of registration.
struct WarningCatcher
{
    static QStringList &warnings()
    {
        static QStringList w;
        return w;
    }
    QtMessageHandler previous;
    WarningCatcher()
    {
        warnings().clear();
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &msg) {
            if (type == QtWarningMsg)
                warnings() << msg;
        });
    }
    ~WarningCatcher() { qInstallMessageHandler(previous); }
};

} // namespace

class TestRegistration : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstRunInAnEmptyDirectory()
    {
        testsupport::StoreDir dir;
        Quellix m;
        m.setObjectName("Tank7");
        m.REGISTER();

        QCOMPARE(dir.messages, (QStringList{"Create New Settings File.", "Create New LOG File."}));
        QVERIFY(QFile::exists(dir.file("SETTINGS.MDB")));
        QVERIFY(QFile::exists(dir.file("LOG.MDB")));
        QCOMPARE(store::storeDirectory(), dir.path());

        const auto log = testsupport::logRows(dir.path());
        QCOMPARE(log.size(), 1);
        const QVariantMap reg = log.first();
        QCOMPARE(reg.value("Num").toInt(), 1);
        QCOMPARE(reg.value("Control").toString(), QStringLiteral("Tank7"));
        QCOMPARE(reg.value("Type").toString(), QStringLiteral("SYSTEM"));
        QCOMPARE(reg.value("Event").toString(), QStringLiteral("Control Registration For Tank7"));
        QCOMPARE(reg.value("Input Function").toString(), QStringLiteral("NEW"));
        QCOMPARE(reg.value("Output Function").toString(), QStringLiteral("NEW"));
        QCOMPARE(reg.value("Input Value").toDouble(), 0.0);
        QCOMPARE(reg.value("Hold Status").toInt(), 0);

        const auto rows = testsupport::readTable(dir.file("SETTINGS.MDB"), "Settings");
        QCOMPARE(rows.size(), 1);
        const QVariantMap row = rows.first();
        const QVariantMap expected{
            {"Control Name", "Tank7"}, {"Password", "marigold"}, {"Scanrate", 500}, {"Direction", "Ascending"},
            {"Enable Upper Limit", 1}, {"Enable Warning Limit", 1}, {"Enable Caution Limit", 1},
            {"Enable Lower Limit", 1}, {"Upper Alarm Light", 1}, {"Warning Alarm Light", 1},
            {"Caution Alarm Light", 1}, {"Lower Alarm Light", 1}, {"Input Offset", 0.0},
            {"Input Multiplier", 1.0}, {"Output Offset", 0.0}, {"Output Multiplier", 1.0},
            {"Lower Limit Value", 0}, {"Caution Limit Value", 75}, {"Warning Limit Value", 90},
            {"Upper Limit Value", 100}, {"Units", "%"}, {"Display Color", 255}, {"Units Color", 65535},
            {"Output Color", 65280}, {"Hold Indicator Color", 255}, {"COMM Indicator Color", 255},
            {"Graph Type", 3}, {"Enabled", 1}};
        QCOMPARE(row.size(), 28); // the other 44 fields are empty
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QVERIFY2(row.value(it.key()).toString() == it.value().toString(), qPrintable(it.key()));

        // The control took the factory values.
        QCOMPARE(m.UpperLimit(), 100.0);
        QCOMPARE(m.CautionLimit(), 75.0);
        QCOMPARE(m.Units(), QStringLiteral("%"));
        QCOMPARE(m.Password(), QStringLiteral("marigold"));
        QCOMPARE(m.Scanrate(), qint16(500));
        QVERIFY(m.Ascending());
        QVERIFY(m.Enabled());
        QCOMPARE(m.findChild<QLineEdit *>("t_UNITS")->text(), QStringLiteral("%"));
        QCOMPARE(m.findChild<QLineEdit *>("t_READOUT")->text(), QStringLiteral("0.00"));
        QCOMPARE(m.findChild<QWidget *>("t_GAUGENAME")->property("text").toString(), QStringLiteral("Tank7"));
        QCOMPARE(m.findChild<QLineEdit *>("t_READOUT")->palette().color(QPalette::Text), QColor(255, 0, 0));
    }

    void laterRunLoadsTheRow()
    {
        testsupport::StoreDir dir;
        {
            Quellix first;
            first.setObjectName("Pump");
            first.REGISTER();
            testsupport::setSettingsField("Pump", Field::Direction, "Descending");
            testsupport::setSettingsField("Pump", Field::Scanrate, 200);
            testsupport::setSettingsField("Pump", Field::UpperLimitValue, 150);
            testsupport::setSettingsField("Pump", Field::Units, "rpm");
            testsupport::setSettingsField("Pump", Field::OutputColor, 16711680); // blue
            testsupport::setSettingsField("Pump", Field::LogDisplayedEvery, true);
            testsupport::setSettingsField("Pump", Field::LogEveryTimeInterval, "5 Minutes");
            testsupport::setSettingsField("Pump", Field::WarningAlarmSoundName, "BEEP");
        }
        store::Connection::closeAll(); // as a new program would
        dir.messages.clear();

        Quellix m;
        m.setObjectName("Pump");
        m.REGISTER();
        QVERIFY(dir.messages.isEmpty());
        QVERIFY(!m.Ascending());
        QCOMPARE(m.Scanrate(), qint16(200));
        QCOMPARE(m.UpperLimit(), 150.0);
        QCOMPARE(m.Units(), QStringLiteral("rpm"));
        QCOMPARE(m.findChild<QLineEdit *>("t_UNITS")->text(), QStringLiteral("rpm"));
        QCOMPARE(m.findChild<QLineEdit *>("t_OUTPUT")->palette().color(QPalette::Text), QColor(0, 0, 255));
        auto *scan = m.findChild<QTimer *>("timer_LIMITS");
        QVERIFY(scan->isActive());
        QCOMPARE(scan->interval(), 200);
        QVERIFY(m.findChild<QTimer *>("timer_DATA")->isActive());
        QVERIFY(!m.findChild<QLineEdit *>("t_RECORDLITE")->isHidden());
        QCOMPARE(m.findChild<QPushButton *>("c_RESET")->text(), QStringLiteral("Alarm Reset"));

        // Only one row, and "System Start" only with the system log switch on.
        QCOMPARE(testsupport::readTable(dir.file("SETTINGS.MDB"), "Settings").size(), 1);
        QCOMPARE(testsupport::logRows(dir.path()).size(), 1);
        testsupport::setSettingsField("Pump", Field::LogSystemErrors, true);
        m.REGISTER();
        const auto log = testsupport::logRows(dir.path());
        QCOMPARE(log.size(), 2);
        QCOMPARE(log.last().value("Event").toString(), QStringLiteral("System Start"));
        QCOMPARE(log.last().value("Input Function").toString(), QStringLiteral("* 1 + 0"));

        // Recording turned off hides the indicator and stops the sample timer.
        testsupport::setSettingsField("Pump", Field::LogDisplayedEvery, false);
        m.REGISTER();
        QVERIFY(m.findChild<QLineEdit *>("t_RECORDLITE")->isHidden());
        QVERIFY(!m.findChild<QTimer *>("timer_DATA")->isActive());
    }

    void rowValuesAreConverted()
    {
        testsupport::StoreDir dir;
        Quellix m;
        m.setObjectName("Flow");
        m.REGISTER();
        m.setCautionLimit(75.5); // the row keeps whole numbers
        m.setAscending(false);
        testsupport::setSettingsField("Flow", Field::Direction, "descending"); // any text but "Descending"
        m.REGISTER();
        QCOMPARE(m.CautionLimit(), 76.0);
        QVERIFY(m.Ascending());
        testsupport::setSettingsField("Flow", Field::Direction, QVariant());
        m.setUnits("m3/h");
        m.REGISTER();
        QVERIFY(m.Ascending());
        QCOMPARE(m.Units(), QStringLiteral("m3/h")); // an empty field keeps the state
    }

    void namesAreComparedExactly()
    {
        testsupport::StoreDir dir;
        Quellix a;
        a.setObjectName("Meter");
        a.REGISTER();
        a.setUpperLimit(300);
        Quellix b;
        b.setObjectName("meter");
        b.REGISTER();
        QCOMPARE(b.UpperLimit(), 100.0);
        QCOMPARE(testsupport::readTable(dir.file("SETTINGS.MDB"), "Settings").size(), 2);
        // Renaming binds the control to the row of its new name at the next registration.
        a.setObjectName("Renamed");
        QCOMPARE(a.findChild<QWidget *>("t_GAUGENAME")->property("text").toString(), QStringLiteral("Renamed"));
        a.REGISTER();
        QCOMPARE(a.UpperLimit(), 100.0);
        QCOMPARE(testsupport::readTable(dir.file("SETTINGS.MDB"), "Settings").size(), 3);
        QCOMPARE(testsupport::settingsRow(dir.path(), "Meter").value("Upper Limit Value").toInt(), 300);
    }

    void namesAndTextsNeverReachSql()
    {
        // Names and texts full of SQL are stored and found as plain text.
        testsupport::StoreDir dir;
        const QString name = QStringLiteral("Tank'); DROP TABLE Settings; --");
        Quellix a;
        a.setObjectName(name);
        a.REGISTER();
        testsupport::setSettingsField(name, Field::LogUserActions, true);
        a.REGISTER();
        a.setUnits(QStringLiteral("x' OR 1=1"));
        Quellix b;
        b.setObjectName(QStringLiteral("Tank"));
        b.REGISTER();
        QCOMPARE(testsupport::readTable(dir.file("SETTINGS.MDB"), "Settings").size(), 2);
        QCOMPARE(testsupport::settingsRow(dir.path(), name).value("Units").toString(),
                 QStringLiteral("x' OR 1=1"));
        QCOMPARE(testsupport::settingsRow(dir.path(), "Tank").value("Units").toString(), QStringLiteral("%"));
        bool logged = false;
        for (const QVariantMap &r : testsupport::logRows(dir.path()))
            logged |= r.value("Control").toString() == name && r.value("Event") == "Units Change";
        QVERIFY(logged);
        // A second registration finds the row again rather than adding one.
        a.REGISTER();
        QCOMPARE(testsupport::readTable(dir.file("SETTINGS.MDB"), "Settings").size(), 2);
    }

    void writeBacksFindTheirRowAfterAnotherProgramCompacts()
    {
        // Another program deletes an earlier row and compacts the file, which
        // renumbers the rows: each control still writes its own row.
        testsupport::StoreDir dir;
        std::vector<std::unique_ptr<Quellix>> meters;
        for (const char *name : {"Old", "A", "B"}) {
            meters.push_back(std::make_unique<Quellix>());
            meters.back()->setObjectName(QLatin1String(name));
            meters.back()->REGISTER();
        }
        QCOMPARE(testsupport::execSql(dir.file("SETTINGS.MDB"),
                                      "DELETE FROM Settings WHERE \"Control Name\" = 'Old'; VACUUM;"),
                 0);
        meters[1]->setUpperLimit(111);
        meters[2]->setUpperLimit(222);
        QCOMPARE(testsupport::settingsRow(dir.path(), "A").value("Upper Limit Value").toInt(), 111);
        QCOMPARE(testsupport::settingsRow(dir.path(), "B").value("Upper Limit Value").toInt(), 222);
        QCOMPARE(testsupport::readTable(dir.file("SETTINGS.MDB"), "Settings").size(), 2);
    }

    void settingsFileAnyCase()
    {
        testsupport::StoreDir dir;
        store::createSettingsStore(dir.file("Settings.MDB"));
        dir.messages.clear();
        Quellix m;
        m.setObjectName("M");
        m.REGISTER();
        QCOMPARE(dir.messages, QStringList{"Create New LOG File."});
        QVERIFY(!QFile::exists(dir.file("SETTINGS.MDB")));
        QCOMPARE(testsupport::readTable(dir.file("Settings.MDB"), "Settings").size(), 1);
    }

    void storeDirectoryIsCapturedAtRegistration()
    {
        testsupport::StoreDir dir;
        Quellix m;
        m.setObjectName("M");
        m.REGISTER();
        testsupport::setSettingsField("M", Field::LogUserActions, true);
        m.REGISTER();
        QTemporaryDir elsewhere;
        QDir::setCurrent(elsewhere.path());
        m.setUpperLimit(110);
        QDir::setCurrent(dir.path());
        QCOMPARE(testsupport::settingsRow(dir.path(), "M").value("Upper Limit Value").toInt(), 110);
        QVERIFY(QDir(elsewhere.path()).entryList(QDir::Files).isEmpty());
    }

    void damagedFilesAreLeftAlone()
    {
        testsupport::StoreDir dir;
        {
            QFile f(dir.file("LOG.MDB"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("this is not a store file");
        }
        const QByteArray logBefore = fileHash(dir.file("LOG.MDB"));
        WarningCatcher catcher;
        auto m = std::make_unique<Quellix>();
        m->setObjectName("M");
        m->REGISTER();
        // The settings side works; the log is refused with a visible warning.
        QCOMPARE(dir.messages, QStringList{"Create New Settings File."});
        QCOMPARE(fileHash(dir.file("LOG.MDB")), logBefore);
        QVERIFY(catcher.warnings().join('\n').contains("LOG.MDB"));
        QCOMPARE(testsupport::readTable(dir.file("SETTINGS.MDB"), "Settings").size(), 1);
        m->setInputValue(12); // runs on with factory values
        QCOMPARE(m->DisplayValue(), 12.0);
        m.reset(); // its connections close before the files are swapped below

        // A damaged settings file: factory values, nothing replaced.
        store::Connection::closeAll();
        QFile::remove(dir.file("SETTINGS.MDB"));
        {
            QFile f(dir.file("SETTINGS.MDB"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, '\0'));
        }
        QFile::remove(dir.file("LOG.MDB"));
        store::Connection::closeAll();
        const QByteArray settingsBefore = fileHash(dir.file("SETTINGS.MDB"));
        Quellix n;
        n.setObjectName("N");
        n.REGISTER();
        QCOMPARE(fileHash(dir.file("SETTINGS.MDB")), settingsBefore);
        QCOMPARE(n.UpperLimit(), 100.0);
        QVERIFY(n.Enabled());
        // The registration record still reached the (new) log.
        const auto log = testsupport::logRows(dir.path());
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().value("Event").toString(), QStringLiteral("Control Registration For N"));
    }

    void hundredControlsShareOneConnection()
    {
        testsupport::StoreDir dir;
        std::vector<std::unique_ptr<Quellix>> meters;
        for (int i = 0; i < 100; ++i) {
            meters.push_back(std::make_unique<Quellix>());
            meters.back()->setObjectName(QStringLiteral("M%1").arg(i));
            meters.back()->REGISTER();
        }
        QCOMPARE(testsupport::readTable(dir.file("SETTINGS.MDB"), "Settings").size(), 100);
        QCOMPARE(testsupport::logRows(dir.path()).size(), 100);
        // Registering again finds every row; no row is added twice.
        for (auto &m : meters)
            m->REGISTER();
        QCOMPARE(testsupport::readTable(dir.file("SETTINGS.MDB"), "Settings").size(), 100);
        meters[42]->setUpperLimit(142);
        QCOMPARE(testsupport::settingsRow(dir.path(), "M42").value("Upper Limit Value").toInt(), 142);
        QCOMPARE(testsupport::settingsRow(dir.path(), "M41").value("Upper Limit Value").toInt(), 100);
    }
};

QTEST_MAIN(TestRegistration)
#include "tst_registration.moc"
