#include "logviewer.h"

#include "csvexport.h"
#include "dataview.h"
#include "logmodel.h"
#include "logprint.h"
#include "logquery.h"
#include "passwordprompt.h"
#include "windowstate.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

Q_LOGGING_CATEGORY(lcLogView, "quellix.logview")

namespace quellix::logview {

namespace {

config::ViewerContext &kept()
{
    return config::sharedWindowState().viewer;
}

const char *const kFilterButtons[] = {"c_LIMIT", "c_USER", "c_SYSTEM", "c_ALLEVENTS", "c_THISCONTROLONLY",
                                      "c_ALLCONTROLS"};
const char *const kMessageItems[] = {"m_ALLMESSAGES", "m_SYSTEMMESSAGES", "m_USERMESSAGES", "m_LIMITMESSAGES"};

QString messageItem(MessageKind kind)
{
    switch (kind) {
    case MessageKind::All: return QStringLiteral("m_ALLMESSAGES");
    case MessageKind::System: return QStringLiteral("m_SYSTEMMESSAGES");
    case MessageKind::User: return QStringLiteral("m_USERMESSAGES");
    case MessageKind::Limit: return QStringLiteral("m_LIMITMESSAGES");
    }
    return {};
}

QString whyOf(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

} // namespace

LogViewer::LogViewer(const ViewerRequest &request, QWidget *parent)
    : QDialog(parent), m_request(request), m_chosenStyle(request.graphType)
{
    setObjectName(QStringLiteral("f_LOG"));
    setWindowTitle(QStringLiteral("Log View"));
    setModal(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 4);
    layout->setSpacing(4);
    buildMenus();
    buildToolbar();

    m_interval = new QLineEdit(this);
    m_interval->setObjectName(QStringLiteral("t_INTERVAL"));
    m_interval->setReadOnly(true);
    m_interval->setFocusPolicy(Qt::NoFocus);
    m_interval->setMaximumWidth(m_interval->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 40);
    m_interval->setText(m_request.intervalText);
    layout->addWidget(m_interval);

    m_model = new LogModel(this);
    connect(m_model, &LogModel::failed, this, [this](const QString &why) { setStatus(why); });
    m_grid = new QTableView(this);
    m_grid->setObjectName(QStringLiteral("dbgrid_LOG"));
    m_grid->setToolTip(QStringLiteral("Scroll To See  More Records In The Log"));
    m_grid->setModel(m_model);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setWordWrap(false);
    // The widths were chosen for a small grid font: at the dialog's font
    // most headers would be cut.
    QFont small = m_grid->font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() - 1.5));
    m_grid->setFont(small);
    m_grid->horizontalHeader()->setFont(small);
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->verticalHeader()->hide();
    int c = 0;
    for (const LogColumn &column : logColumns())
        m_grid->setColumnWidth(c++, twipsToPixels(column.twips));
    layout->addWidget(m_grid, 1);

    m_chart = new DataView(this);
    m_chart->setSubject(m_request.controlName, m_request.limits);
    layout->addWidget(m_chart, 1);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("statusLine"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->setWordWrap(true);
    layout->addWidget(m_status);

    // Opening: the chart style of the request with its item checked (a code
    // outside 0…9 keeps the chart's own and checks none), then the log view
    // with the list as the current log query names it.
    const int code = m_request.graphType;
    step([&] { m_chart->setStyle(code); });
    for (const ChartStyle &style : chartStyles())
        m_items.value(QString::fromLatin1(style.objectName))->setChecked(style.code == code);
    toLogView();
    step([this] { showList(); });
    resize(1040, 620);
}

LogViewer::~LogViewer() = default;

void LogViewer::buildMenus()
{
    auto *bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("menuBar"));
    static_cast<QVBoxLayout *>(layout())->setMenuBar(bar);
    const auto menu = [&](const char *name, const QString &caption) {
        QMenu *m = bar->addMenu(caption);
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        return m;
    };

