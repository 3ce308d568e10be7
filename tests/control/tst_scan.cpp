// The scan cycle: classification, the entry rules of both directions, and
// what a scan tick does to the face, the store, the sound, the prompt and
// the host.

#include "alarmprompt.h"
#include "alarmsound.h"
#include "quellix.h"
#include "scan.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <limits>

using namespace quellix;
using namespace quellix::scan;
using testsupport::EventLog;
using quellix::schema::Field;

Q_DECLARE_METATYPE(quellix::Range)

namespace {

const Range kRanges[] = {Range::Lower, Range::Upper, Range::Normal, Range::Warning, Range::Caution};

QTimer *timer(Quellix &m, const char *name) { return m.findChild<QTimer *>(QLatin1String(name)); }
QLineEdit *box(Quellix &m, const char *name) { return m.findChild<QLineEdit *>(QLatin1String(name)); }
QColor background(Quellix &m, const char *name) { return box(m, name)->palette().color(QPalette::Base); }

void tick(Quellix &m) { QVERIFY(QMetaObject::invokeMethod(timer(m, "timer_LIMITS"), "timeout")); }
void flash(Quellix &m, const char *t) { QVERIFY(QMetaObject::invokeMethod(timer(m, t), "timeout")); }

const QColor normalDim(0, 128, 0), normalLit(0, 255, 0);
const QColor cautionDim(128, 128, 0), cautionLit(255, 255, 0);
const QColor warningDim(128, 0, 0), warningLit(255, 0, 0);

class RecordingPlayer : public SoundPlayer
{
public:
    explicit RecordingPlayer(QStringList *log) : m_log(log) {}
    void play(const QByteArray &wave) override { m_log->append(QString::number(wave.size())); }
    void stop() override { m_log->append(QStringLiteral("stop")); }

private:
    QStringList *m_log;
};

QStringList limitEvents(const QString &dir)
{
    QStringList out;
    for (const QVariantMap &r : testsupport::logRowsWhere(dir, "Type", "LIMIT"))
        out << r.value("Event").toString();
    return out;
}

QStringList rangeEvents(const EventLog &log)
{
    QStringList out;
    for (const QString &e : log.names())
        if (e.startsWith(QLatin1String("Reach")))
            out << e;
    return out;
}

} // namespace

class TestScan : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::StoreDir> dir;
    std::unique_ptr<Quellix> meter;
    QStringList sounds;

    // A registered control "Tank" with the given settings fields applied
    // (limits 0 / 75 / 90 / 100 ascending unless the fields say otherwise).
    // The scan timer is stopped so only the test's ticks run.
    Quellix &makeMeter(const testsupport::SettingsFields &fields = {})
    {
        meter.reset();
        dir.reset(); // the old directory restores the message seam as it goes
        dir = std::make_unique<testsupport::StoreDir>();
        meter = testsupport::registeredControl("Tank", fields);
        for (QTimer *t : meter->findChildren<QTimer *>())
            t->stop();
        return *meter;
    }

    static testsupport::SettingsFields allLogging()
    {
        return {{Field::LogUpperReaching, true}, {Field::LogWarningReaching, true}, {Field::LogCautionReaching, true},
                {Field::LogNormalReaching, true}, {Field::LogLowerReaching, true}};
    }

