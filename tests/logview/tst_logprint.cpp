// Printing the viewer's list and chart: page counts and labels, then real
// prints to PDF (no printer is configured here) read back with pdftotext.

#include "configcontext.h"
#include "dataview.h"
#include "logprint.h"
#include "printrules.h"
#include "stores.h"
#include "testsupport.h"

#include <QCheckBox>
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

// A fresh LOG.MDB in `dir`, viewed for `control` with the list `filter`.
void viewStore(const QString &dir, const QString &control, const store::LogFilter &filter)
{
    store::createLogStore(dir + "/LOG.MDB");
    config::ViewerContext &ctx = config::viewerContext();
    ctx = {};
    ctx.storeLocation = store::StoreLocation::directory(dir);
    ctx.controlName = control;
    ctx.currentFilter = filter;
    viewedStores() = store::openStores(ctx.storeLocation);
}

// Appends records "<tag> <i>" for i = 1…n.
void addRecords(const QString &control, const QString &type, const QString &tag, int n)
{
    for (int i = 1; i <= n; ++i) {
        store::LogRecord r;
        r.control = control;
        r.type = type;
        r.event = tag + " " + QString::number(i);
        eventLog().append(r);
    }
    eventLog().flush();
}

// The PDF a print reported, as text, one entry per page.
QStringList printedPages(const QString &message)
{
    static const QRegularExpression to(QStringLiteral("^Printed \\d+ pages? to (.+\\.pdf)$"));
    const QRegularExpressionMatch m = to.match(message);
    if (!m.hasMatch() || !QFile::exists(m.captured(1)))
        return {QStringLiteral("no PDF in: ") + message};
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), m.captured(1), QStringLiteral("-")});
    if (!p.waitForFinished(30000))
        return {QStringLiteral("pdftotext did not finish")};
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// The numbers i of the records "<tag> i" on a page, in printed order.
QList<int> rowsOn(const QString &page, const QString &tag)
{
    QList<int> rows;
    const QRegularExpression re(QRegularExpression::escape(tag) + QStringLiteral(" (\\d+)"));
    for (auto it = re.globalMatch(page); it.hasNext();)
        rows << it.next().captured(1).toInt();
    return rows;
}