    QMenu *file = menu("m_FILE", QStringLiteral("&File"));
    connect(addItem(file, "m_PRINT", QStringLiteral("&Print"), false), &QAction::triggered, this,
            [this] { command("Print", [this] { printCommand(); }); });
    connect(addItem(file, "m_EXPORT", QStringLiteral("&Export CSV..."), false), &QAction::triggered, this,
            [this] { command("Export CSV", [this] { exportCommand(); }); });
    file->addSeparator();
    connect(addItem(file, "m_EXIT", QStringLiteral("E&xit"), false), &QAction::triggered, this, &QDialog::reject);

    QMenu *edit = menu("m_EDIT", QStringLiteral("&Edit"));
    connect(addItem(edit, "m_CLEARLOG", QStringLiteral("&Clear Log"), false), &QAction::triggered, this,
            [this] { command("Clear", [this] { clearCommand(); }); });

    // The View items are named after the view they leave: "View &Data"
    // (m_VIEWLOG) enters the data view, "View &Log" (m_VIEWDATA) the log view.
    QMenu *view = menu("m_VIEW", QStringLiteral("&View"));
    connect(addItem(view, "m_VIEWDATA", QStringLiteral("View &Log"), true), &QAction::triggered, this,
            [this] { command("View Log", [this] { toLogView(); }); });
    connect(addItem(view, "m_VIEWLOG", QStringLiteral("View &Data"), true), &QAction::triggered, this,
            [this] { command("View Data", [this] { toDataView(); }); });

    m_select = menu("m_SELECT", QStringLiteral("Select &Controls"));
    connect(addItem(m_select, "m_ALLCONTROLS", QStringLiteral("&All Controls"), true), &QAction::triggered, this,
            [this] { command("All Controls", [this] { controlCommand(ControlScope::All); }); });
    connect(addItem(m_select, "m_THISCONTROLONLY", QStringLiteral("&This Control Only"), true), &QAction::triggered,
            this, [this] { command("This Control", [this] { controlCommand(ControlScope::This); }); });

    m_messages = menu("m_MESSAGES", QStringLiteral("Select &Messages"));
    const std::pair<MessageKind, QString> messages[] = {{MessageKind::All, QStringLiteral("&All Messages")},
                                                        {MessageKind::System, QStringLiteral("&System Messages")},
                                                        {MessageKind::User, QStringLiteral("&User Messages")},
                                                        {MessageKind::Limit, QStringLiteral("&Limit Messages")}};
    for (const auto &[kind, caption] : messages) {
        QAction *item = addItem(m_messages, messageItem(kind).toLatin1().constData(), caption, true);
        connect(item, &QAction::triggered, this,
                [this, kind = kind] { command("Select Messages", [this, kind] { messageCommand(kind); }); });
    }

    m_graphType = menu("m_GRAPHTYPE", QStringLiteral("&Graph Type"));
    for (const ChartStyle &style : chartStyles()) {
        QAction *item = addItem(m_graphType, style.objectName, QString::fromLatin1(style.caption), true);
        connect(item, &QAction::triggered, this,
                [this, code = style.code] { command("Graph Type", [this, code] { chooseStyle(code); }); });
    }

    m_items.value(QStringLiteral("m_VIEWDATA"))->setChecked(true);
    m_items.value(QStringLiteral("m_ALLCONTROLS"))->setChecked(true);
    m_items.value(QStringLiteral("m_ALLMESSAGES"))->setChecked(true);
}

QAction *LogViewer::addItem(QMenu *menu, const char *name, const QString &caption, bool checkable)
{
    QAction *item = menu->addAction(caption);
    item->setObjectName(QLatin1String(name));
    item->setCheckable(checkable);
    m_items.insert(QLatin1String(name), item);
    return item;
}

