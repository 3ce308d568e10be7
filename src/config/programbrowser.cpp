#include "programbrowser.h"

#include "windowstate.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLoggingCategory>
#include <QPointer>
#include <QPushButton>
#include <QStorageInfo>
#include <QTreeView>

#include <exception>

Q_LOGGING_CATEGORY(lcBrowse, "quellix.browse")

namespace quellix::config {

QString joinProgramPath(const QString &directory, const QString &name)
{
    // The name is used as typed. Only a directory that already ends in the
    // separator (the root "/") gets none added, so "/" + "PUMP" is "/PUMP"
    // and not "//PUMP".
    if (directory.endsWith(QLatin1Char('/')))
        return directory + name;
    return directory + QLatin1Char('/') + name;
}

QString browserStartDirectory()
{
    const QString current = QDir::currentPath();
    if (!current.isEmpty() && QDir(current).exists())
        return current;
    // The process's directory has gone (deleted under it): the home
    // directory, else the root.
    const QString home = QDir::homePath();
    return QDir(home).exists() ? home : QDir::rootPath();
}

QString browserDriveDirectory(const QString &driveRoot, const QString &start)
{
    return QStorageInfo(start).rootPath() == driveRoot ? start : driveRoot;
}

QStringList browserDriveRoots()
{
    QStringList roots{QDir::rootPath()};
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && !roots.contains(volume.rootPath()))
            roots << volume.rootPath();
    }
    return roots;
}

namespace {

// Runs a slot's body; nothing it throws reaches Qt's event loop.
template <typename Fn>
void guarded(const char *what, Fn &&fn) noexcept
{
    try {
        fn();
    } catch (const std::exception &e) {
        qCWarning(lcBrowse, "%s: %s", what, e.what());
    } catch (...) {
        qCWarning(lcBrowse, "%s: unknown error", what);
    }
}

class ProgramBrowser : public QDialog
{
public:
    explicit ProgramBrowser(QWidget *parent);

    void reject() override;
    /// The path OK chose; empty until then and after Cancel.
    QString chosen() const { return m_chosen; }

protected:
    void showEvent(QShowEvent *event) override
    {
        QDialog::showEvent(event);
        // Laid out only now: scroll the current directory into view.
        if (m_tree->currentIndex().isValid())
            m_tree->scrollTo(m_tree->currentIndex(), QAbstractItemView::PositionAtCenter);
    }

private:
    void driveChosen(int index);
    void directoryChosen(const QModelIndex &index);
    void showDirectory(const QString &path);
    void refreshFiles();
    void revealDirectory();
    void okClicked();

    QComboBox *m_drives = nullptr;
    QTreeView *m_tree = nullptr;
    QFileSystemModel *m_model = nullptr;
    QListWidget *m_files = nullptr;
    QLabel *m_path = nullptr;
    QLineEdit *m_fileName = nullptr;
    QString m_chosen;
    QString m_start;     // the process's directory when the window opened
    QString m_directory; // the one current directory of the tree
    bool m_revealPending = false; // the tree has yet to show m_directory
};

ProgramBrowser::ProgramBrowser(QWidget *parent)
    : QDialog(parent)
    , m_start(browserStartDirectory())
{
    setObjectName(QStringLiteral("f_BROWSE"));
    setWindowTitle(QStringLiteral("Browse For Application To Activate on Alarm"));
    setModal(true);

    m_drives = new QComboBox(this);
    m_drives->setObjectName(QStringLiteral("DRIVEWINDOW"));
    m_drives->setToolTip(QStringLiteral("Select Drive"));

    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setReadOnly(true);

    m_tree = new QTreeView(this);
    m_tree->setObjectName(QStringLiteral("DIRWINDOW"));
    m_tree->setToolTip(QStringLiteral("Select Directory"));
    m_tree->setModel(m_model);
    m_tree->setHeaderHidden(true);
    for (int column = 1; column < m_model->columnCount(); ++column)
        m_tree->hideColumn(column);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);

    // The one current directory, in full, over its files.
    m_path = new QLabel(this);
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_path->setMinimumWidth(1);

    m_files = new QListWidget(this);
    m_files->setObjectName(QStringLiteral("FILEWINDOW"));
    m_files->setToolTip(QStringLiteral("Select Filename"));

    auto *caption = new QLabel(QStringLiteral("Application to Activate"), this);
    m_fileName = new QLineEdit(this);
    m_fileName->setObjectName(QStringLiteral("t_FILENAME"));
    m_fileName->setToolTip(QStringLiteral("Application File Name"));
    caption->setBuddy(m_fileName);

