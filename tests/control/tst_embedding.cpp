// The control inside a real Qt host: failures never cross the event loop, a
// host may delete the control from any of its events, and modal windows
// never stall a scan.

#include "alarmsound.h"
#include "quellix.h"
#include "storefiles.h"
#include "testsupport.h"

#include <QApplication>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <functional>
#include <limits>

using namespace quellix;
using quellix::schema::Field;

namespace {

QTimer *scanTimer(Quellix &m) { return m.findChild<QTimer *>(QStringLiteral("timer_LIMITS")); }
template<typename W = QWidget>
W *element(Quellix &m, const char *name) { return m.findChild<W *>(QLatin1String(name)); }

void tick(Quellix &m) { QVERIFY(QMetaObject::invokeMethod(scanTimer(m), "timeout")); }

void postClick(QWidget *w)
{
    const QPointF at(w->width() / 2.0, w->height() / 2.0);
    const QPointF global = w->mapToGlobal(at);
    QCoreApplication::postEvent(
        w, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(
        w, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

// A reading source as hosts have them.
class Sensor : public QObject
{
    Q_OBJECT
Q_SIGNALS:
    void reading(double value);
};

// Deletes the control from whatever signal it is connected to.
class Deleter : public QObject
{
    Q_OBJECT
public:
    QPointer<Quellix> target;
public Q_SLOTS:
    void kill() { delete target.data(); }
};

// A player that runs a host action the first time a sound starts, inside
// the scan tick that starts it.
class ActingPlayer : public SoundPlayer
{
public:
    std::function<void()> onFirstPlay;
    void play(const QByteArray &) override
    {
        if (auto f = std::exchange(onFirstPlay, nullptr))
            f();
    }
    void stop() override {}
};

} // namespace

class TestEmbedding : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::StoreDir> dir;

private Q_SLOTS:
    void init() { dir = std::make_unique<testsupport::StoreDir>(); }
    void cleanup()
    {
        setSoundPlayer(nullptr);
        store::setInformationHandler(nullptr);
        dir.reset();
    }

    // A failing setter reached through a connection is reported and the
    // host goes on; called directly or by name it still throws.
    void failuresThroughConnectionsAreReported()
    {
        auto m = testsupport::registeredControl("Meter1");
        m->setInputValue(10);
        QSignalSpy errors(m.get(), &Quellix::errorOccurred);

        QDoubleSpinBox spin;
        spin.setRange(-1e308, 1e308);
        connect(&spin, &QDoubleSpinBox::valueChanged, m.get(), &Quellix::setInputMultiplier);
        spin.setValue(1e308); // 1e308 × 10 overflows
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).toString(), QStringLiteral("InputMultiplier"));
        QVERIFY(!errors.at(0).at(1).toString().isEmpty());
        // The steps before the failure stay done.
        QCOMPARE(m->InputMultiplier(), 1e308);

        Sensor sensor;
        connect(&sensor, &Sensor::reading, m.get(), &Quellix::setValue, Qt::QueuedConnection);
        connect(&sensor, &Sensor::reading, m.get(), &Quellix::setInputValue, Qt::QueuedConnection);
        spin.setValue(2);
        errors.clear();
        Q_EMIT sensor.reading(std::numeric_limits<double>::quiet_NaN());
        QTRY_COMPARE(errors.count(), 2);
        for (const auto &e : errors)
            QCOMPARE(e.at(0).toString(), QStringLiteral("InputValue"));
        Q_EMIT sensor.reading(4);
        QTRY_COMPARE(m->DisplayValue(), 8.0);
        QCOMPARE(errors.count(), 2);

        QVERIFY_THROWS_EXCEPTION(Error, m->setInputValue(std::nan("")));
        QVERIFY_THROWS_EXCEPTION(Error, m->setProperty("InputMultiplier", 1e308));
        QVERIFY_THROWS_EXCEPTION(Error, m->setScanrate(0));
        QCOMPARE(errors.count(), 2);
    }

