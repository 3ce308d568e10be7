#pragma once

// The log viewer `f_LOG` ("Log View"): the log of the viewed control's store
// in the grid `dbgrid_LOG`, filtered by control and by message type; the
// data view charting the control's samples; Clear Log and Clear Data behind
// the password prompt; printing and CSV export. Everything it shows concerns
// the control its request names; the current log query and the control
// filter are kept in the shared window state (windowstate.h) and keep their
// meaning from one opening to the next.
//
// Store failures (a file locked, emptied or replaced by another program) are
// shown in the status line; the next command reads the store anew.

#include "stores.h"

#include <QDialog>
#include <QHash>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QTableView;
class QToolButton;

namespace quellix::logview {

class DataView;
class LogModel;
enum class ControlScope;
enum class MessageKind;

/// What the viewer is opened on.
struct ViewerRequest
{
    QString controlName;                ///< the viewed control
    store::StoreLocation storeLocation; ///< where its log is
    int graphType = 0;                  ///< the chart style code to open with
    std::array<double, 4> limits{};     ///< upper, warning, caution, lower
    QString password;                   ///< what the Clear commands' prompt accepts
    QString intervalText;               ///< the interval box `t_INTERVAL` (data view only)
};

class LogViewer : public QDialog
{
    Q_OBJECT
public:
    explicit LogViewer(const ViewerRequest &request, QWidget *parent = nullptr);
    ~LogViewer() override;

    /// The chart style: the request's until the operator chooses another.
    int graphType() const { return m_chosenStyle; }
    bool inDataView() const { return m_dataView; }
    /// The status line: the last failure, print or export message.
    QString statusText() const;
    /// Writes the current list (log view) or the viewed control's samples
    /// (data view) to `path` as CSV; the status line says how it went.
    bool exportTo(const QString &path);

private:
    void buildMenus();
    void buildToolbar();
    QAction *addItem(QMenu *menu, const char *name, const QString &caption, bool checkable);
    QToolButton *addButton(const char *name, const QString &caption, const QString &toolTip,
                           std::function<void()> command);
    /// Runs a command of the operator: nothing it throws goes further than
    /// the status line.
    void command(const char *what, const std::function<void()> &fn);
    /// One step of a view switch or a clear: a failure is noted and the
    /// next step runs.
    void step(const std::function<void()> &fn);
    void setStatus(const QString &text);
    std::shared_ptr<store::Stores> stores() const;
    void showList();

    void controlCommand(ControlScope scope);
    void messageCommand(MessageKind kind);
    void toDataView();
    void toLogView();
    void clearCommand();
    /// Sets the password prompt's mode and the password it accepts (the
    /// request's) before a Clear command asks for it.
    void prepareGate(const char *mode);
    void clearLog();
    void clearData();
    void chooseStyle(int code);
    void printCommand();
    void exportCommand();

    QHash<QString, QAction *> m_items;
    QHash<QString, QToolButton *> m_buttons;
    QMenu *m_select = nullptr;
    QMenu *m_messages = nullptr;
    QMenu *m_graphType = nullptr;
    QLineEdit *m_interval = nullptr;
    QTableView *m_grid = nullptr;
    LogModel *m_model = nullptr;
    DataView *m_chart = nullptr;
    QLabel *m_status = nullptr;
    const ViewerRequest m_request;
    int m_chosenStyle = 0;
    bool m_dataView = false;
};

/// Shows the viewer modally for `request` and returns, when it closes, the
/// chart style the viewer ended with (the request's when none was chosen,
/// or when `parent` was deleted while the viewer was open).
int runLogViewer(const ViewerRequest &request, QWidget *parent = nullptr);

} // namespace quellix::logview