void LogViewer::buildToolbar()
{
    auto *toolbar = new QToolBar(this);
    toolbar->setObjectName(QStringLiteral("toolBar"));
    toolbar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    layout()->addWidget(toolbar);
    const auto button = [&](const char *name, const QString &caption, const QString &tip, std::function<void()> fn) {
        toolbar->addWidget(addButton(name, caption, tip, std::move(fn)));
    };
    button("c_LIMIT", QStringLiteral("Limit"), QStringLiteral("Press To View Limit Messages Only"),
           [this] { messageCommand(MessageKind::Limit); });
    button("c_USER", QStringLiteral("User"), QStringLiteral("Press To View User Messages Only"),
           [this] { messageCommand(MessageKind::User); });
    button("c_SYSTEM", QStringLiteral("System"), QStringLiteral("Press To View System Messages Only"),
           [this] { messageCommand(MessageKind::System); });
    button("c_ALLEVENTS", QStringLiteral("All Msgs"), QStringLiteral("Press To View All Messages"),
           [this] { messageCommand(MessageKind::All); });
    toolbar->addSeparator();
    button("c_TOGGLE", QStringLiteral("View Data"), QStringLiteral("Press To Toggle Data/Log View"), [this] {
        if (m_dataView)
            toLogView();
        else
            toDataView();
    });
    button("c_CLEAR", QStringLiteral("Clear Log"), QStringLiteral("Press To Clear The Data/Log File"),
           [this] { clearCommand(); });
    toolbar->addSeparator();
    button("c_THISCONTROLONLY", QStringLiteral("This Control"), QStringLiteral("Press To View This Control Only"),
           [this] { controlCommand(ControlScope::This); });
    button("c_ALLCONTROLS", QStringLiteral("All Controls"), QStringLiteral("Press To View All Controls"),
           [this] { controlCommand(ControlScope::All); });
}

QToolButton *LogViewer::addButton(const char *name, const QString &caption, const QString &toolTip,
                                  std::function<void()> fn)
{
    auto *b = new QToolButton(this);
    b->setObjectName(QLatin1String(name));
    b->setText(caption);
    b->setToolTip(toolTip);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setMinimumWidth(84);
    connect(b, &QToolButton::clicked, this, [this, name, fn = std::move(fn)] { command(name, fn); });
    m_buttons.insert(QLatin1String(name), b);
    return b;
}

void LogViewer::command(const char *what, const std::function<void()> &fn)
{
    // The window may go while a command runs (Clear Log closes it, a nested
    // modal loop lets the host delete its parent).
    QPointer<LogViewer> alive(this);
    try {
        fn();
        return;
    } catch (...) {
        const QString why = whyOf(std::current_exception());
        qCWarning(lcLogView, "%s: %s", what, qPrintable(why));
        if (alive)
            setStatus(QStringLiteral("%1: %2").arg(QLatin1String(what), why));
    }
}

void LogViewer::step(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (...) {
        const QString why = whyOf(std::current_exception());
        qCWarning(lcLogView, "%s", qPrintable(why));
        setStatus(why);
    }
}

void LogViewer::setStatus(const QString &text)
{
    m_status->setText(text);
}

QString LogViewer::statusText() const
{
    return m_status->text();
}

std::shared_ptr<store::Stores> LogViewer::stores() const
{
    // Found anew for every command: a store file replaced by another program
    // is read from its new file.
    return store::openStores(m_request.storeLocation);
}

void LogViewer::showList()
{
    const config::ViewerContext &ctx = kept();
    m_model->show(stores(), ctx.currentFilter, ctx.currentListNone);
}

void LogViewer::controlCommand(ControlScope scope)
{
    setStatus({});
    config::ViewerContext &ctx = kept();
    const ListQuery query = logview::controlCommand(scope, m_request.controlName);
    ctx.currentLogQuery = query.text;
    ctx.currentFilter = query.filter;
    ctx.currentListNone = query.none;
    ctx.controlFilter = controlFilterText(scope);
    m_items.value(QStringLiteral("m_ALLCONTROLS"))->setChecked(scope == ControlScope::All);
    m_items.value(QStringLiteral("m_THISCONTROLONLY"))->setChecked(scope == ControlScope::This);
    showList();
}

