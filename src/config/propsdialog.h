#pragma once

// The properties dialog f_PROPS: edits one control's settings row on ten
// tabs. What the operator changes (and what the field rules change) is held
// in the fields as pending edits of the row until the dialog closes: OK, or
// closing the window any other way, writes every changed field in one
// transaction; Cancel drops them all. A write the store refuses keeps the
// dialog open with every edit and names the field that could not be saved.

#include "settingsrow.h"
#include "stores.h"

#include <QDialog>

#include <memory>
#include <vector>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTimer;

namespace quellix::config {

/// The dialog's tab set: ten tabs in two rows of five over one page area,
/// indexed 0 to 9. Tabs 8 and 9 cannot be shown: selecting either, by a
/// click or by code, selects tab 0.
class PropsTabs : public QWidget
{
    Q_OBJECT
public:
    explicit PropsTabs(QWidget *parent = nullptr);

    /// Height of the two rows of tabs above the pages, in pixels.
    static constexpr int kBarHeight = 48;

    int addTab(QWidget *page, const QString &caption);
    int count() const;
    int currentIndex() const;
    void setCurrentIndex(int index);
    QString tabText(int index) const;
    QWidget *page(int index) const;
    /// The tab's button, which an operator clicks.
    QAbstractButton *tabButton(int index) const;

Q_SIGNALS:
    void currentChanged(int index);

private:
    QButtonGroup *m_group = nullptr;
    QStackedWidget *m_pages = nullptr;
    QWidget *m_rows[2] = {};
};

class PropsDialog : public QDialog
{
    Q_OBJECT
public:
    /// A dialog on the row of `controlName` in `stores` (kept alive by the
    /// dialog, so the control may go while the dialog is open).
    PropsDialog(std::shared_ptr<store::Stores> stores, const QString &controlName, QWidget *parent = nullptr);
    ~PropsDialog() override;

    /// Reads the row and fills the fields from it, the field rules running
    /// on the filled values; the caption becomes the name followed by
    /// " Config.". False (and the caption stays "Properties") when no row
    /// carries the name. Throws quellix::Error when the store cannot be read.
    bool findRow();

    PropsTabs *tabs() const { return m_tabs; }

public Q_SLOTS:
    /// What timer_LIMIT's timeout does: the limit check, one message and
    /// one correction per run.
    void limitTimerFired();
    /// What timer_SCANRATE's timeout does: the scan-rate clamp.
    void scanRateTimerFired();
    /// Closing by any means but Cancel saves, as OK does.
    void reject() override;

private:
    struct Binding
    {
        schema::Field column;
        QWidget *widget;
        QString filled; ///< the text the fill gave the field
    };

    void build();
    QWidget *buildLevelPage(int tab);
    QWidget *buildRatiosPage();
    QWidget *buildLogsPage();
    QWidget *buildColoursPage();
    QWidget *buildMiscPage();
    QWidget *buildCommPage();
    QLineEdit *lineEdit(QWidget *parent, const QString &name, schema::Field column, const QString &toolTip = {});
    QCheckBox *checkBox(QWidget *parent, const QString &name, const QString &caption, schema::Field column);
    QComboBox *comboBox(QWidget *parent, const QString &name, const QStringList &items, schema::Field column,
                        const QString &toolTip = {});
    void bind(QWidget *widget, schema::Field column);
    void connectRules();

    void restartLimitTimer();
    void restartScanRateTimer();
    void applyDirectionText();
    void directionSelected(bool ascending);
    void moveFrames();
    void applyLevelEnabled(int level);
    void applyColourText(int group);

    void okClicked();
    void cancelClicked();
    void browseClicked(int level);
    /// Writes every changed field in one transaction. False when the dialog
    /// must stay open (a field or the store refused; the operator was told).
    bool save();
    void showMessage(const QString &title, const QString &text);

    std::shared_ptr<store::Stores> m_stores;
    QString m_name;
    store::SettingsRow m_row; ///< the row as read when the dialog opened
    std::vector<Binding> m_bindings;

    PropsTabs *m_tabs = nullptr;
    QTimer *m_timerLimit = nullptr;
    QTimer *m_timerScanRate = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;

    // per level: upper, warning, caution, lower
    QLineEdit *m_limitValue[4] = {};
    QCheckBox *m_limitEnabled[4] = {};
    QCheckBox *m_alarmLight[4] = {};
    QCheckBox *m_alarmSound[4] = {};
    QComboBox *m_soundName[4] = {};
    QCheckBox *m_promptEnabled[4] = {};
    QLineEdit *m_promptText[4] = {};
    QCheckBox *m_eventEnabled[4] = {};
    QLineEdit *m_eventPath[4] = {};
    QPushButton *m_browse[4] = {};
    QCheckBox *m_logReaching[4] = {};
    QGroupBox *m_warningFrames[4] = {};
    QGroupBox *m_cautionFrames[4] = {};

    QRadioButton *m_ascending = nullptr;
    QRadioButton *m_descending = nullptr;
    QLineEdit *m_direction = nullptr;

    QLineEdit *m_inputMult = nullptr;
    QLineEdit *m_inputOffset = nullptr;
    QLineEdit *m_inputFunction = nullptr;
    QLineEdit *m_outputMult = nullptr;
    QLineEdit *m_outputOffset = nullptr;
    QLineEdit *m_outputFunction = nullptr;

    QCheckBox *m_logDisplayed = nullptr;
    QComboBox *m_logInterval = nullptr;

    QLineEdit *m_colourText[5] = {};
    QRadioButton *m_colourOption[5][4] = {};

    QLineEdit *m_units = nullptr;
    QLineEdit *m_scanRate = nullptr;
    QLineEdit *m_password = nullptr;
};

/// Opens the properties dialog modally over `parent` on the row of
/// `controlName` and returns when it has closed. False, without showing
/// anything, when no row carries the name. Throws quellix::Error when the
/// store cannot be read.
bool runPropertiesDialog(std::shared_ptr<store::Stores> stores, const QString &controlName, QWidget *parent);

} // namespace quellix::config
