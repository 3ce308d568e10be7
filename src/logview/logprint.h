#pragma once

// Printing of the log viewer: the list it shows, 35 records a page, or the
// chart of its data view on one page. The pages are laid out by the print
// form f_LOGPRINT, a widget that is filled page by page and never shown;
// each page is drawn with text calls, so a PDF of it can be searched and
// copied. The pages go to the default printer when one is configured,
// otherwise to a PDF file in the viewer's store directory (the current
// directory when the store is a server).

#include "stores.h"

#include <QString>
#include <QWidget>

#include <array>

QT_BEGIN_NAMESPACE
class QChart;
class QChartView;
class QLabel;
class QPainter;
class QPrinter;
class QTableWidget;
QT_END_NAMESPACE

namespace quellix::logview {

/// What the viewer prints and where its records are.
struct PrintRequest
{
    store::StoreLocation storeLocation;
    QString controlName; ///< the viewed control: titles, and the chart's samples
    bool dataView = false; ///< the chart (true) or the current list (false)
    store::LogFilter filter; ///< the current list
    bool listNone = false;   ///< the current list names no record at all
    int style = 3;           ///< the chart style code (3: 2D Line)
    std::array<bool, 3> selected{true, true, true}; ///< series input, display, output
    std::array<double, 4> limits{};                 ///< upper, warning, caution, lower
};

/// The viewer's m_PRINT. Prints what the viewer shows: in the log view the
/// current list (nothing when listNone or when the list is empty), in the
/// data view the chart of the viewed control in `style` with the selected
/// series, over the chart window as the viewer left it. Never throws: the
/// returned text, for the viewer's status line, says where the pages went
/// ("Printed 3 pages to /dir/Log Print 20261209-081500.pdf", or to the
/// printer by name), that there was nothing to print, or why printing
/// failed. Without a printer the PDF goes to the store directory (the
/// current directory when the store is a server).
QString printViewerContents(const PrintRequest &request);

/// Prints the list `filter` selects in `log` as pages of 35 records, reading
/// one page of records at a time; returns the number of pages printed (0
/// for an empty list, when nothing is printed). Throws quellix::Error when
/// the store cannot be read and std::runtime_error when the printer cannot
/// be written.
int printLogList(QPrinter &printer, store::EventLog &log, const store::LogFilter &filter, const QString &control);

/// Prints the chart page of `control`: its samples read into the sample
/// buffer, charted in `style` with the `selected` series (input, display,
/// output) and `limits` over the chart window as it stands. Throws as
/// printLogList().
void printChart(QPrinter &printer, store::EventLog &log, const QString &control, int style,
                const std::array<bool, 3> &selected, const std::array<double, 4> &limits);

/// The print form f_LOGPRINT ("Log Print"): the labels l_LOGTITLE,
/// l_PAGENUM and l_TIME, the grid dbgrid_LOGPRINT with the eleven LOG
/// columns and their widths, and the chart graph_DATA. Filled for one page
/// at a time and drawn onto a printer page; never shown.
class LogPrintForm : public QWidget
{
public:
    explicit LogPrintForm(QWidget *parent = nullptr);

    /// A list page: the title, the page label, the print time, the rows;
    /// the chart hidden.
    void loadListPage(const QString &control, int page, int pages, const QVector<store::LogRow> &rows);
    /// The chart page: the print time and the chart with its title; the
    /// list labels and the grid hidden. The caller fills chart().
    void loadChartPage(const QString &control);
    QChart *chart() const;

    /// Draws the page as loaded into `page` (device coordinates of `painter`).
    void paintPage(QPainter &painter, const QRect &page) const;

private:
    void paintList(QPainter &painter, const QRect &area, double perTwip) const;
    void paintChart(QPainter &painter, const QRect &area) const;

    QLabel *m_title = nullptr;
    QLabel *m_pageNum = nullptr;
    QLabel *m_time = nullptr;
    QTableWidget *m_grid = nullptr;
    QChartView *m_chartView = nullptr;
};

} // namespace quellix::logview
