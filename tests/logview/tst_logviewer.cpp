// The log viewer f_LOG driven through its buttons and menus over a real
// LOG.MDB: the rows listed, check marks and enabled states, Clear Log and
// Clear Data through the password prompt, CSV export, a store changed by
// another program, and the Logs button of a control.

#include "csvexport.h"
#include "logmodel.h"
#include "logviewer.h"
#include "../config/promptdriver.h"
#include "quellix.h"
#include "stores.h"
#include "testsupport.h"
#include "windowstate.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

using namespace quellix;
using namespace quellix::logview;
using quellix::schema::Field;

namespace {

const QString kQuoted = QStringLiteral("Say \"hi\", x");
// Each control has one record of each type; "50XYA" and "Control" catch a
// name read as a pattern or as a column.
const QStringList kControls{"Meter1", "Control", "Type", kQuoted, "50%_A", "50XYA", "O'Brien", "Kühl"};
const QStringList kTypes{"USER", "SYSTEM", "LIMIT"};

// What the viewers of a test are opened on.
ViewerRequest request;

// The stores of the viewed location, held while a test uses them.
std::shared_ptr<store::Stores> held;
store::EventLog &eventLog()
{
    held = store::openStores(request.storeLocation);
    return held->log();
}

void seedLog(const QString &dir)
{
    held.reset();
    store::createLogStore(dir + "/LOG.MDB");
    request.storeLocation = store::StoreLocation::directory(dir);
    for (const QString &type : kTypes)
        for (const QString &control : kControls) {
            store::LogRecord r;
            r.control = control;
            r.type = type;
            r.event = type + " of " + control;
            eventLog().append(r);
        }
    eventLog().flush();
}

// The shared state as a fresh process has it, and a request for the viewed
// control whose password is "pw"; the process expects another password, so
// a viewer asking the prompt for anything but its request's fails.
void resetContext(const QString &name)
{
    config::sharedWindowState().viewer = {};
    config::sharedWindowState().config.passwordExpected = "stale";
    const store::StoreLocation location = request.storeLocation;
    request = {};
    request.storeLocation = location;
    request.controlName = name;
    request.password = "pw";
}

QStringList shown(LogViewer &v)
{
    auto *grid = v.findChild<QTableView *>("dbgrid_LOG");
    QStringList rows;
    for (int r = 0; r < grid->model()->rowCount(); ++r)
        rows << grid->model()->index(r, 1).data().toString() + ":" + grid->model()->index(r, 3).data().toString();
    return rows;
}

QStringList cross(const QStringList &controls, const QStringList &types)
{
    QStringList rows;
    for (const QString &t : types)
        for (const QString &c : controls)
            rows << c + ":" + t;
    return rows;
}

void press(LogViewer &v, const QString &name)
{
    if (name.startsWith("m_"))
        v.findChild<QAction *>(name)->trigger();
    else
        QTest::mouseClick(v.findChild<QToolButton *>(name), Qt::LeftButton);
}

bool checked(LogViewer &v, const char *item) { return v.findChild<QAction *>(item)->isChecked(); }

// Answers the next modal message box, keeping its title and text.
void answerMessage(QString *seen)
{
    QTimer::singleShot(0, qApp, [seen] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            *seen = box->windowTitle() + "|" + box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
}

} // namespace

class TestLogViewer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void filters_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("checks"); // items checked afterwards
        QTest::newRow("opening: every record") << "Meter1" << QStringList{} << cross(kControls, kTypes)
                                               << QStringList{"m_ALLCONTROLS", "m_ALLMESSAGES"};
        QTest::newRow("messages before a control filter: this control")
            << "Meter1" << QStringList{"c_SYSTEM"} << cross({"Meter1"}, {"SYSTEM"})
            << QStringList{"m_ALLCONTROLS", "m_SYSTEMMESSAGES"};
        QTest::newRow("system then all controls") << "Meter1" << QStringList{"c_SYSTEM", "m_ALLCONTROLS"}
                                                  << cross(kControls, kTypes)
                                                  << QStringList{"m_ALLCONTROLS", "m_SYSTEMMESSAGES"};
        QTest::newRow("all controls then limit") << "Meter1" << QStringList{"c_ALLCONTROLS", "m_LIMITMESSAGES"}
                                                 << cross(kControls, {"LIMIT"})
                                                 << QStringList{"m_ALLCONTROLS", "m_LIMITMESSAGES"};
        QTest::newRow("this control then user, all msgs")
            << "Meter1" << QStringList{"m_THISCONTROLONLY", "c_USER", "c_ALLEVENTS"} << cross({"Meter1"}, kTypes)
            << QStringList{"m_THISCONTROLONLY", "m_ALLMESSAGES"};
        for (const QString &name : {QStringLiteral("Control"), QStringLiteral("Type"), kQuoted,
                                    QStringLiteral("50%_A"), QStringLiteral("O'Brien"), QStringLiteral("Kühl")}) {
            QTest::newRow(qPrintable("this control " + name))
                << name << QStringList{"c_THISCONTROLONLY"} << cross({name}, kTypes)
                << QStringList{"m_THISCONTROLONLY", "m_ALLMESSAGES"};
            QTest::newRow(qPrintable("limit of " + name))
                << name << QStringList{"c_THISCONTROLONLY", "c_LIMIT"} << cross({name}, {"LIMIT"})
                << QStringList{"m_THISCONTROLONLY", "m_LIMITMESSAGES"};
        }
        QTest::newRow("no name: nothing") << "" << QStringList{"c_THISCONTROLONLY"} << QStringList{}
                                          << QStringList{"m_THISCONTROLONLY", "m_ALLMESSAGES"};
    }
    void filters()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, commands);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, checks);
        testsupport::StoreDir dir;
        seedLog(dir.path());
        resetContext(name);
        LogViewer v(request);
        v.show();
        for (const QString &c : commands)
            press(v, c);
        QCOMPARE(shown(v), rows);
        QCOMPARE(v.statusText(), QString());
        const char *items[] = {"m_ALLCONTROLS", "m_THISCONTROLONLY", "m_ALLMESSAGES", "m_SYSTEMMESSAGES",
                               "m_USERMESSAGES", "m_LIMITMESSAGES"};
        for (const char *item : items)
            if (checks.contains(item) != checked(v, item))
                QFAIL(qPrintable(QString("%1 checked: %2").arg(item).arg(checked(v, item))));
        // The next opening lists what the current query names.
        LogViewer again(request);
        QCOMPARE(shown(again), rows);
    }

    void pagesAsItScrolls()
    {
        testsupport::StoreDir dir;
        held.reset();
        store::createLogStore(dir.file("LOG.MDB"));
        request.storeLocation = store::StoreLocation::directory(dir.path());
        resetContext("Meter1");
        store::LogRecord r{"Meter1", "USER", "e"};
        for (int i = 0; i < 3 * LogModel::kPageRows + 5; ++i)
            eventLog().append(r);
        eventLog().flush();
        LogViewer v(request);
        v.show();
        auto *grid = v.findChild<QTableView *>("dbgrid_LOG");
        QCOMPARE(grid->model()->rowCount(), LogModel::kPageRows);
        for (int i = 0; i < 10; ++i)
            grid->scrollToBottom(), QCoreApplication::processEvents();
        QCOMPARE(grid->model()->rowCount(), 3 * LogModel::kPageRows + 5);
        QCOMPARE(grid->model()->index(grid->model()->rowCount() - 1, 0).data().toInt(), 3 * LogModel::kPageRows + 5);
    }

    void viewSwitch()
    {
        testsupport::StoreDir dir;
        seedLog(dir.path());
        resetContext("Meter1");
        request.graphType = 5;
        request.intervalText = "Current Recording Interval =  5 Min.";
        for (int i = 0; i < 12; ++i)
            eventLog().append(store::SampleRecord{"Meter1", double(i), i * 1.5, 20.0 - i});
        LogViewer v(request);
        v.show();
        QVERIFY(checked(v, "m_2DAREA") && !checked(v, "m_2DLINE"));
        struct State {
            const char *toggle, *clear, *clearItem;
            bool data;
        };
        const auto expect = [&](const State &s) {
            QCOMPARE(v.findChild<QToolButton *>("c_TOGGLE")->text(), QString(s.toggle));
            QCOMPARE(v.findChild<QToolButton *>("c_CLEAR")->text(), QString(s.clear));
            QCOMPARE(v.findChild<QAction *>("m_CLEARLOG")->text(), QString(s.clearItem));
            QCOMPARE(checked(v, "m_VIEWLOG"), s.data);
            QCOMPARE(checked(v, "m_VIEWDATA"), !s.data);
            QCOMPARE(v.findChild<QAction *>("m_GRAPHTYPE")->isEnabled(), s.data);
            QCOMPARE(v.findChild<QAction *>("m_SELECT")->isEnabled(), !s.data);
            QCOMPARE(v.findChild<QAction *>("m_MESSAGES")->isEnabled(), !s.data);
            for (const char *b : {"c_LIMIT", "c_USER", "c_SYSTEM", "c_ALLEVENTS", "c_THISCONTROLONLY", "c_ALLCONTROLS"})
                QCOMPARE(v.findChild<QToolButton *>(b)->isEnabled(), !s.data);
            QCOMPARE(v.findChild<QLineEdit *>("t_INTERVAL")->isVisible(), s.data);
            QCOMPARE(v.findChild<QTableView *>("dbgrid_LOG")->isVisible(), !s.data);
            QCOMPARE(v.inDataView(), s.data);
        };
        const State log{"View Data", "Clear Log", "&Clear Log", false}, data{"View Log", "Clear Data", "&Clear Data", true};
        expect(log);
        const QString grabs = qEnvironmentVariable("QUELLIX_GRAB_DIR");
        if (!grabs.isEmpty())
            v.grab().save(grabs + "/logviewer-log.png");
        press(v, "c_TOGGLE");
        expect(data);
        press(v, "m_3DBAR");
        QVERIFY(checked(v, "m_3DBAR") && !checked(v, "m_2DAREA"));
        QCOMPARE(v.graphType(), 0);
        QCOMPARE(config::sharedWindowState().viewer.graphType, 0);
        if (!grabs.isEmpty())
            v.grab().save(grabs + "/logviewer-data.png");
        press(v, "m_VIEWLOG"); // "View &Data" again: stays in the data view
        expect(data);
        press(v, "m_VIEWDATA");
        expect(log);
        press(v, "c_TOGGLE");
        press(v, "c_TOGGLE");
        expect(log);
    }

    void clearLog_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("gone");
        QTest::addColumn<QString>("message");
        const QString cleared = "Log File Clear.|The Data In The Log File Has Been Cleared";
        QTest::newRow("one control's SYSTEM") << "Meter1" << QStringList{"c_THISCONTROLONLY", "c_SYSTEM"} << "pw"
                                              << cross({"Meter1"}, {"SYSTEM"}) << cleared;
        QTest::newRow("a control named Control") << "Control" << QStringList{"c_THISCONTROLONLY"} << "pw"
                                                 << cross({"Control"}, kTypes) << cleared;
        QTest::newRow("a name with quotation marks") << kQuoted << QStringList{"c_THISCONTROLONLY", "c_USER"} << "pw"
                                                     << cross({kQuoted}, {"USER"}) << cleared;
        QTest::newRow("percent and underscore") << "50%_A" << QStringList{"c_THISCONTROLONLY"} << "pw"
                                                << cross({"50%_A"}, kTypes) << cleared;
        QTest::newRow("all limits") << "Meter1" << QStringList{"c_ALLCONTROLS", "c_LIMIT"} << "pw"
                                    << cross(kControls, {"LIMIT"}) << cleared;
        QTest::newRow("wrong password, Cancel") << "Meter1" << QStringList{} << "PW" << QStringList{} << "";
        QTest::newRow("nothing in the list") << "" << QStringList{"c_THISCONTROLONLY"} << "pw" << QStringList{} << "";
    }
    void clearLog()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, commands);
        QFETCH(QString, password);
        QFETCH(QStringList, gone);
        QFETCH(QString, message);
        testsupport::StoreDir dir;
        seedLog(dir.path());
        resetContext(name);
        config::setWrongPasswordHandler([](const QString &, const QString &) { return QMessageBox::Cancel; });
        LogViewer v(request);
        v.show();
        for (const QString &c : commands)
            press(v, c);
        QString seen;
        promptdriver::whenPromptOpen([&] {
            QCOMPARE(config::sharedWindowState().config.passwordMode, QString("LOG"));
            QCOMPARE(config::PasswordPrompt::instance().findChild<QLabel *>("l_LABEL")->text(),
                     QString("Type Your Password To Confirm Delete"));
            promptdriver::typeAndEnter(password);
            if (config::PasswordPrompt::instance().isVisible())
                config::PasswordPrompt::instance().findChild<QPushButton *>("c_SETUPOK")->click();
            answerMessage(&seen);
        });
        press(v, "c_CLEAR");
        config::setWrongPasswordHandler(nullptr);
        QVERIFY(!v.isVisible());
        QCOMPARE(seen, message);
        QStringList left;
        for (const QVariantMap &row : testsupport::logRows(dir.path()))
            left << row.value("Control").toString() + ":" + row.value("Type").toString();
        QStringList expected = cross(kControls, kTypes);
        for (const QString &g : gone)
            expected.removeOne(g);
        QCOMPARE(left, expected);
    }

    void clearDataAndExport()
    {
        testsupport::StoreDir dir;
        seedLog(dir.path());
        resetContext(kQuoted);
        for (const QString &control : {kQuoted, QStringLiteral("Meter2")})
            for (int i = 0; i < 3; ++i)
                eventLog().append(store::SampleRecord{control, double(i), 2.5 * i, -i * 1e-3});
        eventLog().flush();
        LogViewer v(request);
        v.show();
        press(v, "c_THISCONTROLONLY");
        press(v, "c_LIMIT");
        // Export of the list, then of the samples, through the menu item.
        QString suggested;
        const QString listFile = dir.file("list.csv"), sampleFile = dir.file("samples.csv");
        setExportPathChooser([&](QWidget *, const QString &s) {
            suggested = s;
            return v.inDataView() ? sampleFile : listFile;
        });
        press(v, "m_EXPORT");
        QCOMPARE(suggested, dir.path() + "/LOG.csv");
        press(v, "c_TOGGLE");
        press(v, "m_EXPORT");
        setExportPathChooser(nullptr);
        QCOMPARE(suggested, dir.path() + "/DATA.csv");
        const auto lines = [](const QString &file) {
            QFile f(file);
            return f.open(QIODevice::ReadOnly) ? f.readAll().split('\n') : QList<QByteArray>{};
        };
        const QList<QByteArray> list = lines(listFile);
        QCOMPARE(list.size(), 3); // header, one record, nothing after the last CR LF
        QCOMPARE(list[0], QByteArray("Num,Control,Time,Type,Event,Input Value,Input Function,Display Value,"
                                     "Output Function,Output Value,Hold Status\r"));
        QVERIFY2(list[1].startsWith("20,\"Say \"\"hi\"\", x\","), list[1]);
        QVERIFY2(list[1].endsWith(",LIMIT,\"LIMIT of Say \"\"hi\"\", x\",0,,0,,0,False\r"), list[1]);
        const QList<QByteArray> samples = lines(sampleFile);
        QCOMPARE(samples.size(), 5);
        QVERIFY2(samples[3].endsWith(",2,5,-0.002\r"), samples[3]);
        QVERIFY2(v.statusText().contains("3 samples exported"), qPrintable(v.statusText()));

        // Clear Data: only the viewed control's samples, and the viewer stays.
        promptdriver::whenPromptOpen([] {
            QCOMPARE(config::sharedWindowState().config.passwordMode, QString("DATA"));
            promptdriver::typeAndEnter("pw");
        });
        press(v, "c_CLEAR");
        QVERIFY(v.isVisible() && v.inDataView());
        QCOMPARE(eventLog().newestSamples(kQuoted, 10).size(), 0);
        QCOMPARE(eventLog().newestSamples("Meter2", 10).size(), 3);
        QCOMPARE(config::sharedWindowState().chartWindow.pointCount, 0);
    }

    void storeChangedByAnotherProgram()
    {
        testsupport::StoreDir dir;
        seedLog(dir.path());
        resetContext("Meter1");
        LogViewer v(request);
        v.show();
        QCOMPARE(testsupport::Raw(dir.file("LOG.MDB")).exec("DELETE FROM LOG WHERE Type = 'USER'"), 0);
        press(v, "c_ALLCONTROLS");
        QCOMPARE(shown(v), cross(kControls, {"SYSTEM", "LIMIT"}));
        // The file goes: the next command says why the list is empty.
        held.reset();
        QVERIFY(QFile::remove(dir.file("LOG.MDB")));
        press(v, "c_LIMIT");
        QVERIFY2(!v.statusText().isEmpty(), "a missing store is reported");
        QCOMPARE(shown(v), QStringList{});
        // A new file in its place is listed by the next command.
        seedLog(dir.path());
        press(v, "c_SYSTEM");
        QCOMPARE(v.statusText(), QString());
        QCOMPARE(shown(v), cross(kControls, {"SYSTEM"}));
    }

    void logsButton()
    {
        testsupport::StoreDir dir;
        auto control = testsupport::registeredControl(
            "Boiler \"A\"", {{Field::GraphType, 5}, {Field::Password, "pw"}, {Field::LogDisplayedEvery, true},
                             {Field::LogEveryTimeInterval, "5 Minutes"}, {Field::Scanrate, 20},
                             {Field::UpperLimitValue, 100.0}, {Field::LowerLimitValue, -5.0}});
        testsupport::EventLog events(control.get());
        int scans = -1;
        QString interval;
        QTimer::singleShot(0, qApp, [&] {
            auto *v = qobject_cast<LogViewer *>(QApplication::activeModalWidget());
            if (!v)
                return;
            interval = v->findChild<QLineEdit *>("t_INTERVAL")->text();
            const int before = events.names().count("ScanComplete");
            QTest::qWait(300);
            scans = events.names().count("ScanComplete") - before;
            press(*v, "c_TOGGLE");
            press(*v, "m_3DLINE");
            press(*v, "m_EXIT");
        });
        QTimer::singleShot(5000, qApp, [] {
            while (QWidget *w = QApplication::activeModalWidget())
                w->close();
        });
        QTest::mouseClick(control->findChild<QPushButton *>("c_LOGS"), Qt::LeftButton);
        const config::ViewerContext &ctx = config::sharedWindowState().viewer;
        QCOMPARE(ctx.controlName, QString("Boiler \"A\""));
        QCOMPARE(ctx.storeLocation, store::StoreLocation::directory(dir.path()));
        QCOMPARE(ctx.limits[0], 100.0);
        QCOMPARE(ctx.limits[3], -5.0);
        QCOMPARE(config::sharedWindowState().config.passwordExpected, QString("pw"));
        QCOMPARE(interval, QString("Current Recording Interval =  5 Min."));
        QVERIFY2(scans >= 5, qPrintable(QString::number(scans)));
        QCOMPARE(testsupport::settingsRow(dir.path(), "Boiler \"A\"").value("Graph Type").toInt(), 2);
        QCOMPARE(events.names().last(), QString("Click"));
    }

    void controlDeletedWhileOpen()
    {
        testsupport::StoreDir dir;
        auto control = testsupport::registeredControl("Meter9");
        bool printed = false;
        QTimer::singleShot(0, qApp, [&] {
            auto *v = qobject_cast<LogViewer *>(QApplication::activeModalWidget());
            if (!v)
                return;
            // No printer here: the pages go to a PDF in the store directory.
            press(*v, "m_PRINT");
            printed = v->statusText().contains(dir.path());
            control.reset();
            v->reject();
        });
        QTest::mouseClick(control->findChild<QPushButton *>("c_LOGS"), Qt::LeftButton);
        QVERIFY(!control);
        QVERIFY(printed);
    }
};

QTEST_MAIN(TestLogViewer)
#include "tst_logviewer.moc"
