// The control object: its programming interface, the value pipeline and
// what every property setter does.

#include "quellix.h"
#include "error.h"
#include "testsupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <limits>

using namespace quellix;
using testsupport::EventLog;
using quellix::schema::Field;

namespace {

QString boxText(Quellix &m, const char *name)
{
    auto *box = m.findChild<QLineEdit *>(QLatin1String(name));
    return box ? box->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

QVector<QVariantMap> userRecords(const QString &dir) { return testsupport::logRowsWhere(dir, "Type", "USER"); }

Error::Kind errorKind(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const Error &e) {
        return e.kind();
    }
    QTest::qFail("no error was raised", __FILE__, __LINE__);
    return Error::Kind::NotFound;
}

} // namespace

class TestPipeline : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::StoreDir> dir;
    std::unique_ptr<Quellix> meter;

    // A registered control named Meter1; logUserActions says whether the
    // "Log User Actions" switch of its row is on.
    void makeMeter(bool logUserActions)
    {
        meter.reset();
        dir = std::make_unique<testsupport::StoreDir>();
        meter = std::make_unique<Quellix>();
        meter->setObjectName("Meter1");
        meter->REGISTER();
        if (logUserActions) {
            testsupport::setSettingsField("Meter1", Field::LogUserActions, true);
            meter->REGISTER();
        }
    }

