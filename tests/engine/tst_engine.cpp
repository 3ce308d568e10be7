// The engine on its own, under QCoreApplication: no widget, no face. It
// registers, scales, scans and records exactly as a control does, and asks
// for what a face or a headless host carries out (sounds, prompts, programs).

#include "engine.h"
#include "schema.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace testsupport;
using quellix::Engine;
using quellix::PromptRequest;
using quellix::Range;

namespace {

/// The engine's events in the order raised, each as its name and value.
struct Events
{
    QStringList list;
    explicit Events(Engine *e)
    {
        auto value = [this](const char *name) {
            return [this, name](double v) { list << QStringLiteral("%1 %2").arg(QLatin1String(name)).arg(v); };
        };
        auto plain = [this](const char *name) { return [this, name] { list << QLatin1String(name); }; };
        QObject::connect(e, &Engine::InputChange, e, value("InputChange"));
        QObject::connect(e, &Engine::DisplayChange, e, value("DisplayChange"));
        QObject::connect(e, &Engine::OutputChange, e, value("OutputChange"));
        QObject::connect(e, &Engine::Change, e, plain("Change"));
        QObject::connect(e, &Engine::ReachLowerLimit, e, value("ReachLowerLimit"));
        QObject::connect(e, &Engine::ReachNormalRange, e, value("ReachNormalRange"));
        QObject::connect(e, &Engine::ReachCautionRange, e, value("ReachCautionRange"));
        QObject::connect(e, &Engine::ReachWarningRange, e, value("ReachWarningRange"));
        QObject::connect(e, &Engine::ReachUpperLimit, e, value("ReachUpperLimit"));
        QObject::connect(e, &Engine::HoldOn, e, plain("HoldOn"));
        QObject::connect(e, &Engine::HoldOff, e, plain("HoldOff"));
        QObject::connect(e, &Engine::ScanComplete, e, plain("ScanComplete"));
    }
};

std::unique_ptr<Engine> registeredEngine(const QString &name, const QVariantMap &fields = {})
{
    auto e = std::make_unique<Engine>();
    e->setObjectName(name);
    e->REGISTER();
    for (auto it = fields.begin(); it != fields.end(); ++it)
        setSettingsField(name, quellix::schema::requireField(it.key()), it.value());
    if (!fields.isEmpty())
        e->REGISTER();
    return e;
}

void tick(Engine *e)
{
    QTimer *limits = e->findChild<QTimer *>(QStringLiteral("timer_LIMITS"));
    QVERIFY(limits);
    Q_EMIT limits->timeout({});
}

} // namespace

class TestEngine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void headlessAndFactoryValues();
    void pipelineEventsAndErrors();
    void scanDecidesAndRecords_data();
    void scanDecidesAndRecords();
    void holdResetSaveAndReload();
    void deletedInsideItsEvents();
    void thousandsScanTogether();
};

void TestEngine::headlessAndFactoryValues()
{
    QVERIFY(!QCoreApplication::instance()->inherits("QGuiApplication"));
    StoreDir dir;
    auto e = registeredEngine(QStringLiteral("TT204"));
    QVERIFY(e->registered());
    // The factory row: limits, scaling, direction, scan rate, units.
    QCOMPARE(e->LowerLimit(), 0.0);
    QCOMPARE(e->CautionLimit(), 75.0);
    QCOMPARE(e->WarningLimit(), 90.0);
    QCOMPARE(e->UpperLimit(), 100.0);
    QCOMPARE(e->InputMultiplier(), 1.0);
    QCOMPARE(e->Scanrate(), qint16(500));
    QCOMPARE(e->Units(), QStringLiteral("%"));
    QVERIFY(e->Ascending());
    QCOMPARE(settingsRow(dir.path(), QStringLiteral("TT204")).value(QStringLiteral("Password")),
             QVariant(QStringLiteral("marigold")));
    QCOMPARE(logRowsWhere(dir.path(), QStringLiteral("Event"), QStringLiteral("Control Registration For TT204")).size(),
             1);
    QCOMPARE(e->storeLocation(), dir.path());
    // The scan timer takes the stored rate when the row is loaded.
    e->REGISTER();
    QCOMPARE(e->findChild<QTimer *>(QStringLiteral("timer_LIMITS"))->interval(), 500);
}

