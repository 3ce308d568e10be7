#include "logprint.h"

#include "dataview.h"
#include "logmodel.h"
#include "printrules.h"

#include <QChart>
#include <QChartView>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGraphicsLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLoggingCategory>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTableWidget>
#include <QVBoxLayout>

#include <exception>
#include <memory>
#include <stdexcept>

Q_LOGGING_CATEGORY(lcPrint, "quellix.print")

namespace quellix::logview {

namespace {

// 35 record rows, each at most this high, under a header of two rows.
constexpr int kRowTwips = 255;
constexpr double kHeaderRows = 2;
// Room between a cell's border and its text.
constexpr int kCellPadTwips = 45;
// The chart as laid out before it is scaled onto the page.
const QSizeF kChartSize(1000, 640);

int gridWidthTwips()
{
    int width = 0;
    for (const LogColumn &c : logColumns())
        width += c.twips;
    return width;
}

bool isNumberColumn(int column) { return column == 0 || column == 5 || column == 7 || column == 9; }

// Starts painting on the printer; a printer that cannot be written (a PDF
// in a directory without write access, a printer gone) is an error.
void beginOn(QPainter &painter, QPrinter &printer)
{
    if (!painter.begin(&printer)) {
        const QString where = printer.outputFileName().isEmpty() ? printer.printerName() : printer.outputFileName();
        throw std::runtime_error(("cannot print to " + where).toStdString());
    }
}

// The printable area in the painter's coordinates, whose origin is the
// area's top left corner (inside the margins).
QRect pageRect(QPrinter &printer)
{
    return QRect(QPoint(0, 0), printer.pageLayout().paintRectPixels(printer.resolution()).size());
}

} // namespace

LogPrintForm::LogPrintForm(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("f_LOGPRINT"));
    setWindowTitle(QStringLiteral("Log Print"));

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("l_LOGTITLE"));
    m_pageNum = new QLabel(this);
    m_pageNum->setObjectName(QStringLiteral("l_PAGENUM"));
    m_time = new QLabel(this);
    m_time->setObjectName(QStringLiteral("l_TIME"));

    m_grid = new QTableWidget(0, int(logColumns().size()), this);
    m_grid->setObjectName(QStringLiteral("dbgrid_LOGPRINT"));
    m_grid->verticalHeader()->hide();
    for (int c = 0; c < int(logColumns().size()); ++c) {
        m_grid->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromLatin1(logColumns()[c].name)));
        m_grid->setColumnWidth(c, twipsToPixels(logColumns()[c].twips));
    }

    m_chartView = new QChartView(this);
    m_chartView->setObjectName(QStringLiteral("graph_DATA"));
    m_chartView->chart()->setAnimationOptions(QChart::NoAnimation);
    m_chartView->hide();

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addWidget(m_pageNum);
    layout->addWidget(m_time);
    layout->addWidget(m_grid, 1);
    layout->addWidget(m_chartView, 1);
}

QChart *LogPrintForm::chart() const { return m_chartView->chart(); }

void LogPrintForm::loadListPage(const QString &control, int page, int pages, const QVector<store::LogRow> &rows)
{
    m_chartView->hide();
    m_grid->show();
    m_title->show();
    m_pageNum->show();
    m_title->setText(printTitle(control));
    m_pageNum->setText(printPageLabel(page, pages));
    m_time->setText(printTimeLabel(QDateTime::currentDateTime()));
    m_grid->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        const QStringList texts = logRowTexts(rows[r]);
        for (int c = 0; c < int(texts.size()); ++c)
            m_grid->setItem(r, c, new QTableWidgetItem(texts[c]));
    }
}

void LogPrintForm::loadChartPage(const QString &control)
{
    m_title->hide();
    m_pageNum->hide();
    m_grid->hide();
    m_grid->setRowCount(0);
    m_chartView->show();
    m_time->setText(printTimeLabel(QDateTime::currentDateTime()));
    chart()->setTitle(printChartTitle(control));
    QFont titleFont = chart()->titleFont();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    chart()->setTitleFont(titleFont);
}

