// Config: the prompt in mode "SETUP", then the control's settings row
// reloaded into the running control, whatever the prompt's answer.

#include "windowstate.h"
#include "promptdriver.h"
#include "quellix.h"
#include "testsupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace quellix::config;
using namespace promptdriver;
using quellix::schema::Field;

namespace {

QPushButton *button(Quellix &m, const char *name) { return m.findChild<QPushButton *>(QLatin1String(name)); }
QLineEdit *box(Quellix &m, const char *name) { return m.findChild<QLineEdit *>(QLatin1String(name)); }
QColor textColour(Quellix &m, const char *name) { return box(m, name)->palette().color(QPalette::Text); }

void cancelPrompt()
{
    whenPromptOpen([] { quellix::config::PasswordPrompt::instance().findChild<QPushButton *>("c_SETUPOK")->click(); });
}

} // namespace

class TestConfigReload : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::StoreDir> dir;
    std::unique_ptr<Quellix> meter;

    Quellix &makeMeter(const testsupport::SettingsFields &fields = {})
    {
        dir = std::make_unique<testsupport::StoreDir>();
        meter = testsupport::registeredControl("Pump", fields);
        return *meter;
    }

private Q_SLOTS:
    void cleanup()
    {
        meter.reset();
        dir.reset();
    }

    // Another program changed the row; Config and Cancel still bring the
    // changes in, and keep a hold and a silenced alarm.
    void cancelReloadsRowKeepingHoldAndSilence()
    {
        Quellix &m = makeMeter({{Field::Password, "Secret"}});
        button(m, "c_HOLD")->click();
        button(m, "c_RESET")->click();
        QSignalSpy clicks(&m, &Quellix::Click);

        const testsupport::SettingsFields changed{
            {Field::LowerLimitValue, 5.0},  {Field::CautionLimitValue, 60.0},       {Field::WarningLimitValue, 80.0},
            {Field::UpperLimitValue, 200.0}, {Field::Scanrate, 250},                 {Field::Units, "bar"},
            {Field::DisplayColor, 65280},   {Field::UnitsColor, 255},               {Field::OutputColor, 16711680},
            {Field::HoldIndicatorColor, 16711680}, {Field::Direction, "descending"}, {Field::Password, "Other"}};
        for (const auto &[field, value] : changed)
            testsupport::setSettingsField("Pump", field, value);

        cancelPrompt();
        button(m, "c_PROPERTIES")->click();

        QCOMPARE(sharedWindowState().config.controlName, QStringLiteral("Pump"));
        QCOMPARE(sharedWindowState().config.passwordExpected, QStringLiteral("Secret")); // asked before the reload
        QCOMPARE(sharedWindowState().config.passwordMode, QStringLiteral("SETUP"));
        QCOMPARE(m.LowerLimit(), 5.0);
        QCOMPARE(m.CautionLimit(), 60.0);
        QCOMPARE(m.WarningLimit(), 80.0);
        QCOMPARE(m.UpperLimit(), 200.0);
        QVERIFY(m.Ascending()); // only "Descending" itself descends
        QCOMPARE(m.Password(), QStringLiteral("Other"));
        QCOMPARE(m.Scanrate(), qint16(250));
        QTimer *scan = m.findChild<QTimer *>("timer_LIMITS");
        QCOMPARE(scan->interval(), 250);
        QVERIFY(scan->isActive());
        QCOMPARE(box(m, "t_UNITS")->text(), QStringLiteral("bar"));
        QCOMPARE(textColour(m, "t_READOUT"), QColor(0, 255, 0));
        QCOMPARE(textColour(m, "t_UNITS"), QColor(255, 0, 0));
        QCOMPARE(textColour(m, "t_OUTPUT"), QColor(0, 0, 255));
        QVERIFY(m.Onhold());
        QCOMPARE(textColour(m, "t_ONHOLD"), QColor(0, 0, 255)); // held: repainted in the new colour
        QCOMPARE(button(m, "c_RESET")->text(), QStringLiteral("Alarm Reset(RESET)"));
        QCOMPARE(clicks.count(), 0);
    }

    // The right password by Enter: new factors re-run the pipeline, a
    // field left empty keeps its value, and no Click.
    void rightPasswordRerunsPipelineAndSkipsEmptyFields()
    {
        Quellix &m = makeMeter();
        m.setInputValue(10);
        testsupport::setSettingsField("Pump", Field::InputMultiplier, 3.0);
        testsupport::setSettingsField("Pump", Field::OutputOffset, 1.0);
        testsupport::setSettingsField("Pump", Field::Units, QVariant());
        testsupport::EventLog events(&m);

        whenPromptOpen([] { typeAndEnter("marigold"); });
        button(m, "c_PROPERTIES")->click();

        QCOMPARE(m.DisplayValue(), 30.0);
        QCOMPARE(m.OutputValue(), 31.0);
        QCOMPARE(box(m, "t_READOUT")->text(), QStringLiteral("30.00"));
        QCOMPARE(m.Units(), QStringLiteral("%"));
        QVERIFY(events.names().contains("DisplayChange"));
        QVERIFY(events.names().contains("InputChange"));
        QVERIFY(!events.names().contains("Click"));
    }

    void missingRowRaisesClickAfterPrompt()
    {
        Quellix &m = makeMeter();
        QCOMPARE(testsupport::execSql(dir->file("SETTINGS.MDB"),
                                      "DELETE FROM Settings WHERE \"Control Name\" = 'Pump'"),
                 0);
        QSignalSpy clicks(&m, &Quellix::Click);
        bool clickedWhileOpen = false;
        whenPromptOpen([&] {
            clickedWhileOpen = clicks.count() > 0;
            PasswordPrompt::instance().findChild<QPushButton *>("c_SETUPOK")->click();
        });
        button(m, "c_PROPERTIES")->click();
        QVERIFY(!clickedWhileOpen);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(m.UpperLimit(), 100.0);
    }
};

QTEST_MAIN(TestConfigReload)
#include "tst_configreload.moc"
