// Printing the viewer's list and chart: page counts and labels, then real
// prints to PDF (no printer is configured here) read back with pdftotext.

#include "logprint.h"
#include "printrules.h"
#include "stores.h"
#include "testsupport.h"
#include "windowstate.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

using namespace quellix;
using namespace quellix::logview;

namespace {

// The stores of the viewed directory, held while a test uses them.
std::shared_ptr<store::Stores> &viewedStores()
{
    static std::shared_ptr<store::Stores> stores;
    return stores;
}
store::EventLog &eventLog() { return viewedStores()->log(); }

// What the viewer asks to print.
PrintRequest job;

// A fresh LOG.MDB in `dir`, viewed for `control` with the list `filter`.
void viewStore(const QString &dir, const QString &control, const store::LogFilter &filter)
{
    store::createLogStore(dir + "/LOG.MDB");
    job = {};
    job.storeLocation = store::StoreLocation::directory(dir);
    job.controlName = control;
    job.filter = filter;
    viewedStores() = store::openStores(job.storeLocation);
}

// Appends records with the events "ev:<tag>:<i>" for i = from…to.
void addRecords(const QString &control, const QString &type, const QString &tag, int from, int to)
{
    for (int i = from; i <= to; ++i) {
        store::LogRecord r{control, type, QStringLiteral("ev:%1:%2").arg(tag).arg(i)};
        eventLog().append(r);
    }
    eventLog().flush();
}
QStringList tagged(const QString &tag, int from, int to)
{
    QStringList events;
    for (int i = from; i <= to; ++i)
        events << QStringLiteral("%1:%2").arg(tag).arg(i);
    return events;
}

// The PDF a print reported, as text, one entry per page.
QStringList printedPages(const QString &message)
{
    static const QRegularExpression to("^Printed \\d+ pages? to (.+\\.pdf)$");
    const QRegularExpressionMatch m = to.match(message);
    if (!m.hasMatch() || !QFile::exists(m.captured(1)))
        return {"no PDF in: " + message};
    QProcess p;
    p.start("pdftotext", {"-layout", m.captured(1), "-"});
    p.waitForFinished(30000);
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split('\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// The "<tag>:<i>" of the records on a page, in printed order.
QStringList eventsOn(const QString &page)
{
    QStringList events;
    static const QRegularExpression ev("ev:(\\w+:\\d+)");
    for (auto it = ev.globalMatch(page); it.hasNext();)
        events << it.next().captured(1);
    return events;
}

} // namespace

class TestLogPrint : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::StoreDir> dir;

private Q_SLOTS:
    void init() { dir = std::make_unique<testsupport::StoreDir>(); }
    void cleanup()
    {
        viewedStores().reset();
        dir.reset();
    }

    void rules_data()
    {
        QTest::addColumn<qint64>("records");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("lastLabel");
        QTest::newRow("none") << qint64(0) << 0 << "";
        QTest::newRow("one") << qint64(1) << 1 << "Page # 1 Of 1";
        QTest::newRow("35") << qint64(35) << 1 << "Page # 1 Of 1";
        QTest::newRow("36") << qint64(36) << 2 << "Page # 2 Of 2";
        QTest::newRow("71") << qint64(71) << 3 << "Page # 3 Of 3";
        QTest::newRow("10000") << qint64(10000) << 286 << "Page # 286 Of 286";
    }
    void rules()
    {
        QFETCH(qint64, records);
        QFETCH(int, pages);
        QFETCH(QString, lastLabel);
        QCOMPARE(printPageCount(records), pages);
        QCOMPARE(pages > 0 ? printPageLabel(pages, pages) : QString(), lastLabel);
        const QDateTime when(QDate(2026, 12, 9), QTime(8, 5, 7));
        QCOMPARE(printTimeLabel(when), QStringLiteral("Printed @ 12/09/2026 08:05:07 AM"));
        QCOMPARE(printFileName(when, 2), QStringLiteral("Log Print 20261209-080507 (2).pdf"));
    }

    // 35 rows a page, in order, each page labelled; the third page of 71
    // starts at row 71. A second print in the same second gets its own file.
    void listPages_data()
    {
        QTest::addColumn<int>("records");
        QTest::newRow("70") << 70;
        QTest::newRow("71") << 71;
    }
    void listPages()
    {
        QFETCH(int, records);
        viewStore(dir->path(), "Meter1", {"Meter1", {}});
        addRecords("Meter1", "USER", "row", 1, 40);
        addRecords("Other", "USER", "foreign", 1, 3);
        addRecords("Meter1", "USER", "row", 41, records);
        const QString message = printViewerContents(job);
        QVERIFY2(message.contains(dir->path() + "/Log Print "), qPrintable(message));
        const QStringList pages = printedPages(message);
        const int n = printPageCount(records);
        QCOMPARE(pages.size(), n);
        for (int p = 1; p <= n; ++p) {
            for (const QString &label : {QString("Log File For Meter1"), QStringLiteral("Page # %1 Of %2").arg(p).arg(n),
                                         QString("Printed @ "), QString("Hold Status")})
                QVERIFY2(pages[p - 1].contains(label), qPrintable(label));
            QCOMPARE(eventsOn(pages[p - 1]), tagged("row", (p - 1) * 35 + 1, std::min(p * 35, records)));
        }
        QVERIFY(printViewerContents(job) != message);
    }

    // The current list decides: one control's LIMIT records, or a name with
    // quotation marks, pattern signs or non-ASCII letters.
    void listFollowsCurrentFilter_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("type");
        QTest::newRow("one control's limits") << "Meter1" << "LIMIT";
        QTest::newRow("quotation marks") << "Say \"hi\", x" << "";
        QTest::newRow("apostrophe") << "O'Brien" << "";
        QTest::newRow("percent and underscore") << "50%_A" << "";
        QTest::newRow("non-ASCII") << "Kühl" << "";
        QTest::newRow("column name") << "Control" << "";
    }
    void listFollowsCurrentFilter()
    {
        QFETCH(QString, name);
        QFETCH(QString, type);
        const QStringList controls{"Meter1", "Say \"hi\", x", "O'Brien", "50%_A", "50XYA", "Kühl", "Kuhl", "Control"};
        viewStore(dir->path(), name, {name, type});
        QStringList expected;
        for (const char *t : {"USER", "LIMIT"})
            for (int c = 0; c < controls.size(); ++c) {
                const QString tag = QStringLiteral("c%1%2").arg(c).arg(t);
                addRecords(controls[c], t, tag, 1, 2);
                if (controls[c] == name && (type.isEmpty() || type == t))
                    expected << tagged(tag, 1, 2);
            }
        const QStringList pages = printedPages(printViewerContents(job));
        QCOMPARE(pages.size(), 1);
        QVERIFY2(pages[0].contains("Log File For " + name), qPrintable(pages[0]));
        QCOMPARE(eventsOn(pages[0]), expected);
    }

