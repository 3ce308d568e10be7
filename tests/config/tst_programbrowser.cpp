// The event-program browser: the join rule, then the window driven as an
// operator would (click a file, type, another directory, OK, Cancel, Escape,
// the close box) and the chosen path each leaves.

#include "programbrowser.h"
#include "windowstate.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using namespace quellix::config;

class TestProgramBrowser : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString previous = QDir::currentPath();

    // Runs `steps` on the open browser, then closes it if they left it
    // open; a watchdog closes whatever is still modal. What the steps saw
    // comes back in `seen`, the path kept as chosen and whether the window
    // closed, then the path the browser returned.
    QStringList browse(const QString &steps)
    {
        QStringList seen;
        QTimer::singleShot(0, qApp, [&] {
            auto *w = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (!w)
                return;
            auto *files = w->findChild<QListWidget *>("FILEWINDOW");
            auto *name = w->findChild<QLineEdit *>("t_FILENAME");
            auto *tree = w->findChild<QTreeView *>("DIRWINDOW");
            auto *model = static_cast<QFileSystemModel *>(tree->model());
            for (const QString &step : steps.split(';', Qt::SkipEmptyParts)) {
                const QString verb = step.section(' ', 0, 0), arg = step.section(' ', 1);
                if (verb == "click" && !files->findItems(arg, Qt::MatchExactly).isEmpty()) {
                    const QRect at = files->visualItemRect(files->findItems(arg, Qt::MatchExactly).first());
                    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, at.center());
                    seen << "name " + name->text();
                } else if (verb == "type") {
                    name->clear();
                    QTest::keyClicks(name, arg);
                } else if (verb == "dir") {
                    tree->setCurrentIndex(model->index(dir.filePath(arg)));
                } else if (verb == "ok" || verb == "cancel") {
                    w->findChild<QPushButton *>(verb == "ok" ? "c_OKEXPORT" : "c_CANCELEXPORT")->click();
                } else if (verb == "escape") {
                    QTest::keyClick(w, Qt::Key_Escape);
                } else if (verb == "close") {
                    w->close();
                } else if (verb == "look") {
                    seen << w->objectName() + ": " + w->windowTitle()
                         << w->findChild<QComboBox *>("DRIVEWINDOW")->currentData().toString()
                         << model->filePath(tree->currentIndex());
                    for (int i = 0; i < files->count(); ++i)
                        seen << files->item(i)->text();
                    for (const char *n : {"DRIVEWINDOW", "DIRWINDOW", "FILEWINDOW", "t_FILENAME", "c_OKEXPORT", "c_CANCELEXPORT"})
                        seen << w->findChild<QWidget *>(n)->toolTip();
                    for (QLabel *l : w->findChildren<QLabel *>())
                        if (l->buddy() == name)
                            seen << l->text() + ": " + name->text();
                    seen << w->findChild<QPushButton *>("c_OKEXPORT")->text() << w->findChild<QPushButton *>("c_CANCELEXPORT")->text();
                }
            }
            seen << "path " + sharedWindowState().chosenProgramPath << (w->isVisible() ? "open" : "closed");
            if (w->isVisible())
                w->reject();
        });
        QTimer watchdog;
        connect(&watchdog, &QTimer::timeout, [&] {
            seen << "watchdog";
            while (QWidget *w = QApplication::activeModalWidget())
                w->close();
        });
        watchdog.start(3000);
        seen << "returned " + runProgramBrowser(nullptr);
        return seen;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir.isValid() && QDir(dir.path()).mkdir("apps"));
        for (const char *name : {"PUMP.EXE", "run.sh", ".hidden", "apps/alarm"}) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QVERIFY(QDir::setCurrent(dir.path()));
    }
    void cleanupTestCase() { QDir::setCurrent(previous); }
    void init() { sharedWindowState().chosenProgramPath = "earlier pick"; }

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

    // A process whose directory was deleted opens on the home directory;
    // a drive opens on the start directory when it holds it, else its root.
    void startAndDriveDirectory()
    {
        QTemporaryDir gone;
        QVERIFY(QDir::setCurrent(gone.path()) && gone.remove());
        QCOMPARE(browserStartDirectory(), QDir::homePath());
        QVERIFY(QDir::setCurrent(dir.path()));
        QCOMPARE(browserStartDirectory(), dir.path());
        const QString root = QStorageInfo(dir.path()).rootPath();
        QCOMPARE(browserDriveDirectory(root, dir.path()), dir.path());
        QCOMPARE(browserDriveDirectory("/no/such/drive/", dir.path()), QStringLiteral("/no/such/drive/"));
    }

    // Opens on the process's directory and drive with every file listed,
    // hidden ones too, and no name.
    void opensOnCurrentDirectory()
    {
        QCOMPARE(browse("look;cancel"),
                 QStringList({"f_BROWSE: Browse For Application To Activate on Alarm",
                              QStorageInfo(dir.path()).rootPath(), dir.path(), ".hidden", "PUMP.EXE", "run.sh",
                              "Select Drive", "Select Directory", "Select Filename", "Application File Name",
                              "Press To Accept Changes", "Press To Cancel Changes", "Application to Activate: ", "&OK",
                              "&CANCEL", "path ", "closed", "returned "}));
    }

    // What the operator does, and what it leaves ("%1" the directory).
    void operatorPicks_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("seen");
        QTest::newRow("click, OK") << "click PUMP.EXE;ok" << QStringList{"name PUMP.EXE", "path %1/PUMP.EXE", "closed", "returned %1/PUMP.EXE"};
        QTest::newRow("typed with directory part") << "type sub/x y;ok" << QStringList{"path %1/sub/x y", "closed", "returned %1/sub/x y"};
        QTest::newRow("click, type over") << "click run.sh;type other;ok"
                                          << QStringList{"name run.sh", "path %1/other", "closed", "returned %1/other"};
        QTest::newRow("OK with no name stays open") << "ok" << QStringList{"path earlier pick", "open", "returned "};
        QTest::newRow("cancel") << "click PUMP.EXE;cancel" << QStringList{"name PUMP.EXE", "path ", "closed", "returned "};
        QTest::newRow("escape") << "click PUMP.EXE;escape" << QStringList{"name PUMP.EXE", "path ", "closed", "returned "};
        QTest::newRow("close box") << "click PUMP.EXE;close" << QStringList{"name PUMP.EXE", "path ", "closed", "returned "};
        QTest::newRow("other directory") << "dir apps;click alarm;ok"
                                         << QStringList{"name alarm", "path %1/apps/alarm", "closed", "returned %1/apps/alarm"};
    }
    void operatorPicks()
    {
        QFETCH(QString, steps);
        QFETCH(QStringList, seen);
        QCOMPARE(browse(steps), seen.replaceInStrings("%1", dir.path()));
    }
};

QTEST_MAIN(TestProgramBrowser)
#include "tst_programbrowser.moc"