void LogPrintForm::paintPage(QPainter &painter, const QRect &page) const
{
    // The grid's twips stretched to the page width, so the columns keep
    // their proportions and the page its margins.
    const double perTwip = double(page.width()) / gridWidthTwips();

    QFont labelFont = painter.font();
    labelFont.setPixelSize(std::max(1, int(200 * perTwip)));
    QFont titleFont = labelFont;
    titleFont.setBold(true);
    titleFont.setPixelSize(std::max(1, int(280 * perTwip)));

    const int lineHeight = int(340 * perTwip);
    QRect band(page.left(), page.top(), page.width(), lineHeight);
    if (!m_title->isHidden()) {
        painter.setFont(titleFont);
        painter.drawText(band, Qt::AlignLeft | Qt::AlignVCenter, m_title->text());
        painter.setFont(labelFont);
        painter.drawText(band, Qt::AlignRight | Qt::AlignVCenter, m_pageNum->isHidden() ? QString() : m_pageNum->text());
        band.translate(0, lineHeight);
    }
    painter.setFont(labelFont);
    painter.drawText(band, Qt::AlignLeft | Qt::AlignVCenter, m_time->text());
    const int top = band.bottom() + int(100 * perTwip);

    if (!m_grid->isHidden())
        paintList(painter, QRect(page.left(), top, page.width(), page.bottom() - top), perTwip);
    if (!m_chartView->isHidden())
        paintChart(painter, QRect(page.left(), top, page.width(), page.bottom() - top));
}

void LogPrintForm::paintList(QPainter &painter, const QRect &area, double perTwip) const
{
    // The header row takes two lines, so every column name shows whole.
    const double rows = kRecordsPerPage + kHeaderRows;
    const double rowTwips = std::min<double>(kRowTwips, area.height() / perTwip / rows);
    const int rowHeight = int(rowTwips * perTwip);
    const int headHeight = int(rowTwips * kHeaderRows * perTwip);
    const int pad = int(kCellPadTwips * perTwip);

    QFont cellFont = painter.font();
    cellFont.setBold(false);
    cellFont.setPixelSize(std::max(1, int(rowTwips * 0.52 * perTwip)));
    QFont headFont = cellFont;
    headFont.setBold(true);
    QPen rule(Qt::gray);
    rule.setWidthF(std::max(1.0, 10 * perTwip));
    const QPen ink = painter.pen();

    const auto drawRow = [&](int y, int height, bool head, const auto &textOf) {
        painter.setFont(head ? headFont : cellFont);
        const QFontMetrics metrics = painter.fontMetrics();
        int x = area.left();
        for (int c = 0; c < int(logColumns().size()); ++c) {
            const int width = int(logColumns()[c].twips * perTwip);
            const QRect cell(x, y, width, height);
            const QRect inner = cell.adjusted(pad, 0, -pad, 0);
            painter.setPen(ink);
            if (head) {
                painter.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, textOf(c));
            } else {
                // A text a little wider than its column is set smaller (a
                // time keeps its seconds); one far wider ends in an ellipsis,
                // as the viewer's grid cuts it.
                const QString text = textOf(c);
                const int advance = metrics.horizontalAdvance(text);
                const Qt::Alignment align = Qt::AlignVCenter | (isNumberColumn(c) ? Qt::AlignRight : Qt::AlignLeft);
                if (advance <= inner.width()) {
                    painter.drawText(inner, align, text);
                } else {
                    QFont smaller = cellFont;
                    smaller.setPixelSize(std::max(1, int(cellFont.pixelSize() * std::max(0.8, double(inner.width()) / advance))));
                    painter.setFont(smaller);
                    painter.drawText(inner, align, painter.fontMetrics().elidedText(text, Qt::ElideRight, inner.width()));
                    painter.setFont(cellFont);
                }
            }
            painter.setPen(rule);
            painter.drawRect(cell);
            x += width;
        }
    };

    drawRow(area.top(), headHeight, true, [](int c) { return QString::fromLatin1(logColumns()[c].name); });
    for (int r = 0; r < m_grid->rowCount(); ++r) {
        drawRow(area.top() + headHeight + r * rowHeight, rowHeight, false, [&](int c) {
            const QTableWidgetItem *item = m_grid->item(r, c);
            return item ? item->text() : QString();
        });
    }
    painter.setPen(ink);
}

void LogPrintForm::paintChart(QPainter &painter, const QRect &area) const
{
    QChart *c = chart();
    c->resize(kChartSize);
    if (QGraphicsLayout *layout = c->layout())
        layout->activate();
    // The chart lays out its series and axes through posted events.
    QCoreApplication::sendPostedEvents(nullptr, 0);
    const QRectF source(QPointF(0, 0), kChartSize);
    // The chart's proportions kept, centred across the page.
    const QSizeF fitted = kChartSize.scaled(QSizeF(area.size()), Qt::KeepAspectRatio);
    const QRectF target(area.left() + (area.width() - fitted.width()) / 2, area.top(), fitted.width(), fitted.height());
    m_chartView->scene()->render(&painter, target, source);
}