    // A host may delete the control from inside any of its events.
    void deletingInsideEveryEvent_data()
    {
        QTest::addColumn<QString>("signal");
        QTest::addColumn<std::function<void(Quellix &)>>("trigger");
        auto value = [](double v) { return [v](Quellix &m) { m.setValue(v); }; };
        auto range = [](double v) {
            return [v](Quellix &m) {
                m.setValue(v);
                tick(m);
            };
        };
        auto clickOn = [](const char *name) {
            return [name](Quellix &m) { QTest::mouseClick(element(m, name), Qt::LeftButton); };
        };
        const std::pair<const char *, std::function<void(Quellix &)>> rows[] = {
            {"Click()", clickOn("t_READOUT")},
            {"DblClick()", [](Quellix &m) { QTest::mouseDClick(element(m, "t_READOUT"), Qt::LeftButton); }},
            {"Show()", [](Quellix &m) { m.hide(); QCoreApplication::processEvents(); m.show(); }},
            {"Hide()", [](Quellix &m) { m.hide(); }},
            {"MouseMove(qint16,qint16,float,float)",
             [](Quellix &m) {
                 QWidget *border = element(m, "i_BORDER");
                 QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), border->mapToGlobal(QPointF(3, 3)),
                                  Qt::NoButton, Qt::NoButton, Qt::NoModifier);
                 QApplication::sendEvent(border, &move);
             }},
            {"ScanComplete()", [](Quellix &m) { tick(m); }},
            {"Change()", value(5)},
            {"Resize()", [](Quellix &m) { m.resize(m.width() + 40, m.height() + 40); }},
            {"InputChange(double)", value(5)},
            {"DisplayChange(double)", value(5)},
            {"OutputChange(double)", value(5)},
            {"ReachLowerLimit(double)", range(-5)},
            {"ReachNormalRange(double)", range(50)},
            {"ReachCautionRange(double)", range(80)},
            {"ReachWarningRange(double)", range(95)},
            {"ReachUpperLimit(double)", range(120)},
            {"HoldOn()", clickOn("c_HOLD")},
            {"HoldOff()", [](Quellix &m) { element<QPushButton>(m, "c_HOLD")->click(); }},
            {"propertyChanged(QString)", [](Quellix &m) { m.setUnits(QStringLiteral("kPa")); }},
            {"rangeChanged(quellix::Range)", range(95)},
        };
        for (const auto &[signal, trigger] : rows)
            QTest::newRow(signal) << QString::fromLatin1(signal) << trigger;
    }

    void deletingInsideEveryEvent()
    {
        QFETCH(QString, signal);
        QFETCH(std::function<void(Quellix &)>, trigger);
        QWidget panel;
        panel.resize(400, 400);
        auto *m = new Quellix(&panel);
        m->setObjectName(QStringLiteral("Meter1"));
        m->REGISTER();
        testsupport::setSettingsField("Meter1", Field::LogUserActions, true);
        testsupport::setSettingsField("Meter1", Field::LogSystemErrors, true);
        m->REGISTER();
        m->resize(176, 176);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        if (signal == QLatin1String("HoldOff()"))
            element<QPushButton>(*m, "c_HOLD")->click();
        QCoreApplication::processEvents();

        Deleter deleter;
        deleter.target = m;
        const int index = m->metaObject()->indexOfSignal(QMetaObject::normalizedSignature(qPrintable(signal)));
        QVERIFY2(index >= 0, qPrintable(signal));
        QVERIFY(connect(m, m->metaObject()->method(index), &deleter,
                        deleter.metaObject()->method(deleter.metaObject()->indexOfSlot("kill()"))));
        trigger(*m);
        QTRY_VERIFY(deleter.target.isNull());
        // Whatever was queued for the control goes quietly.
        QTest::qWait(20);
        QVERIFY(panel.findChildren<Quellix *>().isEmpty());
    }

    // The operator answers a stand-by message after the host deleted the
    // control that showed it.
    void deletedWhileStandByMessageOpen()
    {
        store::setInformationHandler(nullptr); // the real modal message box
        QPointer<Quellix> m = new Quellix;
        m->setObjectName(QStringLiteral("Meter1"));
        int answered = 0;
        QTimer operatorAndHost;
        operatorAndHost.setInterval(50);
        connect(&operatorAndHost, &QTimer::timeout, [&] {
            if (m) {
                delete m.data();
                return;
            }
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                ++answered;
                box->accept();
            }
        });
        operatorAndHost.start();
        m->REGISTER();
        operatorAndHost.stop();
        QVERIFY(m.isNull());
        QCOMPARE(answered, 1); // registration ended with the control: no second message
        QVERIFY(QFile::exists(dir->file("SETTINGS.MDB")));
    }

    // A modal window opened from a face button inside a scan tick leaves
    // every control's scan running, the opener's included.
    void modalWindowKeepsEveryScanRunning()
    {
        QWidget panel;
        panel.resize(400, 200);
        const testsupport::SettingsFields fields{
            {Field::Scanrate, 40}, {Field::WarningAlarmSound, true}, {Field::WarningAlarmSoundName, "BEEP"}};
        auto a = testsupport::registeredControl("MeterA", fields);
        auto b = testsupport::registeredControl("MeterB", {{Field::Scanrate, 40}});
        a->setParent(&panel);
        b->setParent(&panel);
        b->move(200, 0);
        a->setValue(95); // the warning range sounds on every tick
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));

        int ticksA = 0, ticksB = 0;
        connect(a.get(), &Quellix::ScanComplete, [&] { ++ticksA; });
        connect(b.get(), &Quellix::ScanComplete, [&] { ++ticksB; });
        // The operator's click arrives while the sound start lets events run.
        auto player = std::make_unique<ActingPlayer>();
        player->onFirstPlay = [&] { postClick(element(*a, "c_HOLD")); };
        setSoundPlayer(std::move(player));

        int duringA = -1, duringB = -1;
        connect(a.get(), &Quellix::Click, [&] {
            QDialog window(&panel);
            window.setModal(true);
            const int a0 = ticksA, b0 = ticksB;
            QTimer::singleShot(600, &window, &QDialog::accept);
            window.exec();
            duringA = ticksA - a0;
            duringB = ticksB - b0;
        });
        QTRY_VERIFY_WITH_TIMEOUT(duringA >= 0, 5000);
        // 600 ms at 40 ms: about 15 ticks each; a stalled scan has none.
        QVERIFY2(duringA >= 8, qPrintable(QString::number(duringA)));
        QVERIFY2(duringB >= 8, qPrintable(QString::number(duringB)));
        a.reset();
        b.reset();
    }

    // Only a registered control in run mode lets pending events run from
    // its tick.
    void tickYieldsOnlyWhenItScans_data()
    {
        QTest::addColumn<bool>("registered");
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("yields");
        QTest::newRow("registered, running") << true << true << true;
        QTest::newRow("registered, design mode") << true << false << false;
        QTest::newRow("not registered") << false << true << false;
    }

    void tickYieldsOnlyWhenItScans()
    {
        QFETCH(bool, registered);
        QFETCH(bool, running);
        QFETCH(bool, yields);
        Quellix m;
        m.setObjectName(QStringLiteral("Meter1"));
        if (registered)
            m.REGISTER();
        m.setUserMode(running);
        bool ran = false;
        QMetaObject::invokeMethod(&m, [&] { ran = true; }, Qt::QueuedConnection);
        tick(m);
        QCOMPARE(ran, yields);
        QCoreApplication::processEvents();
        QVERIFY(ran);
    }

    // A stored rate that stops the scan, written by another program, is
    // told to the host rather than left to look like a quiet plant.
    void storedRateThatStopsTheScanIsReported()
    {
        auto m = testsupport::registeredControl("Meter1");
        QSignalSpy errors(m.get(), &Quellix::errorOccurred);
        testsupport::setSettingsField("Meter1", Field::Scanrate, 0);
        m->REGISTER();
        QVERIFY(!scanTimer(*m)->isActive());
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(errors.first().first().toString(), QStringLiteral("Scanrate"));
        testsupport::setSettingsField("Meter1", Field::Scanrate, 250);
        m->REGISTER();
        QVERIFY(scanTimer(*m)->isActive());
        QTest::qWait(10);
        QCOMPARE(errors.count(), 1);
    }

    // Registration shows "0.00" in the output box and says so; a hold it
    // releases shows released.
    void registrationFaceDetails()
    {
        auto m = testsupport::registeredControl("Meter1");
        m->setValue(7);
        element<QPushButton>(*m, "c_HOLD")->click();
        QVERIFY(m->Onhold());
        QSignalSpy outputs(m.get(), &Quellix::OutputChange);
        m->REGISTER();
        QVERIFY(!m->Onhold());
        QCOMPARE(element<QLineEdit>(*m, "t_OUTPUT")->text(), QStringLiteral("0.00"));
        QVERIFY(!outputs.isEmpty());
        QCOMPARE(outputs.first().first().toDouble(), m->OutputValue());
        QCOMPARE(element<QLineEdit>(*m, "t_ONHOLD")->palette().color(QPalette::Text), QColor(0, 128, 0));
    }
};

QTEST_MAIN(TestEmbedding)
#include "tst_embedding.moc"
