// The operator buttons, the readout formatting and periodic recording.

#include "quellix.h"
#include "recording.h"
#include "testsupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <limits>

using namespace quellix;
using testsupport::EventLog;
using quellix::schema::Field;

namespace {

QPushButton *button(Quellix &m, const char *name) { return m.findChild<QPushButton *>(QLatin1String(name)); }
QLineEdit *box(Quellix &m, const char *name) { return m.findChild<QLineEdit *>(QLatin1String(name)); }
QTimer *dataTimer(Quellix &m) { return m.findChild<QTimer *>(QStringLiteral("timer_DATA")); }
void minuteTick(Quellix &m) { QVERIFY(QMetaObject::invokeMethod(dataTimer(m), "timeout")); }

QVector<QVariantMap> userRecords(const QString &dir) { return testsupport::logRowsWhere(dir, "Type", "USER"); }

int samples(const QString &dir) { return testsupport::readTable(dir + "/LOG.MDB", "DATA").size(); }

// A name longer than the store's Control field: every record of the
// control is then refused by the store.
const QString kUnstorableName(300, QLatin1Char('N'));

} // namespace

class TestButtons : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::StoreDir> dir;
    std::unique_ptr<Quellix> meter;

    Quellix &makeMeter(const testsupport::SettingsFields &fields = {})
    {
        meter.reset();
        dir.reset(); // the old directory restores the message seam as it goes
        dir = std::make_unique<testsupport::StoreDir>();
        meter = testsupport::registeredControl("Pump", fields);
        meter->findChild<QTimer *>("timer_LIMITS")->stop();
        return *meter;
    }

