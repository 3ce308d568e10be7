#pragma once

// The log viewer's data view: the chart `graph_DATA` of the viewed control's
// recorded samples, with its series selectors `chk_SELECTOR`, the points
// field `t_NUMDATS` (label `l_NUMDATS`) with its stepper `UpDown1`, the
// scroll bar `scr_POSITION`, the point details and `t_DATAPOINTMESSAGE`.
// The viewer (logviewer.h) owns one and shows or hides it with its view;
// printing draws the same chart through populateChart().

#include "stores.h"

#include <QWidget>

#include <array>
#include <memory>

QT_BEGIN_NAMESPACE
class QChart;
QT_END_NAMESPACE

namespace quellix::logview {

/// One chart style: its menu item, caption and code, in menu order.
struct ChartStyle
{
    const char *objectName; ///< m_2DAREA, …
    const char *caption;    ///< "2D Area", …
    int code;
};
/// The ten chart styles in menu order.
const std::array<ChartStyle, 10> &chartStyles();
inline constexpr int kStyle2DLine = 3;

/// Reads the newest samples (at most 5000) of `control` into the shared
/// sample buffer (windowstate.h), oldest first, sets the chart window's point count and
/// keeps the window inside the samples now held (windowAfterFill(),
/// chartrules.h). Store failures are skipped: the buffer then keeps what it
/// held.
void fillSampleBuffer(store::EventLog &log, const QString &control);

/// Puts the series of `style` for the sample buffer and chart window as they
/// stand into `chart` (every old series removed first): the three data
/// series and the four limit lines for 2D Line, otherwise one series per
/// checked selector in the order Input, Display, Output.
void populateChart(QChart *chart, int style, const std::array<bool, 3> &selected,
                   const std::array<double, 4> &limits);

class DataView : public QWidget
{
    Q_OBJECT
public:
    explicit DataView(QWidget *parent = nullptr);
    ~DataView() override;

    /// What the chart is of: the viewed control (its samples, the chart's
    /// title) and its limits (upper, warning, caution, lower) drawn as flat
    /// lines in 2D Line. Takes effect at the next fill or redraw.
    void setSubject(const QString &controlName, const std::array<double, 4> &limits);

    /// The chart style code; a code outside 0…9 keeps the current style.
    /// The chart is drawn again from the sample buffer (fill() reads the
    /// store).
    void setStyle(int code);
    int style() const;
    /// Which of the three selectors (input, display, output) are checked.
    std::array<bool, 3> selectors() const;

    /// Fills the sample buffer from `log` for the subject's control and redraws
    /// the chart (the chart fill); the scroll bar and stepper then reach no
    /// further than the samples held.
    void fill(store::EventLog &log);
    /// Entering the data view: the chart's title, the fields shown, the
    /// fill, then the scroll bar, stepper and points field set to the new
    /// point count.
    void enter(store::EventLog &log);
    /// Leaving the data view: every field and the point details hidden.
    void leave();

    /// The chart `graph_DATA` shows.
    QChart *chart() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace quellix::logview
