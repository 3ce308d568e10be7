// The event-program browser: the join rule, the window's elements, and the
// window driven as an operator would (click a file, type, OK, Cancel,
// another directory, another drive).

#include "configcontext.h"
#include "programbrowser.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QFileSystemModel>

#include <functional>

using namespace quellix::config;

namespace {

template <typename T>
T *child(QWidget *w, const char *name)
{
    return w ? w->findChild<T *>(QLatin1String(name)) : nullptr;
}

/// Opens the browser and runs `steps` on it once it is shown; a watchdog
/// closes it when the steps leave it open. Returns whether the browser
/// closed by itself (false: the watchdog had to close it).
bool browse(const std::function<void(QDialog *)> &steps)
{
    bool watchdogFired = false;
    QTimer::singleShot(0, qApp, [steps] {
        if (auto *w = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            steps(w);
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        watchdogFired = true;
        while (QWidget *w = QApplication::activeModalWidget())
            w->close();
    });
    watchdog.start(3000);
    runProgramBrowser(nullptr);
    return !watchdogFired;
}

} // namespace

class TestProgramBrowser : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString previous = QDir::currentPath();

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("apps")));
        for (const char *name : {"PUMP.EXE", "run.sh", ".hidden", "apps/alarm"}) {
            QFile f(dir.filePath(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir::setCurrent(dir.path()));
    }
    void cleanupTestCase() { QDir::setCurrent(previous); }
    void init() { chosenProgramPath() = QStringLiteral("earlier pick"); }

    void join_data()
    {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("path");
        QTest::newRow("plain") << "/opt/APPS" << "PUMP.EXE" << "/opt/APPS/PUMP.EXE";
        QTest::newRow("root") << "/" << "pump" << "/pump";
        QTest::newRow("directory part kept") << "/opt" << "bin/pump" << "/opt/bin/pump";
        QTest::newRow("blanks kept") << "/opt" << " pump x " << "/opt/ pump x ";
    }
    void join()
    {
        QFETCH(QString, directory);
        QFETCH(QString, name);
        QFETCH(QString, path);
        QCOMPARE(joinProgramPath(directory, name), path);
    }

    // Opens on the process's directory: its drive, every file, no name.
    void opensOnCurrentDirectory()
    {
        QString caption, drive, treeDir, fileName = QStringLiteral("x");
        QStringList files, tips;
        bool labelled = false;
        QVERIFY(browse([&](QDialog *w) {
            caption = w->windowTitle() + QLatin1Char('|') + w->objectName();
            drive = child<QComboBox>(w, "DRIVEWINDOW")->currentData().toString();
            auto *tree = child<QTreeView>(w, "DIRWINDOW");
            treeDir = static_cast<QFileSystemModel *>(tree->model())->filePath(tree->currentIndex());
            auto *list = child<QListWidget>(w, "FILEWINDOW");
            for (int i = 0; i < list->count(); ++i)
                files << list->item(i)->text();
            fileName = child<QLineEdit>(w, "t_FILENAME")->text();
            for (const char *n : {"DRIVEWINDOW", "DIRWINDOW", "FILEWINDOW", "t_FILENAME", "c_OKEXPORT", "c_CANCELEXPORT"})
                tips << child<QWidget>(w, n)->toolTip();
            tips << child<QPushButton>(w, "c_OKEXPORT")->text() << child<QPushButton>(w, "c_CANCELEXPORT")->text();
            for (QLabel *l : w->findChildren<QLabel *>())
                labelled = labelled || l->text() == QLatin1String("Application to Activate");
            child<QPushButton>(w, "c_CANCELEXPORT")->click();
        }));
        QCOMPARE(caption, QStringLiteral("Browse For Application To Activate on Alarm|f_BROWSE"));
        QCOMPARE(drive, QStorageInfo(dir.path()).rootPath());
        QCOMPARE(treeDir, dir.path());
        QCOMPARE(files, QStringList({".hidden", "PUMP.EXE", "run.sh"}));
        QCOMPARE(fileName, QString());
        QCOMPARE(tips, QStringList({"Select Drive", "Select Directory", "Select Filename", "Application File Name",
                                    "Press To Accept Changes", "Press To Cancel Changes", "&OK", "&CANCEL"}));
        QVERIFY(labelled);
    }

    // What the operator does, and the chosen path it leaves.
    void operatorPicks_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<QString>("path"); // "%1" is the scratch directory
        QTest::newRow("click file, OK") << "click PUMP.EXE;ok" << true << "%1/PUMP.EXE";
        QTest::newRow("typed name with directory part") << "type sub/x y;ok" << true << "%1/sub/x y";
        QTest::newRow("click then type over") << "click run.sh;type other;ok" << true << "%1/other";
        QTest::newRow("OK with empty name stays open") << "ok" << false << "earlier pick";
        QTest::newRow("cancel after earlier pick") << "click PUMP.EXE;cancel" << true << "";
        QTest::newRow("escape") << "click PUMP.EXE;escape" << true << "";
        QTest::newRow("close box") << "click PUMP.EXE;close" << true << "";
        QTest::newRow("other directory") << "dir apps;click alarm;ok" << true << "%1/apps/alarm";
    }
    void operatorPicks()
    {
        QFETCH(QString, action);
        QFETCH(bool, closes);
        QFETCH(QString, path);
        QString typedAfterClick, pathAfterSteps;
        bool openAfterSteps = true;
        QVERIFY(browse([&](QDialog *w) {
            auto *list = child<QListWidget>(w, "FILEWINDOW");
            auto *name = child<QLineEdit>(w, "t_FILENAME");
            for (const QString &step : action.split(QLatin1Char(';'))) {
                const QString verb = step.section(QLatin1Char(' '), 0, 0);
                const QString arg = step.section(QLatin1Char(' '), 1);
                if (verb == QLatin1String("click")) {
                    const auto found = list->findItems(arg, Qt::MatchExactly);
                    if (found.isEmpty())
                        return;
                    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found.first()).center());
                    typedAfterClick = name->text();
                } else if (verb == QLatin1String("type")) {
                    name->clear();
                    QTest::keyClicks(name, arg);
                } else if (verb == QLatin1String("dir")) {
                    auto *tree = child<QTreeView>(w, "DIRWINDOW");
                    auto *model = static_cast<QFileSystemModel *>(tree->model());
                    tree->setCurrentIndex(model->index(dir.filePath(arg)));
                } else if (verb == QLatin1String("ok")) {
                    child<QPushButton>(w, "c_OKEXPORT")->click();
                } else if (verb == QLatin1String("cancel")) {
                    child<QPushButton>(w, "c_CANCELEXPORT")->click();
                } else if (verb == QLatin1String("escape")) {
                    QTest::keyClick(w, Qt::Key_Escape);
                } else if (verb == QLatin1String("close")) {
                    w->close();
                }
            }
            pathAfterSteps = chosenProgramPath();
            openAfterSteps = w->isVisible();
            if (openAfterSteps)
                w->reject();
        }));
        QCOMPARE(openAfterSteps, !closes);
        QCOMPARE(pathAfterSteps, path.contains(QLatin1String("%1")) ? path.arg(dir.path()) : path);
        if (action.startsWith(QLatin1String("click PUMP")))
            QCOMPARE(typedAfterClick, QStringLiteral("PUMP.EXE"));
    }
};

QTEST_MAIN(TestProgramBrowser)
#include "tst_programbrowser.moc"
