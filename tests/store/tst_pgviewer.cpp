// The log viewer on a PostgreSQL server store: the list of one control,
// Clear Log through the password prompt, the data view's fill, CSV export
// and printing to a PDF, for names with quotes, %, _ and letters beyond
// ASCII, and for a control named Control.

#include "pgtestserver.h"

#include "../config/promptdriver.h"
#include "csvexport.h"
#include "logviewer.h"
#include "spool.h"
#include "stores.h"
#include "windowstate.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>

using namespace quellix;
using namespace quellix::logview;

namespace {

const QString kOdd = QStringLiteral("Kessel \"Süd\" O'Brien 50%_Ω");
// What kOdd would match if read as a LIKE pattern.
const QByteArray kOddCsv = "\"Kessel \"\"Süd\"\" O'Brien 50%_Ω\"";
const QString kPatternTwin = QStringLiteral("Kessel \"Süd\" O'Brien 50XYΩ");
const QStringList kControls{"Meter1", "Control", kOdd, kPatternTwin};
const QStringList kTypes{"USER", "SYSTEM", "LIMIT"};

QStringList cross(const QStringList &controls, const QStringList &types)
{
    QStringList rows;
    for (const QString &t : types)
        for (const QString &c : controls)
            rows << c + ":" + t;
    return rows;
}

// What the viewer of a test is opened on.
ViewerRequest request;

// A fresh server store with one record of each type per control and four
// samples for each control, interleaved; the request set to view `name`.
std::shared_ptr<store::Stores> seed(const QString &name)
{
    auto stores = store::openStores(store::StoreLocation::server(pgtest::freshStore()));
    for (const QString &type : kTypes)
        for (const QString &control : kControls)
            stores->log().append(store::LogRecord{control, type, type + " of " + control});
    for (int i = 0; i < 4; ++i)
        for (const QString &control : kControls)
            stores->log().append(store::SampleRecord{control, i + 0.25, 10.0 * i + kControls.indexOf(control), -1e-3 * i});
    stores->log().flush();
    config::sharedWindowState().viewer = {};
    request = {};
    request.storeLocation = stores->location();
    request.controlName = name;
    request.password = "pw";
    return stores;
}

QStringList rowsOf(QAbstractItemModel *m)
{
    QStringList rows;
    for (int r = 0; r < m->rowCount(); ++r)
        rows << m->index(r, 1).data().toString() + ":" + m->index(r, 3).data().toString();
    return rows;
}

void press(LogViewer &v, const QString &name)
{
    if (name.startsWith("m_"))
        v.findChild<QAction *>(name)->trigger();
    else
        QTest::mouseClick(v.findChild<QToolButton *>(name), Qt::LeftButton);
}

} // namespace

class PgViewerTests : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { PGTEST_REQUIRE_SERVER(); }

    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("csvName");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("odd name, system") << kOdd << kOddCsv
                                          << QStringList{"c_THISCONTROLONLY", "c_SYSTEM"} << cross({kOdd}, {"SYSTEM"});
        QTest::newRow("Control, system") << "Control" << QByteArray("Control")
                                         << QStringList{"c_THISCONTROLONLY", "c_SYSTEM"} << cross({"Control"}, {"SYSTEM"});
        QTest::newRow("odd name, all") << kOdd << kOddCsv
                                       << QStringList{"c_THISCONTROLONLY"} << cross({kOdd}, kTypes);
    }
    // The list, its CSV export, its print, the data view's fill, then Clear
    // Log of exactly the listed rows, read back from the server.
    void names()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, csvName);
        QFETCH(QStringList, commands);
        QFETCH(QStringList, listed);
        const auto stores = seed(name);
        QTemporaryDir scratch;
        LogViewer v(request);
        v.show();
        for (const QString &c : commands)
            press(v, c);
        QCOMPARE(rowsOf(v.findChild<QTableView *>("dbgrid_LOG")->model()), listed);
        QCOMPARE(v.statusText(), QString());

        QString suggested;
        setExportPathChooser([&](QWidget *, const QString &s) { return suggested = s, scratch.filePath("list.csv"); });
        press(v, "m_EXPORT");
        setExportPathChooser(nullptr);
        QCOMPARE(suggested, QString("LOG.csv")); // a server has no directory to suggest
        QFile csv(scratch.filePath("list.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QCOMPARE(lines.size(), listed.size() + 2); // header, the rows, nothing after the last CR LF
        for (int i = 0; i < listed.size(); ++i) {
            const QByteArray type = listed[i].section(':', -1).toUtf8();
            QVERIFY2(lines[i + 1].contains("," + csvName + ","), lines[i + 1]);
            QVERIFY2(lines[i + 1].contains("," + type + "," + csvField(type + " of " + name).toUtf8() + ","),
                     lines[i + 1]);
        }

        // No printer here: the pages go to a PDF in the working directory.
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(scratch.path()));
        press(v, "m_PRINT");
        QDir::setCurrent(before);
        const QString prefix = "Printed 1 page to " + scratch.path() + "/";
        QVERIFY2(v.statusText().startsWith(prefix) && v.statusText().endsWith(".pdf"), qPrintable(v.statusText()));
        QProcess text;
        text.start("pdftotext", {v.statusText().mid(QString("Printed 1 page to ").size()), "-"});
        QVERIFY(text.waitForFinished(20000) && text.exitCode() == 0);
        const QString printed = QString::fromUtf8(text.readAllStandardOutput());
        QVERIFY2(printed.contains("Log File For " + name), qPrintable(printed));
        for (const QString &row : listed)
            QVERIFY2(printed.contains(row.section(':', -1) + " of " + name), qPrintable(printed));
        QCOMPARE(printed.count(" of "), listed.size());

        press(v, "c_TOGGLE");
        QVector<QStringList> charted;
        for (const config::SampleText &s : config::sharedWindowState().sampleBuffer)
            charted << QStringList{s.input, s.display, s.output};
        const QString k = QString::number(kControls.indexOf(name));
        // The values as stored texts, in the form the files give them.
        QCOMPARE(charted, (QVector<QStringList>{{" .25", " " + k, " 0"}, {" 1.25", " 1" + k, "-.001"},
                                                {" 2.25", " 2" + k, "-.002"}, {" 3.25", " 3" + k, "-.003"}}));
        QCOMPARE(config::sharedWindowState().chartWindow.pointCount, 4);
        press(v, "c_TOGGLE");

        QString seen;
        promptdriver::whenPromptOpen([&] {
            promptdriver::typeAndEnter("pw");
            QTimer::singleShot(0, qApp, [&] {
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                    seen = box->text(), box->button(QMessageBox::Ok)->click();
            });
        });
        press(v, "c_CLEAR");
        QCOMPARE(seen, QString("The Data In The Log File Has Been Cleared"));
        QStringList left;
        for (const store::LogRow &r : stores->log().page({}, 0, 1000))
            left << r.record.control + ":" + r.record.type;
        QStringList expected = cross(kControls, kTypes);
        for (const QString &g : listed)
            expected.removeOne(g);
        QCOMPARE(left, expected);
    }
};

int main(int argc, char **argv)
{
    QTemporaryDir spool; // outlives the application object, which sends what is queued
    store::setSpoolDirectory(spool.path());
    QApplication app(argc, argv);
    PgViewerTests t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_pgviewer.moc"
