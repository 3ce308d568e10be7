// The properties dialog f_PROPS driven as an operator would: fields typed
// into, options and tabs clicked, messages answered, OK, Cancel or the
// close box; then the settings row read straight from the file.

#include "windowstate.h"
#include "promptdriver.h"
#include "propsdialog.h"
#include "quellix.h"
#include "stores.h"
#include "testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace quellix::config;
using namespace quellix::store;

namespace {

template<typename T = QWidget>
T *child(QObject *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

/// Answers every modal message box with OK, keeping its title and text.
struct MessageAnswerer
{
    QStringList titles;
    QStringList texts;
    QTimer poll;
    MessageAnswerer()
    {
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                titles << box->windowTitle();
                texts << box->text();
                box->accept();
            }
        });
        poll.start();
    }
};

/// Runs `steps` once a modal window of this name is open; a watchdog
/// closes every modal window left so a failing test never hangs. Both
/// timers go with `scope`, so no watchdog outlives its test.
void whenModal(QObject *scope, const char *name, std::function<void()> steps)
{
    auto *poll = new QTimer(scope);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, name = QString::fromLatin1(name), steps] {
        QWidget *w = QApplication::activeModalWidget();
        if (!w || w->objectName() != name)
            return;
        poll->stop();
        steps();
    });
    poll->start();
    auto *watchdog = new QTimer(scope);
    watchdog->setSingleShot(true);
    QObject::connect(watchdog, &QTimer::timeout, [] {
        while (QWidget *w = QApplication::activeModalWidget())
            w->close();
    });
    watchdog->start(15000);
}

void retype(QLineEdit *e, const QString &text)
{
    e->selectAll();
    if (text.isEmpty())
        QTest::keyClick(e, Qt::Key_Backspace);
    // One key press per character, any letter (QTest::keyClicks takes ASCII).
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(e, &press);
    }
}

} // namespace

class TestPropsDialog : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::StoreDir> dir;
    std::unique_ptr<Quellix> meter;
    std::unique_ptr<QObject> scope;

    void makeMeter(const testsupport::SettingsFields &fields = {})
    {
        dir = std::make_unique<testsupport::StoreDir>();
        meter = testsupport::registeredControl("Pump", fields);
    }
    std::unique_ptr<PropsDialog> open(const testsupport::SettingsFields &fields = {})
    {
        makeMeter(fields);
        auto d = std::make_unique<PropsDialog>(openStores(StoreLocation::directory(QDir::currentPath())),
                                               QStringLiteral("Pump"));
        if (!d->findRow())
            return nullptr;
        d->show();
        return d;
    }
    QVariantMap row() const { return testsupport::settingsRow(dir->path(), "Pump"); }

