// The alarm prompt window: one shared window, the latest prompt shown,
// flashing, and the acknowledgement record written once per dismissal.

#include "alarmprompt.h"
#include "logstore.h"
#include "storefiles.h"
#include "testsupport.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstdio>

using namespace quellix;

namespace {

QLabel *messageLabel() { return alarmPromptWindow()->findChild<QLabel *>(QStringLiteral("t_MESSAGE")); }
QTimer *flashTimer() { return alarmPromptWindow()->findChild<QTimer *>(QStringLiteral("Timer1")); }
QPushButton *ackButton() { return alarmPromptWindow()->findChild<QPushButton *>(QStringLiteral("Command1")); }
QColor background() { return messageLabel()->palette().color(QPalette::Window); }
QColor foreground() { return messageLabel()->palette().color(QPalette::WindowText); }

// One firing of the flash timer, without waiting for it.
void tick() { QVERIFY(QMetaObject::invokeMethod(flashTimer(), "timeout")); }

PromptSnapshot snapshot(const QString &name, double input, bool logUserActions = true)
{
    PromptSnapshot s;
    s.controlName = name;
    s.inputValue = input;
    s.displayValue = input;
    s.outputValue = input;
    s.inputMultiplier = 1;
    s.inputOffset = 0;
    s.outputMultiplier = 1;
    s.outputOffset = 0;
    s.logUserActions = logUserActions;
    return s;
}

// A store directory with an empty LOG.MDB, made the store directory.
struct LogDir : testsupport::StoreDir {
    LogDir()
    {
        store::createLogStore(file("LOG.MDB"));
        store::setStoreDirectory(path());
    }
};

// A host window that refuses to close, as one asking "really quit?" might.
class RefusingWindow : public QWidget
{
public:
    bool refuse = true;

protected:
    void closeEvent(QCloseEvent *e) override
    {
        if (refuse)
            e->ignore();
    }
};

QPoint topCentre(const QWidget *w)
{
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    return {screen.x() + (screen.width() - w->frameGeometry().width()) / 2, screen.y()};
}

} // namespace