    void emptyListPrintsNothing()
    {
        viewStore(dir->path(), "Meter1", {"Nobody", {}});
        addRecords("Meter1", "USER", "row", 1, 3);
        QCOMPARE(printViewerContents(job), QStringLiteral("Nothing to print: the list is empty."));
        job.filter = {};
        job.listNone = true;
        QCOMPARE(printViewerContents(job), QStringLiteral("Nothing to print: the list is empty."));
        QCOMPARE(QDir(dir->path()).entryList({"*.pdf"}), QStringList());
    }

    // A log that cannot be read is a failure the status line tells, with no PDF.
    void unreadableLogReportsFailure()
    {
        QFile garbage(dir->file("LOG.MDB"));
        QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write(QByteArray(4096, 'x')) == 4096);
        garbage.close();
        job = {};
        job.storeLocation = store::StoreLocation::directory(dir->path());
        const QString message = printViewerContents(job);
        QVERIFY2(message.startsWith("Printing failed: "), qPrintable(message));
        QCOMPARE(QDir(dir->path()).entryList({"*.pdf"}), QStringList());
    }

    // The chart page: the viewer's style, selectors and scrolled window.
    // 2D Line draws the three series and the four limit lines whatever the
    // selectors; another style only the checked series.
    void chartPage_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("unchecked"); // selectors the operator cleared
        QTest::addColumn<QString>("legend");
        QTest::newRow("2D Line") << 3 << "Input Value" << "Input Display Output Upper Warning Caution Lower";
        QTest::newRow("2D Bar, display only") << 1 << "Input Value,Output Value" << "Display";
    }
    void chartPage()
    {
        QFETCH(int, style);
        QFETCH(QString, unchecked);
        QFETCH(QString, legend);
        viewStore(dir->path(), "Meter1", {});
        job.dataView = true;
        job.limits = {100, 90, 75, 0};
        job.style = style;
        const char *const selectors[] = {"Input Value", "Display Value", "Output Value"};
        for (int i = 0; i < 3; ++i)
            job.selected[size_t(i)] = !unchecked.split(',').contains(selectors[i]);
        for (int i = 1; i <= 30; ++i)
            eventLog().append(store::SampleRecord{"Meter1", double(i), 2.0 * i, 3.0 * i});
        eventLog().append(store::SampleRecord{"Other", 1, 2, 3});
        eventLog().flush();
        config::sharedWindowState().chartWindow = {30, 21, 25, 5, 3}; // scrolled to points 21 to 25
        const QStringList pages = printedPages(printViewerContents(job));
        QCOMPARE(pages.size(), 1);
        QVERIFY2(pages[0].contains("Recorded Data For Meter1"), qPrintable(pages[0]));
        // The last lines: the row labels of the window (no others), the legend.
        const QStringList lines = pages[0].trimmed().split('\n');
        QCOMPARE(lines.value(lines.size() - 3).simplified(), QStringLiteral("21 22 23 24 25"));
        QCOMPARE(lines.last().simplified(), legend);
    }
};

QTEST_MAIN(TestLogPrint)
#include "tst_logprint.moc"