private Q_SLOTS:
    void init() { scope = std::make_unique<QObject>(); }
    void cleanup()
    {
        scope.reset();
        meter.reset();
        dir.reset();
    }

    // Config, the right password, edits on three tabs, OK: the row holds
    // them and the control runs with them when the click returns.
    void configEditsAndReloads()
    {
        makeMeter();
        QSignalSpy clicks(meter.get(), &Quellix::Click);
        QString caption;
        whenModal(scope.get(), "f_PASSWORD", [] { promptdriver::typeAndEnter("marigold"); });
        whenModal(scope.get(), "f_PROPS", [&caption] {
            QWidget *d = QApplication::activeModalWidget();
            caption = d->windowTitle();
            retype(child<QLineEdit>(d, "t_UPPERLIMITVALUE"), "150");
            retype(child<QLineEdit>(d, "t_SCANRATE"), "250");
            child<QRadioButton>(d, "option_DISPLAYGREEN")->click();
            child<QPushButton>(d, "c_OK")->click();
        });
        child<QPushButton>(meter.get(), "c_PROPERTIES")->click();

        QCOMPARE(caption, QStringLiteral("Pump Config."));
        const QVariantMap r = row();
        QCOMPARE(r.value("Upper Limit Value").toInt(), 150);
        QCOMPARE(r.value("Scanrate").toInt(), 250);
        QCOMPARE(r.value("Display Color").toInt(), 65280);
        QCOMPARE(meter->UpperLimit(), 150.0);
        QCOMPARE(child<QTimer>(meter.get(), "timer_LIMITS")->interval(), 250);
        QCOMPARE(child<QLineEdit>(meter.get(), "t_READOUT")->palette().color(QPalette::Text), QColor(0, 255, 0));
        QCOMPARE(clicks.count(), 0);
    }

    void cancelAndCloseBox_data()
    {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("Cancel drops every edit") << true;
        QTest::newRow("the close box saves as OK") << false;
    }
    void cancelAndCloseBox()
    {
        QFETCH(bool, cancel);
        auto d = open();
        QVERIFY(d);
        const QVariantMap before = row();
        child<QRadioButton>(d.get(), "option_COMMBLUE")->click();
        retype(child<QLineEdit>(d.get(), "t_UNITS"), "bar");
        if (cancel)
            child<QPushButton>(d.get(), "c_CANCEL")->click();
        else
            QVERIFY(d->close());
        QVERIFY(!d->isVisible());
        if (cancel) {
            QCOMPARE(row(), before);
        } else {
            QCOMPARE(row().value("COMM Indicator Color").toInt(), 16776960);
            QCOMPARE(row().value("Units").toString(), QStringLiteral("bar"));
        }
    }

    // The rules run on the filled values: OK without an edit writes what
    // they changed, and leaves empty what nothing filled.
    void rulesOnFilledValues_data()
    {
        QTest::addColumn<testsupport::SettingsFields>("stored");
        QTest::addColumn<QVariantMap>("saved"); // an invalid value: the column stays empty
        QTest::newRow("colours outside the table")
            << testsupport::SettingsFields{{Field::DisplayColor, 0}, {Field::UnitsColor, 0}, {Field::HoldIndicatorColor, 0}}
            << QVariantMap{{"Display Color", 255}, {"Units Color", 65535}, {"Hold Indicator Color", 65280}};
        QTest::newRow("lower-case direction") << testsupport::SettingsFields{{Field::Direction, "descending"}}
                                              << QVariantMap{{"Direction", "Descending"}};
        QTest::newRow("empty prompt and path become a blank")
            << testsupport::SettingsFields{} << QVariantMap{{"Upper Prompt Text", " "}, {"Lower Event Path", " "}};
        QTest::newRow("sound without a name beeps") << testsupport::SettingsFields{{Field::UpperAlarmSound, true}}
                                                    << QVariantMap{{"Upper Alarm Sound Name", "BEEP"}};
        QTest::newRow("a chosen sound stays")
            << testsupport::SettingsFields{{Field::WarningAlarmSound, true}, {Field::WarningAlarmSoundName, "POLICE"}}
            << QVariantMap{{"Warning Alarm Sound Name", "POLICE"}};
        QTest::newRow("recording without interval") << testsupport::SettingsFields{{Field::LogDisplayedEvery, true}}
                                                    << QVariantMap{{"Log Every Time Interval", "1 Minute"}};
        QTest::newRow("empty columns stay empty")
            << testsupport::SettingsFields{} << QVariantMap{{"Inbound COMM Port", QVariant()}, {"Log User Actions", QVariant()}};
    }
    void rulesOnFilledValues()
    {
        QFETCH(testsupport::SettingsFields, stored);
        QFETCH(QVariantMap, saved);
        auto d = open(stored);
        QVERIFY(d);
        child<QPushButton>(d.get(), "c_OK")->click();
        const QVariantMap r = row();
        for (auto it = saved.begin(); it != saved.end(); ++it)
            QCOMPARE(r.value(it.key()).toString(), it.value().toString());
    }

    // What is typed is stored exactly, within what the column holds.
    void typedTexts_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("stored");
        QTest::newRow("units cut to 8") << "t_UNITS" << "123456789" << "Units" << "12345678";
        QTest::newRow("units with a degree sign") << "t_UNITS" << QString::fromUtf8("\xC2\xB0""C") << "Units"
                                                  << QString::fromUtf8("\xC2\xB0""C");
        QTest::newRow("password with quotes and umlaut")
            << "t_PASSWORD" << QString::fromUtf8("a'b\"c\xC3\xBC") << "Password" << QString::fromUtf8("a'b\"c\xC3\xBC");
        QTest::newRow("password of 8 whole") << "t_PASSWORD" << "12345678" << "Password" << "12345678";
        QTest::newRow("prompt stops at its column")
            << "t_UPPERLIMITPROMPT" << QString(300, QLatin1Char('x')) << "Upper Prompt Text" << QString(255, QLatin1Char('x'));
        QTest::newRow("cleared prompt is a blank") << "t_CAUTIONLIMITPROMPT" << "" << "Caution Prompt Text" << " ";
        QTest::newRow("number read from its start") << "t_LOWERLIMITVALUE" << "7kg" << "Lower Limit Value" << "7";
    }
    void typedTexts()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, column);
        QFETCH(QString, stored);
        auto d = open();
        QVERIFY(d);
        retype(child<QLineEdit>(d.get(), qPrintable(field)), typed);
        child<QPushButton>(d.get(), "c_OK")->click();
        QVERIFY(!d->isVisible());
        QCOMPARE(row().value(column).toString(), stored);
    }

    void liveRules()
    {
        auto d = open();
        QVERIFY(d);
        retype(child<QLineEdit>(d.get(), "t_DISPLAYMULT"), "2");
        QCOMPARE(child<QLineEdit>(d.get(), "t_DISPLAYEDFUNCTION")->text(),
                 QStringLiteral("Displayed Value=2(Input Value) +0"));
        child<QCheckBox>(d.get(), "chk_WARNINGLIMITVALUE")->click();
        for (const char *name : {"chk_WARNINGALARMLIGHT", "chk_WARNINGALARMSOUND", "chk_WARNINGLIMITPROMPT",
                                 "chk_WARNINGLIMITEVENT", "chk_WARNINGLOGREACHING"})
            QVERIFY2(!child<QCheckBox>(d.get(), name)->isEnabled(), name);
        QVERIFY(child<QCheckBox>(d.get(), "chk_WARNINGALARMLIGHT")->isChecked()); // value kept
        QVERIFY(child<QCheckBox>(d.get(), "chk_UPPERALARMLIGHT")->isEnabled());
    }

    // One tick of timer_LIMIT: one message, one correction in Str form, and
    // the timer started again for the next rule. One of timer_SCANRATE.
    void timerTicks()
    {
        auto d = open({{Field::WarningLimitValue, 100}, {Field::CautionLimitValue, 50}});
        QVERIFY(d);
        QTimer *timer = child<QTimer>(d.get(), "timer_LIMIT");
        QVERIFY(timer->isActive() && timer->isSingleShot());
        QCOMPARE(timer->interval(), 1000);
        QCOMPARE(child<QTimer>(d.get(), "timer_SCANRATE")->interval(), 500);
        MessageAnswerer messages;
        d->limitTimerFired();
        QCOMPARE(messages.titles, QStringList{"Invalid Limit Value!"});
        QVERIFY(messages.texts[0].startsWith("For Ascending Limits....\n\r\n\rThe value of the Upper Limit"));
        QCOMPARE(child<QLineEdit>(d.get(), "t_UPPERLIMITVALUE")->text(), QStringLiteral(" 101"));
        QVERIFY(timer->isActive());
        d->limitTimerFired();
        QCOMPARE(messages.titles.size(), 1);
        QVERIFY(!timer->isActive());

        QLineEdit *rate = child<QLineEdit>(d.get(), "t_SCANRATE");
        retype(rate, "50");
        QVERIFY(child<QTimer>(d.get(), "timer_SCANRATE")->isActive());
        d->scanRateTimerFired();
        QCOMPARE(rate->text(), QStringLiteral("100"));
    }

    // The documented chain on real timers: one correction per second.
    void limitChainOnRealTimers()
    {
        auto d = open();
        QVERIFY(d);
        MessageAnswerer messages;
        const char *names[4] = {"t_UPPERLIMITVALUE", "t_WARNINGLIMITVALUE", "t_CAUTIONLIMITVALUE", "t_LOWERLIMITVALUE"};
        const char *values[4] = {"10", "20", "30", "40"};
        for (int i = 0; i < 4; ++i)
            retype(child<QLineEdit>(d.get(), names[i]), values[i]);
        QTRY_COMPARE_WITH_TIMEOUT(messages.texts.size(), 6, 9000);
        QTest::qWait(1300);
        QCOMPARE(messages.texts.size(), 6);
        QStringList rules;
        for (const QString &t : messages.texts)
            rules << t.section(QStringLiteral("\n\r\n\r"), 1, 1).section(' ', 4, 5);
        QCOMPARE(rules, (QStringList{"Upper Limit", "Warning Limit", "Upper Limit", "Caution Limit",
                                     "Warning Limit", "Upper Limit"}));
        QStringList finalTexts;
        for (const char *n : names)
            finalTexts << child<QLineEdit>(d.get(), n)->text();
        QCOMPARE(finalTexts, (QStringList{" 43", " 42", " 41", "40"}));
    }

    // A value the column cannot hold: nothing is saved, the operator is told
    // which field, and every edit stays for another try.
    void refusedFieldKeepsDialogOpen_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("column");
        QTest::newRow("limit beyond 32 bits") << "t_UPPERLIMITVALUE" << "3000000000" << "Upper Limit Value";
        QTest::newRow("scan rate beyond 16 bits") << "t_SCANRATE" << "40000" << "Scanrate";
    }
    void refusedFieldKeepsDialogOpen()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, column);
        auto d = open();
        QVERIFY(d);
        const QVariantMap before = row();
        retype(child<QLineEdit>(d.get(), "t_UNITS"), "bar");
        QLineEdit *bad = child<QLineEdit>(d.get(), qPrintable(field));
        retype(bad, typed);
        MessageAnswerer messages;
        child<QPushButton>(d.get(), "c_OK")->click();
        QVERIFY(d->isVisible());
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY2(messages.texts[0].contains(column), qPrintable(messages.texts[0]));
        QCOMPARE(row(), before);
        QCOMPARE(child<QLineEdit>(d.get(), "t_UNITS")->text(), QStringLiteral("bar"));

        retype(bad, "150");
        child<QPushButton>(d.get(), "c_OK")->click();
        QVERIFY(!d->isVisible());
        QCOMPARE(row().value(column).toInt(), 150);
        QCOMPARE(row().value("Units").toString(), QStringLiteral("bar"));
    }

    void rowDeletedWhileOpen()
    {
        auto d = open();
        QVERIFY(d);
        QCOMPARE(testsupport::execSql(dir->file("SETTINGS.MDB"), "DELETE FROM Settings"), 0);
        retype(child<QLineEdit>(d.get(), "t_UNITS"), "bar");
        MessageAnswerer messages;
        child<QPushButton>(d.get(), "c_OK")->click();
        QVERIFY(!d->isVisible());
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY(messages.texts[0].contains("no longer"));
    }

    // The control goes with its window while the dialog, or a limit message
    // over it, is open: both close and nothing of them is touched again.
    void controlDestroyedWhileDialogOpen_data()
    {
        QTest::addColumn<bool>("inMessage");
        QTest::newRow("dialog") << false;
        QTest::newRow("limit message") << true;
    }
    void controlDestroyedWhileDialogOpen()
    {
        QFETCH(bool, inMessage);
        makeMeter({{Field::WarningLimitValue, 100}}); // a limit message a second after opening
        QPointer<QWidget> shown;
        whenModal(scope.get(), "f_PASSWORD", [] { promptdriver::typeAndEnter("marigold"); });
        whenModal(scope.get(), "f_PROPS", [this, &shown, inMessage] {
            shown = QApplication::activeModalWidget();
            if (!inMessage)
                meter.reset();
        });
        if (inMessage) // the message box has no name of its own
            whenModal(scope.get(), "", [this] { meter.reset(); });
        child<QPushButton>(meter.get(), "c_PROPERTIES")->click();
        QVERIFY(!meter);
        QVERIFY(shown.isNull());
        QVERIFY(!QApplication::activeModalWidget());
    }

    // Ten tabs in two rows; the last two go back to the first; the Warning
    // and Caution frames trade places with the direction.
    void tabsAndFrames()
    {
        auto d = open();
        QVERIFY(d);
        PropsTabs *tabs = d->tabs();
        QStringList captions;
        for (int i = 0; i < tabs->count(); ++i)
            captions << tabs->tabText(i);
        QCOMPARE(captions, (QStringList{"Limits", "Alarms", "Prompts", "Activate", "Ratios", "Logs", "Colors",
                                        "Misc", " ", " "}));
        for (int i : {6, 9, 5, 8}) {
            QTest::mouseClick(tabs->tabButton(i), Qt::LeftButton);
            QCOMPARE(tabs->currentIndex(), i >= 8 ? 0 : i);
        }
        QCOMPARE(tabs->tabButton(0)->y(), tabs->tabButton(4)->y());
        QVERIFY(tabs->tabButton(5)->parentWidget()->y() > tabs->tabButton(0)->parentWidget()->y());

        auto tops = [tabs](const char *name) { // element n on tab n
            QList<int> list;
            for (int n = 0; n < 4; ++n)
                list << child<QGroupBox>(tabs->page(n), name)->mapTo(tabs, QPoint(0, 0)).y() * 15;
            return list;
        };
        QCOMPARE(tops("fr_WARNING"), (QList<int>{1830, 1560, 1560, 1560}));
        QCOMPARE(tops("fr_CAUTION"), (QList<int>{2580, 2400, 2400, 2400}));
        child<QRadioButton>(d.get(), "option_DESCENDING")->click();
        QCOMPARE(child<QLineEdit>(d.get(), "t_DIRECTION")->text(), QStringLiteral("Descending"));
        QCOMPARE(tops("fr_WARNING"), (QList<int>{2580, 2400, 2400, 2400}));
        QCOMPARE(tops("fr_CAUTION"), (QList<int>{1830, 1560, 1560, 1560}));
    }

    // Every field of every tab that can be shown lies inside its page with
    // its caption whole. PROPS_GRAB_DIR=<dir> also saves a picture of each
    // tab there (of the last two, which are never shown, their pages).
    void everyTabFits()
    {
        auto d = open();
        QVERIFY(d);
        const QString grabDir = qEnvironmentVariable("PROPS_GRAB_DIR");
        for (int i = 0; i < d->tabs()->count(); ++i) {
            QWidget *page = d->tabs()->page(i);
            if (i < 8)
                d->tabs()->setCurrentIndex(i);
            page->ensurePolished();
            if (page->layout())
                page->layout()->activate();
            for (QWidget *w : page->findChildren<QWidget *>()) {
                if (i >= 8)
                    break;
                if (!qobject_cast<QAbstractButton *>(w) && !qobject_cast<QLineEdit *>(w)
                    && !qobject_cast<QComboBox *>(w))
                    continue;
                const QRect r(w->mapTo(page, QPoint(0, 0)), w->size());
                QVERIFY2(page->rect().contains(r), qPrintable(QStringLiteral("tab %1: %2").arg(i).arg(w->objectName())));
                if (qobject_cast<QAbstractButton *>(w))
                    QVERIFY2(w->width() >= w->sizeHint().width(),
                             qPrintable(QStringLiteral("tab %1: %2 is cut").arg(i).arg(w->objectName())));
            }
            if (!grabDir.isEmpty())
                (i < 8 ? d->grab() : page->grab()).save(QStringLiteral("%1/props_tab%2.png").arg(grabDir).arg(i));
        }
    }

    // Browse: OK in the browser puts the chosen path in the level's field,
    // Cancel leaves the field as it was.
    void browseButtons_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("OK with a name") << true;
        QTest::newRow("Cancel") << false;
    }
    void browseButtons()
    {
        QFETCH(bool, accept);
        auto d = open({{Field::CautionEventPath, "/opt/old"}});
        QVERIFY(d);
        whenModal(scope.get(), "f_BROWSE", [accept] {
            QWidget *b = QApplication::activeModalWidget();
            QTest::keyClicks(child<QLineEdit>(b, "t_FILENAME"), "siren.sh");
            child<QPushButton>(b, accept ? "c_OKEXPORT" : "c_CANCELEXPORT")->click();
        });
        child<QPushButton>(d.get(), "c_CAUTIONLIMITEVENT")->click();
        const QString field = child<QLineEdit>(d.get(), "t_CAUTIONLIMITEVENT")->text();
        const QString kept = sharedWindowState().chosenProgramPath;
        if (accept) {
            QVERIFY(kept.endsWith("/siren.sh"));
            QCOMPARE(field, kept);
        } else {
            QVERIFY(kept.isEmpty());
            QCOMPARE(field, QStringLiteral("/opt/old"));
        }
        QCOMPARE(child<QLineEdit>(d.get(), "t_UPPERLIMITEVENT")->text(), QStringLiteral(" "));
    }
};

QTEST_MAIN(TestPropsDialog)
#include "tst_propsdialog.moc"