private Q_SLOTS:
    void cleanup()
    {
        meter.reset();
        dir.reset();
    }

    void interfaceByName()
    {
        Quellix m;
        const QMetaObject *mo = m.metaObject();
        const QStringList expected{"AutoRedraw", "Enabled", "InputMultiplier", "InputOffset", "OutputMultiplier",
                                   "OutputOffset", "DisplayValue", "Units", "OutputValue", "InputValue",
                                   "CautionLimit", "WarningLimit", "LowerLimit", "UpperLimit", "Ascending",
                                   "Password", "Scanrate", "Range"};
        QStringList props;
        for (int i = mo->propertyOffset(); i < mo->propertyCount(); ++i)
            props << QString::fromLatin1(mo->property(i).name());
        QCOMPARE(props, expected);
        // Written by name as int so that no conversion wraps a rate into 16 bits.
        QCOMPARE(mo->property(mo->indexOfProperty("Scanrate")).metaType(), QMetaType::fromType<int>());
        const QMetaProperty range = mo->property(mo->indexOfProperty("Range"));
        QVERIFY(range.isEnumType() && !range.isWritable());
        QCOMPARE(range.enumerator().valueToKey(int(quellix::Range::Warning)), "Warning");
        QCOMPARE(range.notifySignal().name(), QByteArray("rangeChanged"));
        for (const auto &[prop, notify] : {std::pair{"DisplayValue", "DisplayChange"}, std::pair{"InputValue", "InputChange"},
                                           std::pair{"OutputValue", "OutputChange"}})
            QCOMPARE(mo->property(mo->indexOfProperty(prop)).notifySignal().name(), QByteArray(notify));
        // Throwing setters are no slots: nothing wires them up by name, and
        // the one slot for readings never throws.
        QStringList slotNames;
        for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
            if (mo->method(i).methodType() == QMetaMethod::Slot && mo->method(i).access() == QMetaMethod::Public)
                slotNames << QString::fromLatin1(mo->method(i).name());
        }
        QCOMPARE(slotNames, QStringList{"setValue"});
        QCOMPARE(mo->property(mo->indexOfProperty("Units")).metaType(), QMetaType::fromType<QString>());
        QCOMPARE(mo->property(mo->indexOfProperty("Ascending")).metaType(), QMetaType::fromType<bool>());

        const QStringList events{"Click", "DblClick", "Show", "Hide", "MouseMove", "ScanComplete", "Change",
                                 "Resize", "InputChange", "DisplayChange", "OutputChange", "ReachLowerLimit",
                                 "ReachNormalRange", "ReachCautionRange", "ReachWarningRange", "ReachUpperLimit",
                                 "HoldOn", "HoldOff"};
        QStringList signalNames;
        for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
            if (mo->method(i).methodType() == QMetaMethod::Signal)
                signalNames << QString::fromLatin1(mo->method(i).name());
        }
        QCOMPARE(signalNames.mid(0, 18), events);
        const QMetaMethod mm = mo->method(mo->indexOfSignal("MouseMove(qint16,qint16,float,float)"));
        QVERIFY(mm.isValid());
        QVERIFY(mo->indexOfMethod("REGISTER()") >= 0);
        QCOMPARE(QString::fromLatin1(mo->classInfo(mo->indexOfClassInfo("DefaultEvent")).value()),
                 QStringLiteral("DisplayChange"));

        // Face elements and timers carry their names; the scan timer runs from the start.
        for (const char *name : {"t_READOUT", "t_OUTPUT", "t_UNITS", "t_NORMAL", "t_CAUTION", "t_WARNING",
                                 "t_ONHOLD", "t_COMMLIGHT", "t_RECORDLITE"})
            QVERIFY2(m.findChild<QLineEdit *>(name), name);
        for (const char *name : {"c_HOLD", "c_LOGS", "c_PROPERTIES", "c_RESET"})
            QVERIFY2(m.findChild<QPushButton *>(name), name);
        for (const char *name : {"t_GAUGENAME", "i_BORDER", "LOGO"})
            QVERIFY2(m.findChild<QLabel *>(name), name);
        auto *limits = m.findChild<QTimer *>("timer_LIMITS");
        QVERIFY(limits && limits->isActive() && limits->interval() == 1000);
        for (const char *name : {"timer_NORMAL", "timer_WARNING"}) {
            auto *t = m.findChild<QTimer *>(name);
            QVERIFY(t && !t->isActive() && t->interval() == 250);
        }
        auto *data = m.findChild<QTimer *>("timer_DATA");
        QVERIFY(data && !data->isActive() && data->interval() == 60000);
        QVERIFY(m.userMode());

        // The host drives the control by property name.
        testsupport::StoreDir store;
        m.setObjectName("ByName");
        QVERIFY(QMetaObject::invokeMethod(&m, "REGISTER"));
        QVERIFY(m.setProperty("InputValue", 42.0));
        QCOMPARE(m.property("DisplayValue").toDouble(), 42.0);
        QCOMPARE(m.property("Scanrate").value<qint16>(), qint16(500));
    }

    void inputWriteRunsThePipeline()
    {
        makeMeter(false);
        meter->setInputMultiplier(2);
        meter->setInputOffset(1);
        meter->setOutputMultiplier(10);
        meter->setOutputOffset(0);
        EventLog log(meter.get());
        QStringList notified;
        connect(meter.get(), &Quellix::propertyChanged, this, [&](const QString &n) { notified << n; });

        meter->setInputValue(3);
        QCOMPARE(meter->DisplayValue(), 7.0);
        QCOMPARE(meter->OutputValue(), 70.0);
        QCOMPARE(boxText(*meter, "t_READOUT"), QStringLiteral("7.00"));
        QCOMPARE(boxText(*meter, "t_OUTPUT"), QStringLiteral("70.00"));
        // The output box's own notice comes first, then the chain innermost first.
        QCOMPARE(log.events, (QStringList{"OutputChange 70", "OutputChange 70", "Change", "DisplayChange 7",
                                          "Change", "InputChange 3", "Change"}));
        QCOMPARE(notified, (QStringList{"InputValue", "DisplayValue", "OutputValue"}));

        // A handler that writes the control again is served before the write returns.
        bool reentered = false;
        auto c = connect(meter.get(), &Quellix::DisplayChange, this, [&](double v) {
            if (v == 9 && !reentered) {
                reentered = true;
                meter->setInputValue(0);
            }
        });
        meter->setInputValue(4);
        disconnect(c);
        QVERIFY(reentered);
        QCOMPARE(meter->InputValue(), 0.0);
        QCOMPARE(meter->DisplayValue(), 1.0);
        QCOMPARE(boxText(*meter, "t_READOUT"), QStringLiteral("1.00"));
    }

    void holdAndEnabledGates()
    {
        makeMeter(true);
        meter->setInputValue(5);
        auto *hold = meter->findChild<QPushButton *>("c_HOLD");
        hold->click();
        QVERIFY(meter->Onhold());

        EventLog log(meter.get());
        meter->setInputValue(50);
        QCOMPARE(meter->InputValue(), 50.0);
        QCOMPARE(meter->DisplayValue(), 5.0);
        QCOMPARE(meter->OutputValue(), 5.0);
        QVERIFY(log.events.isEmpty());

        meter->setDisplayValue(60); // ignored on hold
        QCOMPARE(meter->DisplayValue(), 5.0);
        meter->setOutputValue(61); // the hold does not gate the output
        QCOMPARE(meter->OutputValue(), 61.0);
        QCOMPARE(log.names(), (QStringList{"OutputChange", "OutputChange", "Change"}));

        // A scaling change on hold writes through and logs, but does not recompute.
        const int before = int(userRecords(dir->path()).size());
        meter->setOutputOffset(3);
        QCOMPARE(meter->OutputValue(), 61.0);
        QCOMPARE(testsupport::settingsRow(dir->path(), "Meter1").value("Output Offset").toDouble(), 3.0);
        const auto records = userRecords(dir->path());
        QCOMPARE(records.size(), before + 1);
        QCOMPARE(records.last().value("Event").toString(), QStringLiteral("Output Offset Change"));
        QCOMPARE(records.last().value("Hold Status").toInt(), 1);

        // Releasing the hold does not recompute either.
        hold->click();
        QVERIFY(!meter->Onhold());
        QCOMPARE(meter->DisplayValue(), 5.0);

        // Disabled: the input is stored, nothing else; Enabled back on does not recompute.
        log.clear();
        meter->setControlEnabled(false);
        meter->setInputValue(70);
        meter->setDisplayValue(71);
        meter->setOutputValue(72);
        QCOMPARE(meter->DisplayValue(), 5.0);
        QCOMPARE(meter->OutputValue(), 61.0);
        QVERIFY(log.events.isEmpty());
        meter->setControlEnabled(true);
        QCOMPARE(meter->DisplayValue(), 5.0);
        meter->setInputValue(1);
        QCOMPARE(meter->OutputValue(), 4.0);
    }

    void enabledFollowers()
    {
        makeMeter(true);
        const int before = int(testsupport::logRows(dir->path()).size());
        meter->setControlEnabled(false);
        for (const char *name : {"t_RECORDLITE", "t_READOUT", "t_NORMAL", "t_CAUTION", "t_WARNING", "t_COMMLIGHT",
                                 "t_ONHOLD", "t_OUTPUT", "t_UNITS", "c_HOLD", "c_LOGS", "c_PROPERTIES", "c_RESET"})
            QVERIFY2(!meter->findChild<QWidget *>(name)->isEnabled(), name);
        QVERIFY(meter->findChild<QWidget *>("t_GAUGENAME")->isEnabled());
        QCOMPARE(testsupport::settingsRow(dir->path(), "Meter1").value("Enabled").toInt(), 0);
        QCOMPARE(testsupport::logRows(dir->path()).size(), before); // never logged

        // Without a store the widgets still follow and nothing is thrown.
        Quellix loose;
        loose.setControlEnabled(true);
        QVERIFY(loose.Enabled());
        QVERIFY(loose.findChild<QWidget *>("c_HOLD")->isEnabled());
    }

    void settersWriteThroughAndLog_data()
    {
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("event");
        QTest::newRow("InputMultiplier") << "InputMultiplier" << QVariant(2.5) << "Input Multiplier" << QVariant(2.5) << "Input Multiplier Change";
        QTest::newRow("InputOffset") << "InputOffset" << QVariant(-1.0) << "Input Offset" << QVariant(-1.0) << "Input Offset Change";
        QTest::newRow("OutputMultiplier") << "OutputMultiplier" << QVariant(3.0) << "Output Multiplier" << QVariant(3.0) << "Output Multiplier Change";
        QTest::newRow("OutputOffset") << "OutputOffset" << QVariant(0.5) << "Output Offset" << QVariant(0.5) << "Output Offset Change";
        QTest::newRow("LowerLimit") << "LowerLimit" << QVariant(5.0) << "Lower Limit Value" << QVariant(5) << "Lower Limit Change";
        QTest::newRow("CautionLimit") << "CautionLimit" << QVariant(75.5) << "Caution Limit Value" << QVariant(76) << "Caution Limit Change";
        QTest::newRow("WarningLimit") << "WarningLimit" << QVariant(91.0) << "Warning Limit Value" << QVariant(91) << "Warning Limits Change";
        QTest::newRow("UpperLimit") << "UpperLimit" << QVariant(99.0) << "Upper Limit Value" << QVariant(99) << "Upper Limit Change";
        QTest::newRow("Units") << "Units" << QVariant("bar") << "Units" << QVariant("bar") << "Units Change";
        QTest::newRow("Ascending") << "Ascending" << QVariant(false) << "Direction" << QVariant("Descending") << "Limit Direction Change";
        QTest::newRow("Password") << "Password" << QVariant("secret") << "Password" << QVariant("secret") << "Password Change";
        QTest::newRow("Scanrate") << "Scanrate" << QVariant::fromValue<qint16>(250) << "Scanrate" << QVariant(250) << "Scanrate Change";
    }
    void settersWriteThroughAndLog()
    {
        QFETCH(QString, property);
        QFETCH(QVariant, value);
        QFETCH(QString, field);
        QFETCH(QVariant, stored);
        QFETCH(QString, event);
        makeMeter(true);
        meter->setInputValue(10);
        QStringList notified;
        connect(meter.get(), &Quellix::propertyChanged, this, [&](const QString &n) { notified << n; });
        QVERIFY(meter->setProperty(property.toLatin1().constData(), value));
        QCOMPARE(notified.value(0), property);
        QCOMPARE(meter->property(property.toLatin1().constData()), value);
        QCOMPARE(testsupport::settingsRow(dir->path(), "Meter1").value(field).toString(), stored.toString());
        const auto records = userRecords(dir->path());
        QVERIFY(!records.isEmpty());
        const QVariantMap last = records.last();
        QCOMPARE(last.value("Event").toString(), event);
        QCOMPARE(last.value("Control").toString(), QStringLiteral("Meter1"));
        // The record is written after the recompute: it shows the new values.
        QCOMPARE(last.value("Display Value").toDouble(), meter->DisplayValue());
        QCOMPARE(last.value("Output Value").toDouble(), meter->OutputValue());
        QVERIFY(!last.value("Event").toString().contains("secret"));
    }

    void functionTextsOfUserRecords()
    {
        makeMeter(true);
        meter->setInputMultiplier(2);
        meter->setInputOffset(-1);
        const QVariantMap r = userRecords(dir->path()).last();
        QCOMPARE(r.value("Input Function").toString(), QStringLiteral("* 2 +-1"));
        QCOMPARE(r.value("Output Function").toString(), QStringLiteral("* 1 + 0"));
        QCOMPARE(r.value("Type").toString(), QStringLiteral("USER"));
        QCOMPARE(r.value("Time").toString().size(), 22);
    }

    void noLogWhenSwitchedOff()
    {
        makeMeter(false);
        const int before = int(testsupport::logRows(dir->path()).size());
        meter->setUpperLimit(120);
        meter->setUnits("kPa");
        QCOMPARE(testsupport::logRows(dir->path()).size(), before);
        QCOMPARE(testsupport::settingsRow(dir->path(), "Meter1").value("Upper Limit Value").toInt(), 120);
    }

    void scanrateTakesEffectOnlyOnLoad()
    {
        makeMeter(false);
        auto *timer = meter->findChild<QTimer *>("timer_LIMITS");
        QCOMPARE(timer->interval(), 1000); // a new row: registration leaves the timer alone
        meter->setScanrate(250);
        QCOMPARE(timer->interval(), 1000);
        meter->REGISTER();
        QCOMPARE(timer->interval(), 250);
        QVERIFY(timer->isActive());
        // A rate that would stop the scan, or that 16 bits cannot hold, is
        // refused whichever way it is written, and nothing is stored.
        for (int bad : {0, -5, 40000, 70000}) {
            QVERIFY_THROWS_EXCEPTION(quellix::Error, meter->setScanrate(bad));
            QVERIFY_THROWS_EXCEPTION(quellix::Error, meter->setProperty("Scanrate", bad));
            QCOMPARE(meter->Scanrate(), qint16(250));
            QCOMPARE(testsupport::settingsRow(dir->path(), "Meter1").value("Scanrate").toInt(), 250);
        }
    }

    void failuresReachTheCaller()
    {
        // Never registered: the value is stored and notified, the write-through fails.
        {
            Quellix loose;
            QStringList notified;
            connect(&loose, &Quellix::propertyChanged, this, [&](const QString &n) { notified << n; });
            QCOMPARE(errorKind([&] { loose.setUpperLimit(10); }), Error::Kind::NotOpen);
            QCOMPARE(loose.UpperLimit(), 10.0);
            QCOMPARE(notified, QStringList{"UpperLimit"});
        }
        makeMeter(true);
        const int before = int(testsupport::logRows(dir->path()).size());
        // Units longer than the field: the control shows them, the row refuses, no record.
        QCOMPARE(errorKind([&] { meter->setUnits("12345678901"); }), Error::Kind::InvalidValue);
        QCOMPARE(meter->Units(), QStringLiteral("12345678901"));
        QCOMPARE(boxText(*meter, "t_UNITS"), QStringLiteral("12345678901"));
        QCOMPARE(testsupport::settingsRow(dir->path(), "Meter1").value("Units").toString(), QStringLiteral("%"));
        QCOMPARE(testsupport::logRows(dir->path()).size(), before);
        QCOMPARE(errorKind([&] { meter->setPassword("toolongpw"); }), Error::Kind::InvalidValue);

        // A recompute that overflows fails the setter; the next step is not taken.
        meter->setInputValue(2);
        meter->setInputMultiplier(2);
        EventLog log(meter.get());
        QCOMPARE(errorKind([&] { meter->setInputValue(std::numeric_limits<double>::max()); }), Error::Kind::Overflow);
        QCOMPARE(meter->InputValue(), std::numeric_limits<double>::max()); // stored all the same
        meter->setInputValue(2);
        log.clear();
        // The row refuses a multiplier that is not a finite number before any recompute.
        QCOMPARE(errorKind([&] { meter->setInputMultiplier(std::numeric_limits<double>::infinity()); }),
                 Error::Kind::InvalidValue);
        QCOMPARE(errorKind([&] { meter->setInputValue(1); }), Error::Kind::Overflow);
        meter->setInputMultiplier(2);
        QCOMPARE(meter->DisplayValue(), 2.0); // 2 × the stored input 1, from the multiplier change
        log.clear();
        QCOMPARE(errorKind([&] { meter->setInputValue(std::numeric_limits<double>::quiet_NaN()); }),
                 Error::Kind::Overflow);
        QCOMPARE(meter->DisplayValue(), 2.0);
        QVERIFY(!log.names().contains("DisplayChange"));
        QVERIFY(!log.names().contains("InputChange"));
    }
};

QTEST_MAIN(TestPipeline)
#include "tst_pipeline.moc"