QList<int> range(int from, int to)
{
    QList<int> r;
    for (int i = from; i <= to; ++i)
        r << i;
    return r;
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
        QTest::newRow("70") << qint64(70) << 2 << "Page # 2 Of 2";
        QTest::newRow("71") << qint64(71) << 3 << "Page # 3 Of 3";
        QTest::newRow("10000") << qint64(10000) << 286 << "Page # 286 Of 286";
    }
    void rules()
    {
        QFETCH(qint64, records);
        QFETCH(int, pages);
        QFETCH(QString, lastLabel);
        QCOMPARE(printPageCount(records), pages);
        if (pages > 0)
            QCOMPARE(printPageLabel(pages, pages), lastLabel);
        QCOMPARE(printTitle("Kühl \"1\""), QStringLiteral("Log File For Kühl \"1\""));
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
        addRecords("Meter1", "USER", "row", records);
        addRecords("Other", "USER", "foreign", 3);
        const QString message = printViewerContents(false, nullptr);
        QVERIFY2(message.contains(dir->path() + "/Log Print "), qPrintable(message));
        const QStringList pages = printedPages(message);
        const int n = printPageCount(records);
        QCOMPARE(pages.size(), n);
        for (int p = 1; p <= n; ++p) {
            const QString &page = pages[p - 1];
            QVERIFY2(page.contains("Log File For Meter1"), qPrintable(page));
            QVERIFY(page.contains(QStringLiteral("Page # %1 Of %2").arg(p).arg(n)));
            QVERIFY(page.contains("Printed @ "));
            QVERIFY(page.contains("Hold Status"));
            QCOMPARE(rowsOn(page, "row"), range((p - 1) * 35 + 1, std::min(p * 35, records)));
            QVERIFY(!page.contains("foreign"));
        }
        QVERIFY(printViewerContents(false, nullptr) != message);
    }

    // The current list decides: one control's LIMIT records; names with
    // quotation marks, pattern signs or non-ASCII letters; nothing at all.
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
        for (int c = 0; c < controls.size(); ++c)
            for (const char *t : {"USER", "LIMIT"})
                addRecords(controls[c], t, QStringLiteral("c%1%2").arg(c).arg(QLatin1String(t)), 2);
        const QStringList pages = printedPages(printViewerContents(false, nullptr));
        QCOMPARE(pages.size(), 1);
        QVERIFY2(pages[0].contains("Log File For " + name), qPrintable(pages[0]));
        const QString mine = QStringLiteral("c%1").arg(controls.indexOf(name));
        const QStringList types = type.isEmpty() ? QStringList{"USER", "LIMIT"} : QStringList{type};
        int printed = 0;
        for (int c = 0; c < controls.size(); ++c)
            for (const char *t : {"USER", "LIMIT"}) {
                const QString tag = QStringLiteral("c%1%2").arg(c).arg(QLatin1String(t));
                const bool wanted = tag.startsWith(mine) && types.contains(QLatin1String(t));
                QCOMPARE(rowsOn(pages[0], tag), wanted ? range(1, 2) : QList<int>());
                printed += rowsOn(pages[0], tag).size();
            }
        QCOMPARE(printed, 2 * int(types.size()));
    }

    void emptyListPrintsNothing()
    {
        viewStore(dir->path(), "Meter1", {"Nobody", {}});
        addRecords("Meter1", "USER", "row", 3);
        QCOMPARE(printViewerContents(false, nullptr), QStringLiteral("Nothing to print: the list is empty."));
        config::viewerContext().currentFilter = {};
        config::viewerContext().currentListNone = true;
        QCOMPARE(printViewerContents(false, nullptr), QStringLiteral("Nothing to print: the list is empty."));
        QCOMPARE(QDir(dir->path()).entryList({"*.pdf"}), QStringList());
    }

    // The chart page: the viewer's style, selectors and window. 2D Line
    // draws the three series and the four limit lines whatever the
    // selectors; another style only the checked series.
    void chartPage_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("unchecked"); // selectors the operator cleared
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("absent");
        QTest::newRow("2D Line") << 3 << "Input Value"
                                 << QStringList{"Input", "Display", "Output", "Upper", "Warning", "Caution", "Lower"}
                                 << QStringList{};
        QTest::newRow("2D Bar, display only") << 1 << "Input Value,Output Value" << QStringList{"Display"}
                                              << QStringList{"Input", "Output", "Upper", "Lower"};
    }
    void chartPage()
    {
        QFETCH(int, style);
        QFETCH(QString, unchecked);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, absent);
        viewStore(dir->path(), "Meter1", {});
        config::viewerContext().limits = {100, 90, 75, 0};
        for (int i = 1; i <= 30; ++i)
            eventLog().append(store::SampleRecord{"Meter1", double(i), 2.0 * i, 3.0 * i});
        eventLog().append(store::SampleRecord{"Other", 1, 2, 3});
        eventLog().flush();
        // The operator scrolled to points 21 to 25.
        config::chartWindow() = {30, 21, 25, 5, 3};
        DataView view;
        view.setStyle(style);
        for (QCheckBox *box : view.findChildren<QCheckBox *>("chk_SELECTOR"))
            box->setChecked(!unchecked.split(',').contains(box->text()));
        const QString message = printViewerContents(true, &view);
        QVERIFY2(message.startsWith("Printed 1 page to "), qPrintable(message));
        const QStringList pages = printedPages(message);
        QCOMPARE(pages.size(), 1);
        QVERIFY(pages[0].contains("Recorded Data For Meter1"));
        for (const QString &text : shown)
            QVERIFY2(pages[0].contains(text), qPrintable(text));
        for (const QString &text : absent)
            QVERIFY2(!pages[0].contains(text), qPrintable(text));
        // The row labels of the window, and no others.
        QStringList labels;
        for (const QString &line : pages[0].split('\n'))
            if (line.contains(QRegularExpression("^\\s+21\\s")))
                labels = line.split(' ', Qt::SkipEmptyParts);
        QCOMPARE(labels, QStringList({"21", "22", "23", "24", "25"}));
        QCOMPARE(config::chartWindow().pointCount, 30);
        QCOMPARE(config::chartWindow().windowStart, 21);
    }
};

QTEST_MAIN(TestLogPrint)
#include "tst_logprint.moc"