void TestEngine::pipelineEventsAndErrors()
{
    StoreDir dir;
    auto e = registeredEngine(QStringLiteral("FT101"));
    e->setInputMultiplier(2);
    e->setOutputOffset(1);
    Events ev(e.get());
    e->setValue(21);
    QCOMPARE(e->DisplayValue(), 42.0);
    QCOMPARE(e->OutputValue(), 43.0);
    // The same events, in the same order and count, as the widget raises.
    QCOMPARE(ev.list, (QStringList{"OutputChange 43", "OutputChange 43", "Change", "DisplayChange 42", "Change",
                                   "InputChange 21", "Change"}));

    // Direct calls throw; setValue() and calls through a connection report.
    QSignalSpy errors(e.get(), &Engine::errorOccurred);
    QVERIFY_THROWS_EXCEPTION(quellix::Error, e->setInputValue(1e308 * 10));
    QVERIFY_THROWS_EXCEPTION(quellix::Error, e->setScanrate(0));
    e->setValue(1e308);
    QCOMPARE(errors.size(), 1);
    QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("InputValue"));
    QTimer sender;
    QObject::connect(&sender, &QTimer::timeout, e.get(), [&] { e->setScanrate(0); });
    Q_EMIT sender.timeout({});
    QCOMPARE(errors.size(), 2);
    QCOMPARE(errors.at(1).at(0).toString(), QStringLiteral("Scanrate"));
    e->setProperty("Scanrate", 250); // by name, as a form's setup does
    QCOMPARE(e->Scanrate(), qint16(250));
}

void TestEngine::scanDecidesAndRecords_data()
{
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("value");
    QTest::addColumn<Range>("range");
    QTest::addColumn<QString>("event");  // of the LIMIT record
    QTest::addColumn<QString>("reach");  // the range event
    QTest::addColumn<bool>("asks");      // prompt, program and sound requested
    QTest::newRow("normal") << 95.0 << 50.0 << Range::Normal << "Normal Range" << "ReachNormalRange 50" << false;
    QTest::newRow("caution") << 50.0 << 80.0 << Range::Caution << "Caution Range" << "ReachCautionRange 80" << true;
    QTest::newRow("warning") << 50.0 << 95.0 << Range::Warning << "Warning Range" << "ReachWarningRange 95" << true;
    QTest::newRow("upper") << 50.0 << 100.0 << Range::Upper << "Upper Limit" << "ReachUpperLimit 100" << true;
    QTest::newRow("lower") << 50.0 << -3.0 << Range::Lower << "Lower Limit" << "ReachLowerLimit -3" << true;
}

void TestEngine::scanDecidesAndRecords()
{
    QFETCH(double, from);
    QFETCH(double, value);
    QFETCH(Range, range);
    QFETCH(QString, event);
    QFETCH(QString, reach);
    QFETCH(bool, asks);
    StoreDir dir;
    const QString name = QStringLiteral("PT7");
    QVariantMap fields;
    for (const char *level : {"Upper", "Warning", "Caution", "Lower", "Normal"})
        fields.insert(QStringLiteral("Log %1 Reaching").arg(QLatin1String(level)), true);
    for (const char *level : {"Upper", "Warning", "Caution", "Lower"}) {
        const QString l = QLatin1String(level);
        fields.insert(QStringLiteral("%1 Alarm Sound").arg(l), true);
        fields.insert(QStringLiteral("%1 Alarm Sound Name").arg(l), QStringLiteral("Klaxon"));
        fields.insert(QStringLiteral("Enable %1 Prompt").arg(l), true);
        fields.insert(QStringLiteral("%1 Prompt Text").arg(l), QStringLiteral("Check %1").arg(l));
        fields.insert(QStringLiteral("Enable %1 Event").arg(l), true);
        fields.insert(QStringLiteral("%1 Event Path").arg(l), QStringLiteral("/bin/true %1").arg(l));
    }
    auto e = registeredEngine(name, fields);
    e->setValue(from);
    tick(e.get());
    QSignalSpy sounds(e.get(), &Engine::alarmSoundRequested);
    QSignalSpy prompts(e.get(), &Engine::promptRequested);
    QSignalSpy programs(e.get(), &Engine::programRequested);
    QSignalSpy ranges(e.get(), &Engine::rangeChanged);
    e->setValue(value);
    Events ev(e.get());
    tick(e.get());
    tick(e.get());

    QCOMPARE(e->currentRange(), range);
    QCOMPARE(ranges.size(), 1);
    // Entered once: one record and one range event over two ticks; a
    // prompt and a program only for a move away from normal.
    QCOMPARE(ev.list, (QStringList{reach, "ScanComplete", "ScanComplete"}));
    const auto records = logRowsWhere(dir.path(), QStringLiteral("Type"), QStringLiteral("LIMIT"));
    QCOMPARE(records.size(), 2); // the range it came from, and this one
    QCOMPARE(records.at(1).value(QStringLiteral("Event")).toString(), event);
    QCOMPARE(records.at(1).value(QStringLiteral("Display Value")).toDouble(), value);
    // The sound is asked for on every tick in an alarm range, the prompt
    // and the program once on entry.
    QCOMPARE(sounds.size(), asks ? 2 : 0);
    QCOMPARE(prompts.size(), asks ? 1 : 0);
    QCOMPARE(programs.size(), asks ? 1 : 0);
    if (asks) {
        QCOMPARE(sounds.at(0).at(0).toString(), QStringLiteral("Klaxon"));
        const auto prompt = prompts.at(0).at(0).value<PromptRequest>();
        QVERIFY(prompt.caption.startsWith(name + QLatin1Char(' ')));
        QVERIFY(prompt.caption.endsWith(QStringLiteral("Reached")));
        QVERIFY(prompt.text.startsWith(QStringLiteral("Check ")));
        QCOMPARE(prompt.displayValue, value);
        QVERIFY(programs.at(0).at(0).toString().startsWith(QStringLiteral("/bin/true ")));
    }
    // Alarm Reset silences the sound until the range changes.
    e->resetAlarm();
    tick(e.get());
    QCOMPARE(sounds.size(), asks ? 2 : 0);
}