void LogViewer::messageCommand(MessageKind kind)
{
    setStatus({});
    config::ViewerContext &ctx = kept();
    const ListQuery query = logview::messageCommand(kind, ctx.controlFilter, m_request.controlName);
    ctx.currentLogQuery = query.text;
    ctx.currentFilter = query.filter;
    ctx.currentListNone = query.none;
    const QString checked = messageItem(kind);
    for (const char *name : kMessageItems)
        m_items.value(QLatin1String(name))->setChecked(checked == QLatin1String(name));
    showList();
}

void LogViewer::toDataView()
{
    setStatus({});
    m_dataView = true;
    step([this] {
        m_items.value(QStringLiteral("m_VIEWLOG"))->setChecked(true);
        m_items.value(QStringLiteral("m_VIEWDATA"))->setChecked(false);
        m_buttons.value(QStringLiteral("c_TOGGLE"))->setText(QStringLiteral("View Log"));
    });
    step([this] {
        m_grid->hide();
        m_chart->show();
        m_interval->show();
    });
    step([this] {
        m_graphType->menuAction()->setEnabled(true);
        m_select->menuAction()->setEnabled(false);
        m_messages->menuAction()->setEnabled(false);
        for (const char *name : kFilterButtons)
            m_buttons.value(QLatin1String(name))->setEnabled(false);
    });
    step([this] {
        m_buttons.value(QStringLiteral("c_CLEAR"))->setText(QStringLiteral("Clear Data"));
        m_items.value(QStringLiteral("m_CLEARLOG"))->setText(QStringLiteral("&Clear Data"));
    });
    step([this] { m_chart->enter(stores()->log()); });
}

void LogViewer::toLogView()
{
    m_dataView = false;
    step([this] {
        m_interval->hide();
        m_items.value(QStringLiteral("m_VIEWLOG"))->setChecked(false);
        m_items.value(QStringLiteral("m_VIEWDATA"))->setChecked(true);
        m_buttons.value(QStringLiteral("c_TOGGLE"))->setText(QStringLiteral("View Data"));
    });
    step([this] {
        m_chart->leave();
        m_chart->hide();
        m_grid->show();
    });
    step([this] {
        m_buttons.value(QStringLiteral("c_CLEAR"))->setText(QStringLiteral("Clear Log"));
        m_items.value(QStringLiteral("m_CLEARLOG"))->setText(QStringLiteral("&Clear Log"));
    });
    step([this] {
        m_graphType->menuAction()->setEnabled(false);
        m_select->menuAction()->setEnabled(true);
        m_messages->menuAction()->setEnabled(true);
        for (const char *name : kFilterButtons)
            m_buttons.value(QLatin1String(name))->setEnabled(true);
    });
}

void LogViewer::clearCommand()
{
    setStatus({});
    if (m_dataView)
        clearData();
    else
        clearLog();
}

void LogViewer::clearLog()
{
    prepareGate(config::kModeLog);
    QPointer<LogViewer> alive(this);
    const bool right = config::askPassword(QStringLiteral("Type Your Password To Confirm Delete"))
        && config::PasswordPrompt::instance().lastOutcome() == config::GateOutcome::DeleteLog;
    if (!alive)
        return;
    // Exactly the current list goes: the filter the list runs, not its text.
    const config::ViewerContext &ctx = kept();
    qint64 removed = 0;
    bool failed = false;
    if (right && !ctx.currentListNone) {
        try {
            removed = stores()->log().removeLog(ctx.currentFilter);
        } catch (...) {
            failed = true;
            setStatus(QStringLiteral("The log was not cleared: %1").arg(whyOf(std::current_exception())));
        }
    }
    step([this] { showList(); });
    // A delete the store refused keeps the viewer open, its reason in the
    // status line; otherwise the viewer closes, and says the log was cleared
    // only when records actually went.
    if (failed)
        return;
    QWidget *owner = parentWidget();
    accept();
    if (removed > 0) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Log File Clear."),
                        QStringLiteral("The Data In The Log File Has Been Cleared"),
                        QMessageBox::Ok | QMessageBox::Cancel, owner);
        box.setDefaultButton(QMessageBox::Cancel);
        box.exec();
    }
}