int printLogList(QPrinter &printer, store::EventLog &log, const store::LogFilter &filter, const QString &control)
{
    const qint64 records = log.count(filter);
    const int pages = printPageCount(records);
    if (pages == 0)
        return 0;

    LogPrintForm form;
    QPainter painter;
    beginOn(painter, printer);
    qint64 afterNum = 0;
    qint64 left = records;
    int printed = 0;
    for (int p = 1; p <= pages && left > 0; ++p) {
        // One page of records at a time, keyed on "Num": the list is never
        // held whole. Records appended meanwhile wait for the next print.
        const QVector<store::LogRow> rows = log.page(filter, afterNum, int(std::min<qint64>(kRecordsPerPage, left)));
        if (rows.isEmpty())
            break; // emptied by another program while printing
        afterNum = rows.last().num;
        left -= rows.size();
        if (printed > 0 && !printer.newPage())
            throw std::runtime_error("the printer refused a new page");
        form.loadListPage(control, p, pages, rows);
        form.paintPage(painter, pageRect(printer));
        ++printed;
    }
    painter.end();
    return printed;
}

void printChart(QPrinter &printer, store::EventLog &log, const QString &control, int style,
                const std::array<bool, 3> &selected, const std::array<double, 4> &limits)
{
    LogPrintForm form;
    form.loadChartPage(control);
    fillSampleBuffer(log, control);
    populateChart(form.chart(), style, selected, limits);
    QPainter painter;
    beginOn(painter, printer);
    form.paintPage(painter, pageRect(printer));
    painter.end();
}

namespace {

// A file name not yet taken in `dir`, of the print's time.
QString freePdfPath(const QString &dir)
{
    const QDateTime now = QDateTime::currentDateTime();
    for (int attempt = 1;; ++attempt) {
        const QString path = QDir(dir).filePath(printFileName(now, attempt));
        if (!QFile::exists(path))
            return path;
    }
}

QString pdfDirectory(const store::StoreLocation &location)
{
    if (location.kind() == store::StoreLocation::Kind::Directory && !location.address().isEmpty())
        return location.address();
    return QDir::currentPath();
}

} // namespace

QString printViewerContents(const PrintRequest &request)
{
    const QString nothing = QStringLiteral("Nothing to print: the list is empty.");
    QString pdfPath;
    // A PDF cut short by a failure is not left behind as if it were the print.
    const auto dropPdf = [&] {
        if (!pdfPath.isEmpty())
            QFile::remove(pdfPath);
    };
    try {
        if (!request.dataView && request.listNone)
            return nothing;
        const std::shared_ptr<store::Stores> stores = store::openStores(request.storeLocation);
        store::EventLog &log = stores->log();
        if (!request.dataView && log.count(request.filter) == 0)
            return nothing;

        const QPrinterInfo installed = QPrinterInfo::defaultPrinter();
        std::unique_ptr<QPrinter> printer;
        QString where;
        if (!installed.isNull()) {
            printer = std::make_unique<QPrinter>(installed, QPrinter::HighResolution);
            where = QStringLiteral("the printer ") + installed.printerName();
        } else {
            printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            pdfPath = where = freePdfPath(pdfDirectory(request.storeLocation));
            printer->setOutputFileName(where);
        }
        printer->setDocName(QStringLiteral("Log Print"));
        printer->setPageOrientation(QPageLayout::Landscape);

        int pages = 1;
        if (request.dataView)
            printChart(*printer, log, request.controlName, request.style, request.selected, request.limits);
        else
            pages = printLogList(*printer, log, request.filter, request.controlName);
        if (pages == 0)
            return nothing;
        return QStringLiteral("Printed %1 %2 to %3").arg(pages).arg(pages == 1 ? QStringLiteral("page") : QStringLiteral("pages"), where);
    } catch (const std::exception &e) {
        qCWarning(lcPrint, "printing: %s", e.what());
        dropPdf();
        return QStringLiteral("Printing failed: ") + QString::fromUtf8(e.what());
    } catch (...) {
        qCWarning(lcPrint, "printing: unknown error");
        dropPdf();
        return QStringLiteral("Printing failed.");
    }
}

} // namespace quellix::logview