    auto *ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("c_OKEXPORT"));
    ok->setToolTip(QStringLiteral("Press To Accept Changes"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("&CANCEL"), this);
    cancel->setObjectName(QStringLiteral("c_CANCELEXPORT"));
    cancel->setToolTip(QStringLiteral("Press To Cancel Changes"));
    cancel->setAutoDefault(false);

    auto *lists = new QGridLayout;
    lists->addWidget(m_drives, 0, 0);
    lists->addWidget(m_tree, 1, 0);
    lists->addWidget(m_path, 0, 1);
    lists->addWidget(m_files, 1, 1);
    lists->setColumnStretch(0, 1);
    lists->setColumnStretch(1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addWidget(caption);
    layout->addWidget(m_fileName);
    layout->addLayout(buttons);
    resize(560, 380);

    // The drive holding the start directory is the current drive.
    const QString startRoot = QStorageInfo(m_start).rootPath();
    for (const QString &root : browserDriveRoots())
        m_drives->addItem(root, root);
    int current = m_drives->findData(startRoot.isEmpty() ? QDir::rootPath() : startRoot);
    m_drives->setCurrentIndex(qMax(current, 0));
    driveChosen(m_drives->currentIndex());

    connect(m_drives, &QComboBox::currentIndexChanged, this,
            [this](int index) { guarded("drive change", [&] { driveChosen(index); }); });
    connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &index) { guarded("directory change", [&] { directoryChosen(index); }); });
    // The tree fills in the background: keep the current directory in
    // view as its parents arrive (only they: a directory the operator
    // expands does not move the view).
    connect(m_model, &QFileSystemModel::directoryLoaded, this, [this](const QString &loaded) {
        guarded("directory loaded", [&] {
            const QString under = loaded.endsWith(QLatin1Char('/')) ? loaded : loaded + QLatin1Char('/');
            if (m_revealPending && (loaded == m_directory || m_directory.startsWith(under)))
                revealDirectory();
        });
    });
    auto pick = [this](QListWidgetItem *item) {
        guarded("file pick", [&] {
            if (item)
                m_fileName->setText(item->text());
        });
    };
    connect(m_files, &QListWidget::itemClicked, this, pick);
    connect(m_files, &QListWidget::itemActivated, this, pick);
    connect(ok, &QPushButton::clicked, this, [this] { guarded("OK", [&] { okClicked(); }); });
    connect(cancel, &QPushButton::clicked, this, [this] { guarded("Cancel", [&] { reject(); }); });
}

void ProgramBrowser::driveChosen(int index)
{
    const QString root = m_drives->itemData(index).toString();
    if (root.isEmpty())
        return;
    m_model->setRootPath(root);
    m_tree->setRootIndex(m_model->index(root));
    showDirectory(browserDriveDirectory(root, m_start));
}

void ProgramBrowser::showDirectory(const QString &path)
{
    m_directory = path;
    m_revealPending = true;
    revealDirectory();
    refreshFiles();
}

void ProgramBrowser::revealDirectory()
{
    // The directory's row exists once its parent has been read; until then
    // each loaded directory tries again.
    const QModelIndex index = m_model->index(m_directory);
    if (!index.isValid() || index == m_tree->rootIndex()) {
        m_revealPending = false;
        return;
    }
    for (QModelIndex up = index.parent(); up.isValid() && up != m_tree->rootIndex(); up = up.parent())
        m_tree->expand(up);
    m_tree->setCurrentIndex(index);
    m_tree->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void ProgramBrowser::directoryChosen(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    const QString path = m_model->filePath(index);
    if (path == m_directory)
        return;
    m_directory = path;
    m_revealPending = false; // the operator chose: no more jumping back
    refreshFiles();
}

void ProgramBrowser::refreshFiles()
{
    // Every file, hidden ones too: an event program may have any name.
    const QStringList names =
        QDir(m_directory).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
    m_path->setText(QDir::toNativeSeparators(m_directory));
    m_path->setToolTip(m_path->text());
    m_files->clear();
    m_files->addItems(names);
}

void ProgramBrowser::okClicked()
{
    const QString name = m_fileName->text();
    if (name.isEmpty())
        return; // nothing chosen yet: the window stays open
    m_chosen = joinProgramPath(m_directory, name);
    sharedWindowState().chosenProgramPath = m_chosen;
    accept();
}

void ProgramBrowser::reject()
{
    // Cancel, Escape and the close box alike: nothing is chosen, so the
    // Browse button leaves its field as it was, whatever an earlier
    // opening picked.
    m_chosen.clear();
    sharedWindowState().chosenProgramPath.clear();
    QDialog::reject();
}

} // namespace

QString runProgramBrowser(QWidget *parent)
{
    // On the heap and watched: a host that deletes the parent window while
    // the browser is open deletes the browser with it, and it must not be
    // freed a second time here.
    QPointer<ProgramBrowser> browser = new ProgramBrowser(parent);
    browser->exec();
    const QString chosen = browser ? browser->chosen() : QString();
    delete browser.data();
    return chosen;
}

} // namespace quellix::config