void LogViewer::clearData()
{
    prepareGate(config::kModeData);
    QPointer<LogViewer> alive(this);
    const bool right = config::askPassword(QStringLiteral("Type Your Password To Confirm Delete"))
        && config::PasswordPrompt::instance().lastOutcome() == config::GateOutcome::DeleteSamples;
    if (!alive)
        return;
    // A control without a name has no samples: an empty name would mean
    // every control's to the store.
    const QString control = m_request.controlName;
    if (right && !control.isEmpty())
        step([&] { stores()->log().removeSamples(control); });
    step([this] { m_chart->fill(stores()->log()); });
}

void LogViewer::chooseStyle(int code)
{
    m_chart->setStyle(code);
    for (const ChartStyle &style : chartStyles())
        m_items.value(QString::fromLatin1(style.objectName))->setChecked(style.code == code);
    m_chosenStyle = code;
    kept().graphType = code;
    m_chart->fill(stores()->log());
}

void LogViewer::printCommand()
{
    setStatus({});
    const config::ViewerContext &ctx = kept();
    PrintRequest print;
    print.storeLocation = m_request.storeLocation;
    print.controlName = m_request.controlName;
    print.dataView = m_dataView;
    print.filter = ctx.currentFilter;
    print.listNone = ctx.currentListNone;
    print.style = m_chart->style();
    print.selected = m_chart->selectors();
    print.limits = m_request.limits;
    setStatus(printViewerContents(print));
}

void LogViewer::exportCommand()
{
    setStatus({});
    const store::StoreLocation &location = m_request.storeLocation;
    const QString dir = location.kind() == store::StoreLocation::Kind::Directory ? location.address() : QString();
    const QString name = m_dataView ? QStringLiteral("DATA.csv") : QStringLiteral("LOG.csv");
    const QString path = chooseExportPath(this, dir.isEmpty() ? name : dir + QLatin1Char('/') + name);
    if (!path.isEmpty())
        exportTo(path);
}

bool LogViewer::exportTo(const QString &path)
{
    const config::ViewerContext &ctx = kept();
    try {
        const qint64 n = m_dataView ? exportSamples(stores()->log(), m_request.controlName, path)
                                    : exportLog(stores()->log(), ctx.currentFilter, ctx.currentListNone, path);
        setStatus(QStringLiteral("%1 %2 exported to %3")
                      .arg(n)
                      .arg(m_dataView ? QStringLiteral("samples") : QStringLiteral("records"), path));
        return true;
    } catch (...) {
        setStatus(QStringLiteral("Export failed: %1").arg(whyOf(std::current_exception())));
        return false;
    }
}

void LogViewer::prepareGate(const char *mode)
{
    // The prompt compares with the process's expected password: the one of
    // the control this viewer was opened for.
    config::ConfigContext &gate = config::sharedWindowState().config;
    gate.passwordMode = QLatin1String(mode);
    gate.passwordExpected = m_request.password;
}

int runLogViewer(const ViewerRequest &request, QWidget *parent)
{
    // On the heap and watched: a host that deletes the parent while the
    // viewer is open deletes the viewer with it.
    QPointer<LogViewer> viewer = new LogViewer(request, parent);
    viewer->exec();
    const int chosen = viewer ? viewer->graphType() : request.graphType;
    delete viewer.data();
    return chosen;
}

} // namespace quellix::logview
