#pragma once

// The log viewer `f_LOG` ("Log View"): the log of the viewed control's store
// in the grid `dbgrid_LOG`, filtered by control and by message type; the
// data view charting the control's samples; Clear Log and Clear Data behind
// the password prompt; printing and CSV export. Everything it shows concerns
// the viewer context (configcontext.h) that the Logs button filled; the
// current log query and the control filter keep their meaning from one
// opening to the next.
//
// Store failures (a file locked, emptied or replaced by another program) are
// shown in the status line; the next command reads the store anew.

#include <QDialog>
#include <QHash>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QTableView;
class QToolButton;

namespace quellix::store {
class Stores;
}

namespace quellix::logview {

class DataView;
class LogModel;
enum class ControlScope;
enum class MessageKind;

class LogViewer : public QDialog
{
    Q_OBJECT
public:
    explicit LogViewer(QWidget *parent = nullptr);
    ~LogViewer() override;

    /// The interval box `t_INTERVAL` (shown in the data view only).
    void setIntervalText(const QString &text);
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
    bool m_dataView = false;
};

} // namespace quellix::logview