class TestAlarmPrompt : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        destroyAlarmPrompt();
        promptSnapshot() = PromptSnapshot{};
        store::setStoreDirectory(QString());
    }

    void oneWindowShowsTheLatestPrompt()
    {
        LogDir dir;
        QVERIFY(!alarmPromptWindow());

        promptSnapshot() = snapshot("Meter1", 5);
        showAlarmPrompt("Meter1 Lower Limit Reached", "Pump 1 pressure low");
        QWidget *w = alarmPromptWindow();
        QVERIFY(w);
        QCOMPARE(w->objectName(), QString("f_MESSAGE"));
        QVERIFY(w->isWindow());
        QVERIFY(w->isVisible());
        QVERIFY(!w->isModal());
        QCOMPARE(w->windowTitle(), QString("Meter1 Lower Limit Reached"));
        QCOMPARE(messageLabel()->text(), QString("Pump 1 pressure low"));

        // The parts an operator and a maintainer know it by.
        auto *frame = w->findChild<QFrame *>(QStringLiteral("Picture1"));
        QVERIFY(frame);
        QCOMPARE(messageLabel()->parentWidget(), frame);
        QCOMPARE(messageLabel()->toolTip(), QString("Prompt Display Area"));
        QVERIFY(messageLabel()->font().bold());
        QCOMPARE(ackButton()->text(), QString("Acknowledge"));
        QCOMPARE(ackButton()->toolTip(), QString("Propmt Acknowledge Button"));
        QVERIFY(ackButton()->isVisible());

        // A second prompt replaces the first in the same window.
        showAlarmPrompt("Meter2 Upper Limit Reached", "Tank 2 overflow");
        QCOMPARE(alarmPromptWindow(), w);
        QCOMPARE(w->windowTitle(), QString("Meter2 Upper Limit Reached"));
        QCOMPARE(messageLabel()->text(), QString("Tank 2 overflow"));
        int windows = 0;
        for (QWidget *top : QApplication::topLevelWidgets())
            windows += top->objectName() == QLatin1String("f_MESSAGE");
        QCOMPARE(windows, 1);

        // Texts are shown as typed, never as markup.
        showAlarmPrompt("Meter2 Upper Limit Reached", "<b>level</b> > 90 & rising");
        QCOMPARE(messageLabel()->textFormat(), Qt::PlainText);

        // A closed window is reused by the next prompt.
        ackButton()->click();
        QVERIFY(!w->isVisible());
        showAlarmPrompt("Meter3 Caution Range Reached", "");
        QCOMPARE(alarmPromptWindow(), w);
        QVERIFY(w->isVisible());
        QCOMPARE(messageLabel()->text(), QString());
    }

    void placedAtTopCentreWhenLoaded()
    {
        LogDir dir;
        showAlarmPrompt("Meter1 Lower Limit Reached", "low");
        QWidget *w = alarmPromptWindow();
        QCOMPARE(w->pos(), topCentre(w));
        QCOMPARE(w->y(), 0);

        // The operator moved it: a further prompt leaves it where it is...
        w->move(40, 200);
        showAlarmPrompt("Meter1 Upper Limit Reached", "high");
        QCOMPARE(w->pos(), QPoint(40, 200));

        // ...but a prompt that loads it again places it again.
        w->close();
        showAlarmPrompt("Meter1 Upper Limit Reached", "high");
        QCOMPARE(w->pos(), topCentre(w));

        // A long prompt makes the window taller, never wider or off-centre.
        const int width = w->width();
        const int height = w->height();
        showAlarmPrompt("Meter1 Upper Limit Reached", QString("Close valve V12 and call the shift supervisor. ").repeated(6));
        QCOMPARE(w->width(), width);
        QVERIFY(w->height() > height);
        QCOMPARE(w->pos(), topCentre(w));
    }

    void flashesYellowAndBlack()
    {
        LogDir dir;
        const QColor yellow(255, 255, 0);
        const QColor black(0, 0, 0);
        showAlarmPrompt("Meter1 Warning Range Reached", "");  // an empty prompt flashes too

        QCOMPARE(background(), yellow);
        QVERIFY(flashTimer()->isActive());
        QCOMPARE(flashTimer()->interval(), 500);

        const struct { QColor colour; int interval; } expected[] = {
            {black, 300}, {yellow, 1000}, {black, 300}, {yellow, 1000}};
        for (const auto &e : expected) {
            tick();
            QCOMPARE(background(), e.colour);
            QCOMPARE(flashTimer()->interval(), e.interval);
            QVERIFY(flashTimer()->isActive());
            QVERIFY(foreground() != background()); // the text stays readable
        }

        // The real timer drives it too.
        tick(); // black, 300 ms
        QTRY_COMPARE_WITH_TIMEOUT(background(), yellow, 2000);

        // A new prompt while loaded does not restart the flashing...
        tick();
        QCOMPARE(background(), black);
        showAlarmPrompt("Meter1 Warning Range Reached", "again");
        QCOMPARE(background(), black);

        // ...closing stops it, and loading again starts from the design settings.
        alarmPromptWindow()->close();
        QVERIFY(!flashTimer()->isActive());
        showAlarmPrompt("Meter1 Upper Limit Reached", "high");
        QCOMPARE(background(), yellow);
        QCOMPARE(flashTimer()->interval(), 500);
        QVERIFY(flashTimer()->isActive());
    }

    void acknowledgeWritesOneRecordAndCloses()
    {
        LogDir dir;
        PromptSnapshot s = snapshot("Meter1", 95);
        s.displayValue = 95;
        s.outputMultiplier = 2.5;
        s.outputOffset = -3;
        s.outputValue = 234.5;
        s.holdStatus = true;
        promptSnapshot() = s;
        showAlarmPrompt("Meter1 Warning Range Reached", "Check pump");

        QTest::mouseClick(ackButton(), Qt::LeftButton);
        QVERIFY(!alarmPromptWindow()->isVisible());
        QVERIFY(!flashTimer()->isActive());

        const auto rows = testsupport::logRows(dir.path());
        QCOMPARE(rows.size(), 1);
        const QVariantMap &r = rows.first();
        QCOMPARE(r.value("Control").toString(), QString("Meter1"));
        QCOMPARE(r.value("Type").toString(), QString("USER"));
        QCOMPARE(r.value("Event").toString(), QString("Acknowledge Meter1 Warning Range Reached"));
        QCOMPARE(r.value("Input Value").toDouble(), 95.0);
        QCOMPARE(r.value("Input Function").toString(), QString("* 1 + 0"));
        QCOMPARE(r.value("Display Value").toDouble(), 95.0);
        QCOMPARE(r.value("Output Function").toString(), QString("* 2.5 +-3"));
        QCOMPARE(r.value("Output Value").toDouble(), 234.5);
        QCOMPARE(r.value("Hold Status").toBool(), true);
        QVERIFY(!r.value("Time").toString().isEmpty());

        // Nothing more is written later: not by a closed window's close, not
        // by its destruction.
        alarmPromptWindow()->close();
        destroyAlarmPrompt();
        QCOMPARE(testsupport::logRows(dir.path()).size(), 1);
    }

    void noRecordWithoutUserActionLogging()
    {
        LogDir dir;
        promptSnapshot() = snapshot("Meter1", 5, false);
        showAlarmPrompt("Meter1 Lower Limit Reached", "low");
        ackButton()->click();
        QVERIFY(!alarmPromptWindow()->isVisible());
        QCOMPARE(testsupport::logRows(dir.path()).size(), 0);

        showAlarmPrompt("Meter1 Lower Limit Reached", "low");
        alarmPromptWindow()->close();
        QCOMPARE(testsupport::logRows(dir.path()).size(), 0);
    }

    void closeBoxAcknowledgesOnce()
    {
        LogDir dir;
        promptSnapshot() = snapshot("Meter1", 5);
        showAlarmPrompt("Meter1 Lower Limit Reached", "low");
        QVERIFY(alarmPromptWindow()->close());
        QVERIFY(!alarmPromptWindow()->isVisible());
        auto rows = testsupport::logRows(dir.path());
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].value("Event").toString(), QString("Acknowledge Meter1 Lower Limit Reached"));

        // Each dismissal of a shown prompt is one record, whichever way.
        showAlarmPrompt("Meter1 Upper Limit Reached", "high");
        ackButton()->click();
        alarmPromptWindow()->close();
        rows = testsupport::logRows(dir.path());
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[1].value("Event").toString(), QString("Acknowledge Meter1 Upper Limit Reached"));
    }

    void destroyingTheWindowWritesNothing()
    {
        LogDir dir;
        promptSnapshot() = snapshot("Meter1", 5);
        showAlarmPrompt("Meter1 Lower Limit Reached", "low");
        destroyAlarmPrompt();
        QVERIFY(!alarmPromptWindow());
        QCOMPARE(testsupport::logRows(dir.path()).size(), 0);

        // The next prompt gets a fresh, working window.
        showAlarmPrompt("Meter1 Upper Limit Reached", "high");
        QVERIFY(alarmPromptWindow() && alarmPromptWindow()->isVisible());
        ackButton()->click();
        QCOMPARE(testsupport::logRows(dir.path()).size(), 1);
    }

    void processExitWithOpenPromptWritesNothing()
    {
        // A program ending while a prompt is shown: a child process of this
        // test shows one and returns from main.
        LogDir dir;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUELLIX_PROMPT_EXIT_DIR", dir.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("prompt shown"));
        QCOMPARE(testsupport::logRows(dir.path()).size(), 0);
    }

    void refusedQuitKeepsThePrompt()
    {
        LogDir dir;
        promptSnapshot() = snapshot("Meter1", 5);
        showAlarmPrompt("Meter1 Lower Limit Reached", "low");
        RefusingWindow host;
        host.show();

        // The application is asked to quit and a host window refuses it.
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &quit);
        QVERIFY(!quit.isAccepted());
        QVERIFY(host.isVisible());
        QTRY_VERIFY(alarmPromptWindow()->isVisible());
        QCOMPARE(testsupport::logRows(dir.path()).size(), 0);

        // The prompt still works as before.
        ackButton()->click();
        QVERIFY(!alarmPromptWindow()->isVisible());
        QCOMPARE(testsupport::logRows(dir.path()).size(), 1);
        host.refuse = false;
    }

    void unreachableStoreStillPrompts()
    {
        testsupport::StoreDir dir;  // no LOG.MDB
        store::setStoreDirectory(dir.path());
        promptSnapshot() = snapshot("Meter1", 5);
        showAlarmPrompt("Meter1 Lower Limit Reached", "low");
        QVERIFY(alarmPromptWindow()->isVisible());
        QCOMPARE(messageLabel()->text(), QString("low"));
        ackButton()->click();  // an exception here fails the test
        QVERIFY(!alarmPromptWindow()->isVisible());
        QVERIFY(!QFile::exists(dir.file("LOG.MDB")));

        // A file that is no store at all is refused the same way, untouched.
        QFile junk(dir.file("LOG.MDB"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not a store file");
        junk.close();
        showAlarmPrompt("Meter1 Lower Limit Reached", "low");
        QVERIFY(alarmPromptWindow()->isVisible());
        alarmPromptWindow()->close();
        QVERIFY(!alarmPromptWindow()->isVisible());
        QVERIFY(junk.open(QIODevice::ReadOnly));
        QCOMPARE(junk.readAll(), QByteArray("not a store file"));
    }

    void refusedRecordIsDroppedAndTheNextOneWritten()
    {
        LogDir dir;
        // "Control" holds 50 characters: this record is refused by the store.
        promptSnapshot() = snapshot(QString(60, QChar('M')), 5);
        showAlarmPrompt("Long Lower Limit Reached", "low");
        ackButton()->click();
        QVERIFY(!alarmPromptWindow()->isVisible());
        QCOMPARE(testsupport::logRows(dir.path()).size(), 0);

        promptSnapshot() = snapshot("Meter1", 7);
        showAlarmPrompt("Meter1 Lower Limit Reached", "low");
        ackButton()->click();
        const auto rows = testsupport::logRows(dir.path());
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].value("Control").toString(), QString("Meter1"));
    }

    void lastPromptWinsTheAcknowledgement()
    {
        LogDir dir;
        promptSnapshot() = snapshot("Meter1", 5);
        showAlarmPrompt("Meter1 Lower Limit Reached", "Pump 1 pressure low");
        PromptSnapshot second = snapshot("Meter2", 96);
        second.inputMultiplier = 0.5;
        second.inputOffset = 1;
        second.displayValue = 49;
        promptSnapshot() = second;
        showAlarmPrompt("Meter2 Warning Range Reached", "Tank 2 high");

        ackButton()->click();
        QVERIFY(!alarmPromptWindow()->isVisible());
        const auto rows = testsupport::logRows(dir.path());
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].value("Control").toString(), QString("Meter2"));
        QCOMPARE(rows[0].value("Event").toString(), QString("Acknowledge Meter2 Warning Range Reached"));
        QCOMPARE(rows[0].value("Input Value").toDouble(), 96.0);
        QCOMPARE(rows[0].value("Display Value").toDouble(), 49.0);
        QCOMPARE(rows[0].value("Input Function").toString(), QString("* .5 + 1"));
    }

    void followsTheStoreDirectory()
    {
        // Every prompt points the window's cursor at the current store
        // directory's LOG.MDB.
        LogDir first;
        promptSnapshot() = snapshot("Meter1", 5);
        showAlarmPrompt("Meter1 Lower Limit Reached", "low");
        ackButton()->click();
        {
            LogDir second;
            showAlarmPrompt("Meter1 Upper Limit Reached", "high");
            ackButton()->click();
            QCOMPARE(testsupport::logRows(second.path()).size(), 1);
        }
        QCOMPARE(testsupport::logRows(first.path()).size(), 1);
    }
};

// The child of processExitWithOpenPromptWritesNothing: shows a prompt that
// would be logged and ends the program with it open.
static int promptAndExit(int argc, char **argv, const QString &dir)
{
    QApplication app(argc, argv);
    QDir::setCurrent(dir);
    store::setStoreDirectory(dir);
    promptSnapshot() = snapshot("Meter1", 5);
    showAlarmPrompt("Meter1 Lower Limit Reached", "low");
    if (!alarmPromptWindow() || !alarmPromptWindow()->isVisible())
        return 2;
    QTimer::singleShot(50, &app, &QCoreApplication::quit);
    app.exec();
    std::puts("prompt shown");
    return 0;
}

int main(int argc, char **argv)
{
    const QString exitDir = qEnvironmentVariable("QUELLIX_PROMPT_EXIT_DIR");
    if (!exitDir.isEmpty())
        return promptAndExit(argc, argv, exitDir);
    QApplication app(argc, argv);
    TestAlarmPrompt test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_alarmprompt.moc"