void TestEngine::holdResetSaveAndReload()
{
    StoreDir dir;
    const QString name = QStringLiteral("LT3");
    auto e = registeredEngine(name, {{QStringLiteral("Log System Errors"), true},
                                     {QStringLiteral("Log User Actions"), true}});
    e->setValue(10);
    Events ev(e.get());
    e->toggleHold();
    e->setValue(20); // held: the displayed value stays
    QCOMPARE(e->DisplayValue(), 10.0);
    e->toggleHold();
    QCOMPARE(ev.list.first(), QStringLiteral("HoldOn"));
    QVERIFY(ev.list.contains(QStringLiteral("HoldOff")));
    QCOMPARE(logRowsWhere(dir.path(), QStringLiteral("Event"), QStringLiteral("Hold On")).size(), 1);

    // Reload takes a changed row; a missing row leaves the engine as it was.
    setSettingsField(name, quellix::schema::Field::UpperLimitValue, 250);
    QVERIFY(e->reload());
    QCOMPARE(e->UpperLimit(), 250.0);
    Engine stranger;
    stranger.setObjectName(QStringLiteral("Nobody"));
    QVERIFY_THROWS_EXCEPTION(quellix::Error, stranger.reload());

    // The run-time save writes the live values back and records "Shut Down".
    QSignalSpy stops(e.get(), &Engine::alarmSoundStopRequested);
    e->setUnits(QStringLiteral("mbar"));
    e->save();
    QCOMPARE(stops.size(), 1);
    QCOMPARE(settingsRow(dir.path(), name).value(QStringLiteral("Units")).toString(), QStringLiteral("mbar"));
    QCOMPARE(logRowsWhere(dir.path(), QStringLiteral("Event"), QStringLiteral("Shut Down")).size(), 1);
}

void TestEngine::deletedInsideItsEvents()
{
    // A host may delete the engine from any handler: nothing of it is
    // touched afterwards (run under valgrind to see a read of freed memory).
    StoreDir dir;
    const std::vector<std::function<void(Engine *, std::function<void()>)>> hooks = {
        [](Engine *e, auto kill) { QObject::connect(e, &Engine::InputChange, e, kill); },
        [](Engine *e, auto kill) { QObject::connect(e, &Engine::OutputChange, e, kill); },
        [](Engine *e, auto kill) { QObject::connect(e, &Engine::propertyChanged, e, kill); },
        [](Engine *e, auto kill) { QObject::connect(e, &Engine::ReachNormalRange, e, kill); },
        [](Engine *e, auto kill) { QObject::connect(e, &Engine::rangeChanged, e, kill); },
        [](Engine *e, auto kill) { QObject::connect(e, &Engine::HoldOn, e, kill); },
    };
    for (const auto &hook : hooks) {
        Engine *e = registeredEngine(QStringLiteral("DEL")).release();
        QPointer<Engine> alive(e);
        hook(e, [e] { delete e; });
        e->setValue(50);
        if (alive)
            tick(e);
        if (alive)
            e->toggleHold();
        QVERIFY(!alive);
    }
}

void TestEngine::thousandsScanTogether()
{
    // A plant logger runs thousands of engines: ticks that fall due while
    // one engine lets pending events run must not each yield again (one
    // nested event loop per engine overflowed the stack).
    StoreDir dir;
    registeredEngine(QStringLiteral("Meter"), {{QStringLiteral("Scanrate"), 20}});
    std::vector<std::unique_ptr<Engine>> engines;
    int ticks = 0;
    for (int i = 0; i < 10000; ++i) {
        engines.push_back(registeredEngine(QStringLiteral("Meter")));
        QObject::connect(engines.back().get(), &Engine::ScanComplete, [&] { ++ticks; });
    }
    QTest::qWait(300);
    QVERIFY2(ticks >= 10000, qPrintable(QString::number(ticks)));
}

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