private Q_SLOTS:
    void cleanup()
    {
        meter.reset();
        dir.reset();
    }

    void holdTogglesAndFreezes()
    {
        Quellix &m = makeMeter({{Field::LogUserActions, true}, {Field::HoldIndicatorColor, 255 + 256 * 128}});
        EventLog log(&m);
        QCOMPARE(box(m, "t_ONHOLD")->palette().color(QPalette::Text), QColor(0, 64, 0));

        m.setInputValue(10);
        log.clear();
        button(m, "c_HOLD")->click();
        QVERIFY(m.Onhold());
        QCOMPARE(box(m, "t_ONHOLD")->palette().color(QPalette::Text), QColor(255, 128, 0));
        m.setInputValue(20); // stored, not shown
        QCOMPARE(m.InputValue(), 20.0);
        QCOMPARE(m.DisplayValue(), 10.0);
        QCOMPARE(box(m, "t_READOUT")->text(), QStringLiteral("10.00"));
        button(m, "c_HOLD")->click();
        QVERIFY(!m.Onhold());
        QCOMPARE(box(m, "t_ONHOLD")->palette().color(QPalette::Text), QColor(0, 128, 0));
        QCOMPARE(log.names(), (QStringList{"HoldOn", "Click", "HoldOff", "Click"}));

        const QVector<QVariantMap> records = userRecords(dir->path());
        QCOMPARE(records.size(), 2);
        QCOMPARE(records[0].value("Event").toString(), QStringLiteral("Hold On"));
        QCOMPARE(records[0].value("Hold Status").toBool(), true);
        QCOMPARE(records[1].value("Event").toString(), QStringLiteral("Hold Off"));
        QCOMPARE(records[1].value("Hold Status").toBool(), false);
        QCOMPARE(records[1].value("Input Function").toString(), QStringLiteral("* 1 + 0"));
    }

    void alarmResetMarksTheButton()
    {
        Quellix &m = makeMeter({{Field::LogUserActions, true}});
        EventLog log(&m);
        button(m, "c_RESET")->click();
        QCOMPARE(button(m, "c_RESET")->text(), QStringLiteral("Alarm Reset(RESET)"));
        QCOMPARE(log.names(), QStringList{"Click"});
        QCOMPARE(userRecords(dir->path()).value(0).value("Event").toString(), QStringLiteral("Alarm Reset"));
        // Registration restores the caption.
        m.REGISTER();
        QCOMPARE(button(m, "c_RESET")->text(), QStringLiteral("Alarm Reset"));
    }

    void withoutUserLoggingNothingIsWritten()
    {
        Quellix &m = makeMeter({{Field::LogUserActions, false}});
        EventLog log(&m);
        button(m, "c_HOLD")->click();
        button(m, "c_RESET")->click();
        QCOMPARE(log.names(), (QStringList{"HoldOn", "Click", "Click"}));
        QVERIFY(userRecords(dir->path()).isEmpty());
    }

    void refusedRecordKeepsStateAndEarlierEvents()
    {
        Quellix &m = makeMeter({{Field::LogUserActions, true}});
        m.setObjectName(kUnstorableName);
        EventLog log(&m);
        button(m, "c_HOLD")->click();
        QVERIFY(m.Onhold());
        QCOMPARE(log.names(), QStringList{"HoldOn"}); // the failing record ends the handler
        button(m, "c_RESET")->click();
        QCOMPARE(button(m, "c_RESET")->text(), QStringLiteral("Alarm Reset(RESET)"));
        QVERIFY(userRecords(dir->path()).isEmpty());
    }

    void readoutsAreFormatted()
    {
        Quellix &m = makeMeter();
        QSignalSpy output(&m, &Quellix::OutputChange);
        m.setOutputValue(12.5);
        QCOMPARE(box(m, "t_OUTPUT")->text(), QStringLiteral("12.50"));
        m.setOutputValue(234.567);
        QCOMPARE(box(m, "t_OUTPUT")->text(), QStringLiteral("234.57"));
        m.setOutputValue(-3);
        QCOMPARE(box(m, "t_OUTPUT")->text(), QStringLiteral("-3.00"));
        // The box's own announcement plus the setter's.
        QCOMPARE(output.size(), 6);

        m.setDisplayValue(0.125);
        QCOMPARE(box(m, "t_READOUT")->text(), QStringLiteral("0.13"));
        QVERIFY(box(m, "t_READOUT")->isReadOnly());

        // Typed into the output box: kept as typed until the entry is
        // finished, then shown formatted and announced once.
        output.clear();
        QLineEdit *out = box(m, "t_OUTPUT");
        out->selectAll();
        QTest::keyClicks(out, "7.1");
        QCOMPARE(out->text(), QStringLiteral("7.1"));
        QCOMPARE(output.size(), 0);
        QTest::keyClick(out, Qt::Key_Return);
        QCOMPARE(out->text(), QStringLiteral("7.10"));
        QCOMPARE(output.size(), 1);
        QTest::keyClick(out, Qt::Key_Return); // nothing new typed
        QCOMPARE(output.size(), 1);
    }

    void recordingIntervals()
    {
        QCOMPARE(recordingMinutes("1 Minute"), std::optional<int16_t>(1));
        QCOMPARE(recordingMinutes("30 Minutes"), std::optional<int16_t>(30));
        QCOMPARE(recordingMinutes("1 Hour"), std::optional<int16_t>(60));
        QCOMPARE(recordingMinutes("1 hour"), std::nullopt);
        QCOMPARE(recordingMinutes(" 1 Hour"), std::nullopt);
        QCOMPARE(recordingMinutes("3 Minutes"), std::nullopt);

        // Never applied: the count saturates and nothing is ever due.
        int16_t ticks = std::numeric_limits<int16_t>::max() - 1;
        for (int i = 0; i < 5; ++i)
            QVERIFY(!advanceRecordTicks(ticks, 0));
        QCOMPARE(ticks, std::numeric_limits<int16_t>::max());
    }

    void samplesEveryInterval()
    {
        Quellix &m = makeMeter({{Field::LogDisplayedEvery, true}, {Field::LogEveryTimeInterval, "5 Minutes"}});
        QVERIFY(!box(m, "t_RECORDLITE")->isHidden());
        QVERIFY(dataTimer(m)->isActive());
        QCOMPARE(dataTimer(m)->interval(), 60000);
        m.setInputValue(42);
        for (int i = 0; i < 4; ++i)
            minuteTick(m);
        QCOMPARE(samples(dir->path()), 0);
        minuteTick(m);
        QCOMPARE(samples(dir->path()), 1);
        const QVariantMap sample = testsupport::readTable(dir->file("LOG.MDB"), "DATA").value(0);
        QCOMPARE(sample.value("Control").toString(), QStringLiteral("Pump"));
        QCOMPARE(sample.value("Display Value").toDouble(), 42.0);
        QVERIFY(dataTimer(m)->isActive());

        // Disabled or in design mode, ticks do not count.
        m.setControlEnabled(false);
        for (int i = 0; i < 5; ++i)
            minuteTick(m);
        m.setControlEnabled(true);
        m.setUserMode(false);
        minuteTick(m);
        m.setUserMode(true);
        QCOMPARE(samples(dir->path()), 1);
        for (int i = 0; i < 5; ++i)
            minuteTick(m);
        QCOMPARE(samples(dir->path()), 2);

        // A text that matches no interval keeps the five minutes.
        testsupport::setSettingsField("Pump", Field::LogEveryTimeInterval, "1 hour");
        m.REGISTER();
        for (int i = 0; i < 5; ++i)
            minuteTick(m);
        QCOMPARE(samples(dir->path()), 3);

        // "1 Hour": one sample per 60 ticks.
        testsupport::setSettingsField("Pump", Field::LogEveryTimeInterval, "1 Hour");
        m.REGISTER();
        for (int i = 0; i < 59; ++i)
            minuteTick(m);
        QCOMPARE(samples(dir->path()), 3);
        minuteTick(m);
        QCOMPARE(samples(dir->path()), 4);
    }

    void recordingOffAndFailingSamples()
    {
        Quellix &m = makeMeter({{Field::LogDisplayedEvery, false}, {Field::LogEveryTimeInterval, "1 Minute"}});
        QVERIFY(box(m, "t_RECORDLITE")->isHidden());
        QVERIFY(!dataTimer(m)->isActive());

        // Recording on with an interval never applied: nothing is written.
        Quellix &n = makeMeter({{Field::LogDisplayedEvery, true}, {Field::LogEveryTimeInterval, "often"}});
        for (int i = 0; i < 100; ++i)
            minuteTick(n);
        QCOMPARE(samples(dir->path()), 0);
        QVERIFY(dataTimer(n)->isActive());

        // A sample the store refuses leaves the timer running.
        Quellix &k = makeMeter({{Field::LogDisplayedEvery, true}, {Field::LogEveryTimeInterval, "1 Minute"}});
        k.setObjectName(kUnstorableName);
        minuteTick(k);
        QCOMPARE(samples(dir->path()), 0);
        QVERIFY(dataTimer(k)->isActive());
        k.setObjectName("Pump");
        minuteTick(k);
        QCOMPARE(samples(dir->path()), 1);
    }
};

QTEST_MAIN(TestButtons)
#include "tst_buttons.moc"