private Q_SLOTS:
    void init()
    {
        sounds.clear();
        setSoundPlayer(std::make_unique<RecordingPlayer>(&sounds));
    }
    void cleanup()
    {
        meter.reset();
        destroyAlarmPrompt();
        dir.reset();
        setSoundPlayer(nullptr);
    }

    // ---- pure rules ------------------------------------------------------

    void classification_data()
    {
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<double>("value");
        QTest::addColumn<Range>("range");
        // ascending 0 / 75 / 90 / 100
        QTest::newRow("asc at lower") << true << 0.0 << Range::Lower;
        QTest::newRow("asc below lower") << true << -5.0 << Range::Lower;
        QTest::newRow("asc normal") << true << 50.0 << Range::Normal;
        QTest::newRow("asc at caution") << true << 75.0 << Range::Caution;
        QTest::newRow("asc just below warning") << true << 89.9 << Range::Caution;
        QTest::newRow("asc at warning") << true << 90.0 << Range::Warning;
        QTest::newRow("asc at upper") << true << 100.0 << Range::Upper;
        // descending 0 / 50 / 20 / 100
        QTest::newRow("desc normal") << false << 60.0 << Range::Normal;
        QTest::newRow("desc at caution") << false << 50.0 << Range::Caution;
        QTest::newRow("desc at warning") << false << 20.0 << Range::Warning;
        QTest::newRow("desc below warning") << false << 10.0 << Range::Warning;
        QTest::newRow("desc at lower") << false << 0.0 << Range::Lower;
        QTest::newRow("desc at upper") << false << 100.0 << Range::Upper;
    }
    void classification()
    {
        QFETCH(bool, ascending);
        QFETCH(double, value);
        QFETCH(Range, range);
        const Limits l = ascending ? Limits{0, 75, 90, 100} : Limits{0, 50, 20, 100};
        QCOMPARE(classify(value, l, ascending), range);
    }

    void classificationWithoutSenseOrNumber()
    {
        // Lower above upper: the lower test wins over everything.
        QCOMPARE(classify(50, Limits{60, 75, 90, 40}, true), Range::Lower);
        QCOMPARE(classify(70, Limits{60, 75, 90, 40}, true), Range::Upper);
        // Caution above warning, ascending: the normal test comes first.
        QCOMPARE(classify(80, Limits{0, 95, 70, 100}, true), Range::Normal);
        QCOMPARE(classify(96, Limits{0, 95, 70, 100}, true), Range::Warning);
        // Not a number fails every comparison; infinities reach the limits.
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        QCOMPARE(classify(nan, Limits{0, 75, 90, 100}, true), Range::Caution);
        QCOMPARE(classify(nan, Limits{0, 50, 20, 100}, false), Range::Caution);
        QCOMPARE(classify(inf, Limits{0, 75, 90, 100}, true), Range::Upper);
        QCOMPARE(classify(-inf, Limits{0, 75, 90, 100}, true), Range::Lower);

        QVERIFY(limitsUnset(Limits{0, 0, 90, 100}));
        QVERIFY(limitsUnset(Limits{0, 75, 0, 100}));
        QVERIFY(limitsUnset(Limits{0, -0.0, 90, 100}));
        QVERIFY(!limitsUnset(Limits{0, 1e-300, 90, 100}));
    }

    void entryTablesCellByCell()
    {
        // Rows: range entered before (none, lower, upper, normal, warning,
        // caution); columns: lower, upper, normal, warning, caution.
        // S = stay, F = full, L = log and event only.
        const Range from[] = {Range::None, Range::Lower, Range::Upper, Range::Normal, Range::Warning, Range::Caution};
        const char *ascending[] = {"FFLLL", "SFLFF", "FSLLL", "FFSFF", "FFLSL", "FFLFS"};
        const char *descending[] = {"FFLLL", "SFLLL", "FSLFF", "FFSFF", "FFLSL", "FFLFS"};
        for (bool asc : {true, false}) {
            const char **table = asc ? ascending : descending;
            for (int row = 0; row < 6; ++row) {
                for (int col = 0; col < 5; ++col) {
                    const char want = table[row][col];
                    const Entry expected = want == 'S' ? Entry::Stay : want == 'F' ? Entry::Full : Entry::LogEvent;
                    const Entry got = entryFrom(from[row], kRanges[col], asc);
                    QVERIFY2(got == expected, qPrintable(QStringLiteral("%1: %2 -> %3")
                                                             .arg(asc ? "ascending" : "descending",
                                                                  rangeText(from[row]), rangeText(kRanges[col]))));
                }
            }
        }
    }

    void tickPlans()
    {
        ControlState s;
        for (LimitAlarm &a : s.alarms)
            a.light = a.sound = true;

        // The lower end blinks the flasher on its side and stops the other.
        TickPlan p = planTick(Range::Lower, Range::Normal, true, s);
        QVERIFY(p.clearAlarmReset && p.stopWarningFlasher && !p.stopNormalFlasher);
        QCOMPARE(p.startFlasher, Flasher::Normal);
        QVERIFY(!p.normalLit && !p.cautionLit && !p.warningLit && p.playSound);
        p = planTick(Range::Lower, Range::Lower, false, s);
        QVERIFY(!p.clearAlarmReset && p.stopNormalFlasher && !p.stopWarningFlasher);
        QCOMPARE(p.startFlasher, Flasher::Warning);
        p = planTick(Range::Upper, Range::Upper, true, s);
        QVERIFY(p.stopNormalFlasher && !p.stopWarningFlasher);
        QCOMPARE(p.startFlasher, Flasher::Warning);
        p = planTick(Range::Upper, Range::Warning, false, s);
        QVERIFY(p.clearAlarmReset && p.stopWarningFlasher && !p.stopNormalFlasher);
        QCOMPARE(p.startFlasher, Flasher::Normal);

        // Normal clears an alarm reset on every tick and never sounds.
        p = planTick(Range::Normal, Range::Normal, true, s);
        QVERIFY(p.clearAlarmReset && p.normalLit && !p.playSound);
        QVERIFY(p.stopNormalFlasher && p.stopWarningFlasher);
        QCOMPARE(p.startFlasher, Flasher::None);

        p = planTick(Range::Warning, Range::Warning, true, s);
        QVERIFY(!p.clearAlarmReset && p.warningLit && !p.cautionLit && p.playSound);
        p = planTick(Range::Caution, Range::Warning, true, s);
        QVERIFY(p.clearAlarmReset && p.cautionLit && !p.warningLit);

        // Lights and sounds off: all dim, no flasher, silence.
        for (LimitAlarm &a : s.alarms)
            a.light = a.sound = false;
        for (Range r : kRanges) {
            p = planTick(r, r, true, s);
            QCOMPARE(p.startFlasher, Flasher::None);
            QVERIFY(!p.cautionLit && !p.warningLit && !p.playSound);
        }
    }

    // ---- the control -----------------------------------------------------

    void gatesOfTheTick()
    {
        Quellix &m = makeMeter(allLogging());
        EventLog log(&m);
        m.setInputValue(95);
        log.clear();

        m.setControlEnabled(false);
        tick(m);
        m.setControlEnabled(true);
        m.setUserMode(false);
        tick(m);
        QVERIFY2(log.names().isEmpty(), qPrintable(log.events.join(", ")));
        QVERIFY(limitEvents(dir->path()).isEmpty());

        // Bookkeeping untouched by the skipped ticks: the first evaluated
        // tick is the entry.
        m.setUserMode(true);
        tick(m);
        QCOMPARE(log.names(), (QStringList{"ReachWarningRange", "ScanComplete"}));
    }

    void zeroLimitOnlyDimsTheIndicators()
    {
        Quellix &m = makeMeter(allLogging());
        m.setInputValue(-10); // lower range, its light flashing
        tick(m);
        QVERIFY(timer(m, "timer_NORMAL")->isActive());
        flash(m, "timer_NORMAL");
        QCOMPARE(background(m, "t_NORMAL"), normalLit);

        EventLog log(&m);
        const int records = limitEvents(dir->path()).size();
        m.setCautionLimit(0);
        log.clear();
        m.setInputValue(50);
        log.clear();
        tick(m);
        QCOMPARE(log.names(), QStringList{"ScanComplete"});
        QVERIFY(!timer(m, "timer_NORMAL")->isActive() && !timer(m, "timer_WARNING")->isActive());
        QCOMPARE(background(m, "t_NORMAL"), normalDim);
        QCOMPARE(background(m, "t_CAUTION"), cautionDim);
        QCOMPARE(background(m, "t_WARNING"), warningDim);
        QCOMPARE(limitEvents(dir->path()).size(), records);

        // With the limit back, the control still stands in lower: the move
        // to normal is an entry, as nothing was booked meanwhile.
        m.setCautionLimit(75);
        log.clear();
        tick(m);
        QCOMPARE(rangeEvents(log), QStringList{"ReachNormalRange"});
    }

    void entriesFromNormalToUpperAndBack()
    {
        testsupport::SettingsFields fields = allLogging();
        fields.append(testsupport::SettingsFields{{Field::EnableWarningPrompt, true}, {Field::WarningPromptText, "Check the pump"},
                       {Field::EnableUpperPrompt, true}, {Field::UpperPromptText, "Stop the feed"}});
        Quellix &m = makeMeter(fields);
        EventLog log(&m);

        for (double v : {50.0, 50.0, 95.0, 96.0, 120.0, 92.0, 60.0}) {
            m.setInputValue(v);
            tick(m);
        }
        QCOMPARE(rangeEvents(log), (QStringList{"ReachNormalRange", "ReachWarningRange", "ReachUpperLimit",
                                                "ReachWarningRange", "ReachNormalRange"}));
        QCOMPARE(log.names().count("ScanComplete"), 7);
        QCOMPARE(limitEvents(dir->path()), (QStringList{"Normal Range", "Warning Range", "Upper Limit",
                                                        "Warning Range", "Normal Range"}));
        // The range event carries the value it was entered with.
        QVERIFY(log.events.contains("ReachWarningRange 95"));
        QVERIFY(log.events.contains("ReachUpperLimit 120"));

        // The prompt came for the first warning and for upper; the second
        // warning (back from upper) gave none, so upper's caption stays.
        QWidget *prompt = alarmPromptWindow();
        QVERIFY(prompt);
        QCOMPARE(prompt->windowTitle(), QStringLiteral("Tank Upper Limit Reached"));
        QCOMPARE(promptSnapshot().displayValue, 120.0);

        // Limit records carry the plain function texts and the tick's values.
        QVariantMap upper;
        for (const QVariantMap &r : testsupport::logRows(dir->path()))
            if (r.value("Event") == "Upper Limit")
                upper = r;
        QCOMPARE(upper.value("Type").toString(), QStringLiteral("LIMIT"));
        QCOMPARE(upper.value("Control").toString(), QStringLiteral("Tank"));
        QCOMPARE(upper.value("Input Function").toString(), QStringLiteral("*1 +0"));
        QCOMPARE(upper.value("Output Function").toString(), QStringLiteral("*1 +0"));
        QCOMPARE(upper.value("Display Value").toDouble(), 120.0);
    }

    void startInsideAnAlarmBandGivesNoPrompt()
    {
        testsupport::SettingsFields fields = allLogging();
        fields.append(testsupport::SettingsFields{{Field::EnableCautionPrompt, true}, {Field::CautionPromptText, "x"}});
        Quellix &m = makeMeter(fields);
        EventLog log(&m);
        m.setInputValue(80);
        tick(m);
        QCOMPARE(rangeEvents(log), QStringList{"ReachCautionRange"});
        QCOMPARE(limitEvents(dir->path()), QStringList{"Caution Range"});
        QVERIFY(!alarmPromptWindow());
    }

    void soundRepeatsUntilAlarmReset()
    {
        Quellix &m = makeMeter({{Field::WarningAlarmSound, true}, {Field::WarningAlarmSoundName, "BEEP"}});
        auto *reset = m.findChild<QPushButton *>("c_RESET");
        m.setInputValue(95);
        tick(m);
        tick(m);
        const QString beep = QString::number(loadAlarmSound("BEEP").size());
        QCOMPARE(sounds, (QStringList{beep, beep})); // BEEP's image, once a tick

        reset->click();
        QCOMPARE(reset->text(), QStringLiteral("Alarm Reset(RESET)"));
        tick(m);
        tick(m);
        QCOMPARE(sounds.size(), 2);
        QCOMPARE(reset->text(), QStringLiteral("Alarm Reset(RESET)"));

        // A change of range clears the reset; back in warning it sounds again.
        m.setInputValue(80);
        tick(m);
        QCOMPARE(reset->text(), QStringLiteral("Alarm Reset"));
        m.setInputValue(95);
        tick(m);
        QCOMPARE(sounds.size(), 3);

        // Reset in the normal range is undone by the next tick.
        m.setInputValue(10);
        tick(m);
        reset->click();
        tick(m);
        QCOMPARE(reset->text(), QStringLiteral("Alarm Reset"));
    }

    void indicatorsAndFlashers()
    {
        Quellix &m = makeMeter();
        m.setInputValue(50);
        tick(m);
        QCOMPARE(background(m, "t_NORMAL"), normalLit);
        QCOMPARE(background(m, "t_CAUTION"), cautionDim);
        QCOMPARE(background(m, "t_WARNING"), warningDim);

        m.setInputValue(80);
        tick(m);
        QCOMPARE(background(m, "t_NORMAL"), normalDim);
        QCOMPARE(background(m, "t_CAUTION"), cautionLit);
        m.setInputValue(95);
        tick(m);
        QCOMPARE(background(m, "t_CAUTION"), cautionDim);
        QCOMPARE(background(m, "t_WARNING"), warningLit);
        QVERIFY(!timer(m, "timer_NORMAL")->isActive() && !timer(m, "timer_WARNING")->isActive());

        // Lower, ascending: t_NORMAL blinks; each scan tick pulls it back to dim.
        m.setInputValue(-1);
        tick(m);
        QVERIFY(timer(m, "timer_NORMAL")->isActive());
        QVERIFY(!timer(m, "timer_WARNING")->isActive());
        QCOMPARE(timer(m, "timer_NORMAL")->interval(), 250);
        QCOMPARE(background(m, "t_NORMAL"), normalDim);
        flash(m, "timer_NORMAL");
        QCOMPARE(background(m, "t_NORMAL"), normalLit);
        flash(m, "timer_NORMAL");
        QCOMPARE(background(m, "t_NORMAL"), normalDim);
        flash(m, "timer_NORMAL");
        tick(m);
        QCOMPARE(background(m, "t_NORMAL"), normalDim);
        QCOMPARE(background(m, "t_WARNING"), warningDim);

        // Upper, ascending: t_WARNING blinks and t_NORMAL's flasher stops.
        m.setInputValue(150);
        tick(m);
        QVERIFY(!timer(m, "timer_NORMAL")->isActive());
        QVERIFY(timer(m, "timer_WARNING")->isActive());
        flash(m, "timer_WARNING");
        QCOMPARE(background(m, "t_WARNING"), warningLit);

        // A flash tick in design mode dims, with the control disabled does nothing.
        m.setUserMode(false);
        flash(m, "timer_WARNING");
        QCOMPARE(background(m, "t_WARNING"), warningDim);
        m.setUserMode(true);
        flash(m, "timer_WARNING");
        m.setControlEnabled(false);
        flash(m, "timer_WARNING");
        QCOMPARE(background(m, "t_WARNING"), warningLit);
        m.setControlEnabled(true);

        // Back to normal stops both.
        m.setInputValue(50);
        tick(m);
        QVERIFY(!timer(m, "timer_NORMAL")->isActive() && !timer(m, "timer_WARNING")->isActive());
    }

    void descendingFlashesTheOtherSide()
    {
        Quellix &m = makeMeter({{Field::Direction, "Descending"}, {Field::CautionLimitValue, 50}, {Field::WarningLimitValue, 20}});
        QVERIFY(!m.Ascending());
        EventLog log(&m);
        for (double v : {60.0, 50.0, 10.0, 0.0})
            m.setInputValue(v), tick(m);
        QCOMPARE(rangeEvents(log), (QStringList{"ReachNormalRange", "ReachCautionRange", "ReachWarningRange",
                                                "ReachLowerLimit"}));
        QVERIFY(timer(m, "timer_WARNING")->isActive());
        QVERIFY(!timer(m, "timer_NORMAL")->isActive());
        m.setInputValue(100);
        tick(m);
        QVERIFY(timer(m, "timer_NORMAL")->isActive());
        QVERIFY(!timer(m, "timer_WARNING")->isActive());
    }

    void holdKeepsEvaluatingTheFrozenValue()
    {
        Quellix &m = makeMeter();
        EventLog log(&m);
        m.setInputValue(95);
        m.findChild<QPushButton *>("c_HOLD")->click();
        m.setInputValue(10);
        tick(m);
        QCOMPARE(rangeEvents(log), QStringList{"ReachWarningRange"});
        QVERIFY(log.events.contains("ReachWarningRange 95"));
    }

    void badAlarmSettingsNeverStopTheScan()
    {
        testsupport::SettingsFields fields = allLogging();
        fields.append(testsupport::SettingsFields{{Field::UpperAlarmSound, true}, {Field::UpperAlarmSoundName, "NO SUCH SOUND"},
                       {Field::EnableUpperPrompt, true}, {Field::UpperPromptText, ""},
                       {Field::EnableUpperEvent, true}, {Field::UpperEventPath, "/nonexistent/program --flag"},
                       {Field::WarningAlarmSound, true}, {Field::WarningAlarmSoundName, ""},
                       {Field::EnableWarningEvent, true}, {Field::WarningEventPath, ""}});
        Quellix &m = makeMeter(fields);
        EventLog log(&m);
        m.setInputValue(50);
        tick(m);
        m.setInputValue(95);
        tick(m);
        m.setInputValue(200);
        tick(m);
        QCOMPARE(rangeEvents(log), (QStringList{"ReachNormalRange", "ReachWarningRange", "ReachUpperLimit"}));
        QCOMPARE(log.names().count("ScanComplete"), 3);
        QVERIFY(sounds.isEmpty());
        // The empty prompt is shown all the same.
        QVERIFY(alarmPromptWindow() && alarmPromptWindow()->isVisible());
        QCOMPARE(alarmPromptWindow()->windowTitle(), QStringLiteral("Tank Upper Limit Reached"));

        // A value that is not a number (written straight into the display)
        // classifies as caution, and the tick completes.
        log.clear();
        try {
            m.setDisplayValue(std::numeric_limits<double>::quiet_NaN());
        } catch (const std::exception &) {
            // the output recompute refuses NaN; the display keeps it
        }
        QVERIFY(std::isnan(m.DisplayValue()));
        tick(m);
        QCOMPARE(rangeEvents(log), QStringList{"ReachCautionRange"});
        QVERIFY(log.names().endsWith("ScanComplete"));

        // A log store that has gone loses the record only.
        QVERIFY(QFile::remove(dir->file("LOG.MDB")));
        log.clear();
        m.setInputValue(50);
        tick(m);
        QCOMPARE(rangeEvents(log), QStringList{"ReachNormalRange"});
    }

    void eventProgramStartsOnEntry()
    {
        // A small program that leaves a file with its arguments behind.
        QTemporaryDir bin;
        const QString marker = bin.filePath("ran.txt");
        const QString script = bin.filePath("on alarm.sh");
        {
            QFile f(script);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("#!/bin/sh\necho \"$@\" >> \"" + marker.toUtf8() + "\"\n");
        }
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        Quellix &m = makeMeter({{Field::EnableLowerEvent, true},
                                {Field::LowerEventPath, QStringLiteral("\"%1\" low; touch %2/injected").arg(script, bin.path())}});
        m.setInputValue(50);
        tick(m);
        m.setInputValue(-3);
        tick(m);
        tick(m); // staying starts nothing more
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 5000);
        QTest::qWait(300);
        QFile f(marker);
        QVERIFY(f.open(QIODevice::ReadOnly));
        // The shell characters reached the program as plain arguments.
        QCOMPARE(QString::fromUtf8(f.readAll()),
                 QStringLiteral("low; touch %1/injected\n").arg(bin.path()));
        QVERIFY(!QFile::exists(bin.filePath("injected")));
    }

    void steadyRangeRepaintsNothing()
    {
        Quellix &m = makeMeter(allLogging());
        m.resize(176, 176);
        m.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        m.setInputValue(95);
        tick(m);
        QTest::qWait(50);

        struct PaintCounter : QObject
        {
            int paints = 0;
            bool eventFilter(QObject *, QEvent *e) override
            {
                if (e->type() == QEvent::Paint || e->type() == QEvent::UpdateRequest)
                    ++paints;
                return false;
            }
        } counter;
        m.installEventFilter(&counter);
        for (QWidget *w : m.findChildren<QWidget *>())
            w->installEventFilter(&counter);

        EventLog log(&m);
        for (int i = 0; i < 5; ++i)
            tick(m);
        QTest::qWait(50);
        QCOMPARE(log.names().count("ScanComplete"), 5);
        QCOMPARE(counter.paints, 0);

        // The counter does see a change of range.
        m.setInputValue(50);
        tick(m);
        QTest::qWait(50);
        QVERIFY(counter.paints > 0);
    }
};

QTEST_MAIN(TestScan)
#include "tst_scan.moc"
