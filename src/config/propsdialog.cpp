#include "propsdialog.h"

#include "soundnames.h"
#include "error.h"
#include "programbrowser.h"
#include "propsrules.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcProps, "quellix.props")

namespace quellix::config {

using schema::Field;
using schema::FieldType;
using store::SettingsRow;

namespace {

struct LevelText
{
    const char *key;          // in element names: t_UPPERLIMITVALUE
    const char *word;         // in captions: "Upper"
    const char *limitCaption; // the enable box of the Limits tab
    // The level's fields, one per tab element.
    Field limitEnabled, limitValue, alarmLight, alarmSound, soundName, promptEnabled, promptText, eventEnabled,
        eventPath;
};

const LevelText kLevels[4] = {
    {"UPPER", "Upper", "Enable Upper Limit Value    >", Field::EnableUpperLimit, Field::UpperLimitValue,
     Field::UpperAlarmLight, Field::UpperAlarmSound, Field::UpperAlarmSoundName, Field::EnableUpperPrompt,
     Field::UpperPromptText, Field::EnableUpperEvent, Field::UpperEventPath},
    {"WARNING", "Warning", "Enable Warning Limit Value >", Field::EnableWarningLimit, Field::WarningLimitValue,
     Field::WarningAlarmLight, Field::WarningAlarmSound, Field::WarningAlarmSoundName, Field::EnableWarningPrompt,
     Field::WarningPromptText, Field::EnableWarningEvent, Field::WarningEventPath},
    {"CAUTION", "Caution", "Enable Caution Limit Value  >", Field::EnableCautionLimit, Field::CautionLimitValue,
     Field::CautionAlarmLight, Field::CautionAlarmSound, Field::CautionAlarmSoundName, Field::EnableCautionPrompt,
     Field::CautionPromptText, Field::EnableCautionEvent, Field::CautionEventPath},
    {"LOWER", "Lower", "Enable Lower Limit Value    >", Field::EnableLowerLimit, Field::LowerLimitValue,
     Field::LowerAlarmLight, Field::LowerAlarmSound, Field::LowerAlarmSoundName, Field::EnableLowerPrompt,
     Field::LowerPromptText, Field::EnableLowerEvent, Field::LowerEventPath},
};

struct ColourGroupText
{
    const char *key;     // option_DISPLAYRED, t_DISPLAYCOLOR
    const char *frame;   // frame caption
    Field column;        // bound column
    const char *subject; // tool tip: "Select To Make The <subject> Red"
    props::ColourGroup group;
};

const ColourGroupText kColourGroups[5] = {
    {"DISPLAY", "Display Color", Field::DisplayColor, "Display", props::ColourGroup::Display},
    {"UNITS", "Units Color", Field::UnitsColor, "Units Display", props::ColourGroup::Units},
    {"OUTPUT", "Output Color", Field::OutputColor, "Output Display", props::ColourGroup::Output},
    {"HOLD", "Hold Color", Field::HoldIndicatorColor, "Hold Indicator Light", props::ColourGroup::Hold},
    {"COMM", "COMM Color", Field::CommIndicatorColor, "COMM Indicator Light", props::ColourGroup::Comm},
};

const char *const kColourNames[4] = {"Red", "Green", "Yellow", "Blue"};

const QStringList &intervalTexts()
{
    static const QStringList texts = {QStringLiteral("1 Minute"),   QStringLiteral("2 Minutes"),
                                      QStringLiteral("5 Minutes"),  QStringLiteral("10 Minutes"),
                                      QStringLiteral("15 Minutes"), QStringLiteral("30 Minutes"),
                                      QStringLiteral("1 Hour")};
    return texts;
}

// Frame places on the level tabs, in pixels of the page. Warning and
// Caution are placed by moveFrames().
constexpr int kFrameLeft = 8;
constexpr int kLimitsFrameWidth = 372;
constexpr int kLimitsFrameHeight = 46;
constexpr int kLevelFrameWidth = 584;
constexpr int kLevelFrameHeight = 50;
constexpr int kPageWidth = 600;
constexpr int kPageHeight = 228;

// Whatever a slot or a timer callback throws stops here.
template<typename Fn>
void guarded(const char *what, Fn &&fn) noexcept
{
    try {
        fn();
    } catch (const std::exception &e) {
        qCWarning(lcProps, "%s: %s", what, e.what());
    } catch (...) {
        qCWarning(lcProps, "%s: unknown error", what);
    }
}

QString widgetText(const QWidget *w)
{
    if (auto *e = qobject_cast<const QLineEdit *>(w))
        return e->text();
    if (auto *c = qobject_cast<const QCheckBox *>(w))
        return c->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    if (auto *b = qobject_cast<const QComboBox *>(w))
        return b->currentText();
    return {};
}

void setLineText(QLineEdit *e, const QString &text)
{
    // The entry stops at the column's size, but what the store or the
    // browser hands over is never cut.
    if (text.size() > e->maxLength())
        e->setMaxLength(int(text.size()));
    e->setText(text);
}

void setWidgetText(QWidget *w, const QString &text)
{
    if (auto *e = qobject_cast<QLineEdit *>(w))
        setLineText(e, text);
    else if (auto *c = qobject_cast<QCheckBox *>(w))
        c->setChecked(text == QLatin1String("1"));
    else if (auto *b = qobject_cast<QComboBox *>(w))
        b->setCurrentIndex(b->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

bool emptyOrBlank(const QString &text) { return text.isEmpty() || text == QLatin1String(" "); }

QGroupBox *frame(QWidget *page, const QString &caption, const QString &name)
{
    auto *box = new QGroupBox(caption, page);
    box->setObjectName(name);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(6, 2, 6, 2);
    return box;
}

} // namespace

// ---------------------------------------------------------------- tabs

PropsTabs::PropsTabs(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("tab_PROPS"));
    m_group = new QButtonGroup(this);
    m_group->setExclusive(true);
    m_pages = new QStackedWidget(this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QWidget *&row : m_rows) {
        row = new QWidget(this);
        row->setFixedHeight(kBarHeight / 2);
        auto *h = new QHBoxLayout(row);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(1);
        layout->addWidget(row);
    }
    layout->addWidget(m_pages);
    connect(m_group, &QButtonGroup::idClicked, this, [this](int id) { setCurrentIndex(id); });
}

int PropsTabs::addTab(QWidget *page, const QString &caption)
{
    const int index = m_pages->addWidget(page);
    auto *button = new QToolButton(m_rows[index < 5 ? 0 : 1]);
    button->setObjectName(QStringLiteral("tab_%1").arg(index));
    button->setText(caption);
    button->setCheckable(true);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    button->setFixedHeight(kBarHeight / 2);
    m_rows[index < 5 ? 0 : 1]->layout()->addWidget(button);
    m_group->addButton(button, index);
    if (index == 0)
        button->setChecked(true);
    return index;
}

int PropsTabs::count() const { return m_pages->count(); }
int PropsTabs::currentIndex() const { return m_pages->currentIndex(); }
QString PropsTabs::tabText(int index) const { return tabButton(index) ? tabButton(index)->text() : QString(); }
QWidget *PropsTabs::page(int index) const { return m_pages->widget(index); }
QAbstractButton *PropsTabs::tabButton(int index) const { return m_group->button(index); }

void PropsTabs::setCurrentIndex(int index)
{
    // The last two tabs are never shown: selecting one goes back to the first.
    if (index == 8 || index == 9)
        index = 0;
    if (index < 0 || index >= count())
        return;
    if (QAbstractButton *b = tabButton(index))
        b->setChecked(true);
    if (index == m_pages->currentIndex())
        return;
    m_pages->setCurrentIndex(index);
    Q_EMIT currentChanged(index);
}

// ---------------------------------------------------------------- dialog

PropsDialog::PropsDialog(std::shared_ptr<store::Stores> stores, const QString &controlName, QWidget *parent)
    : QDialog(parent)
    , m_stores(std::move(stores))
    , m_name(controlName)
{
    setObjectName(QStringLiteral("f_PROPS"));
    setWindowTitle(QStringLiteral("Properties"));
    setModal(true);

    m_timerLimit = new QTimer(this);
    m_timerLimit->setObjectName(QStringLiteral("timer_LIMIT"));
    m_timerLimit->setInterval(1000);
    m_timerLimit->setSingleShot(true);
    m_timerScanRate = new QTimer(this);
    m_timerScanRate->setObjectName(QStringLiteral("timer_SCANRATE"));
    m_timerScanRate->setInterval(500);
    m_timerScanRate->setSingleShot(true);
    connect(m_timerLimit, &QTimer::timeout, this, [this] { guarded("limit check", [this] { limitTimerFired(); }); });
    connect(m_timerScanRate, &QTimer::timeout, this,
            [this] { guarded("scan-rate check", [this] { scanRateTimerFired(); }); });

    build();
    connectRules();
}

PropsDialog::~PropsDialog() = default;

void PropsDialog::bind(QWidget *widget, Field column)
{
    const schema::FieldDef &def = schema::definition(column);
    if (auto *e = qobject_cast<QLineEdit *>(widget); e && def.type == FieldType::Text)
        e->setMaxLength(def.size);
    m_bindings.push_back({column, widget, {}});
}

QLineEdit *PropsDialog::lineEdit(QWidget *parent, const QString &name, Field column, const QString &toolTip)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setToolTip(toolTip);
    bind(e, column);
    return e;
}

QCheckBox *PropsDialog::checkBox(QWidget *parent, const QString &name, const QString &caption, Field column)
{
    auto *c = new QCheckBox(caption, parent);
    c->setObjectName(name);
    bind(c, column);
    return c;
}

QComboBox *PropsDialog::comboBox(QWidget *parent, const QString &name, const QStringList &items,
                                 Field column, const QString &toolTip)
{
    auto *b = new QComboBox(parent);
    b->setObjectName(name);
    b->addItems(items);
    b->setCurrentIndex(-1);
    b->setToolTip(toolTip);
    bind(b, column);
    return b;
}

void PropsDialog::build()
{
    m_tabs = new PropsTabs(this);
    const char *captions[10] = {"Limits", "Alarms", "Prompts", "Activate", "Ratios",
                                "Logs",   "Colors", "Misc",    " ",        " "};
    for (int tab = 0; tab < 4; ++tab)
        m_tabs->addTab(buildLevelPage(tab), QLatin1String(captions[tab]));
    m_tabs->addTab(buildRatiosPage(), QLatin1String(captions[4]));
    m_tabs->addTab(buildLogsPage(), QLatin1String(captions[5]));
    m_tabs->addTab(buildColoursPage(), QLatin1String(captions[6]));
    m_tabs->addTab(buildMiscPage(), QLatin1String(captions[7]));
    auto *empty = new QWidget;
    empty->setObjectName(QStringLiteral("page_8"));
    m_tabs->addTab(empty, QLatin1String(captions[8]));
    m_tabs->addTab(buildCommPage(), QLatin1String(captions[9]));

    m_ok = new QPushButton(QStringLiteral("&OK"), this);
    m_ok->setObjectName(QStringLiteral("c_OK"));
    m_ok->setToolTip(QStringLiteral("Save Settings and Exit"));
    m_cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("c_CANCEL"));
    m_cancel->setToolTip(QStringLiteral("Exit Without Saving Settings"));

    // Enter in a field saves nothing by itself: no button is the default.
    for (QPushButton *b : findChildren<QPushButton *>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QWidget *PropsDialog::buildLevelPage(int tab)
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("page_%1").arg(tab));
    page->setFixedSize(kPageWidth, kPageHeight);
    const int width = tab == 0 ? kLimitsFrameWidth : kLevelFrameWidth;
    const int height = tab == 0 ? kLimitsFrameHeight : kLevelFrameHeight;
    const int upperTop = tab == 0 ? 24 : 2;
    const int lowerTop = tab == 0 ? 174 : 168;

    for (int l = 0; l < 4; ++l) {
        const LevelText &lv = kLevels[l];
        const QString key = QLatin1String(lv.key);
        const QString word = QLatin1String(lv.word);
        QString frameName = QStringLiteral("fr_") + key;
        QGroupBox *box = frame(page, word + QStringLiteral(" Limit"), frameName);
        box->resize(width, height);
        if (l == 0)
            box->move(kFrameLeft, upperTop);
        else if (l == 3)
            box->move(kFrameLeft, lowerTop);
        else
            (l == 1 ? m_warningFrames : m_cautionFrames)[tab] = box;
        auto *row = static_cast<QHBoxLayout *>(box->layout());

        switch (tab) {
        case 0:
            m_limitEnabled[l] = checkBox(box, QStringLiteral("chk_%1LIMITVALUE").arg(key),
                                         QLatin1String(lv.limitCaption), lv.limitEnabled);
            m_limitValue[l] = lineEdit(box, QStringLiteral("t_%1LIMITVALUE").arg(key), lv.limitValue,
                                       QStringLiteral("Enter The %1 Limit").arg(word));
            row->addWidget(m_limitEnabled[l]);
            row->addWidget(m_limitValue[l], 1);
            break;
        case 1:
            m_alarmLight[l] = checkBox(box, QStringLiteral("chk_%1ALARMLIGHT").arg(key), QStringLiteral("Alarm Light"),
                                       lv.alarmLight);
            m_alarmSound[l] = checkBox(box, QStringLiteral("chk_%1ALARMSOUND").arg(key),
                                       QStringLiteral("Alarm Sound >"), lv.alarmSound);
            {
                QStringList names = schema::alarmSoundNames();
                names.sort();
                m_soundName[l] = comboBox(box, QStringLiteral("combo_%1ALARMSOUND").arg(key), names, lv.soundName,
                                          QStringLiteral("Select Sound For The %1 Alarm").arg(word));
            }
            row->addWidget(m_alarmLight[l]);
            row->addWidget(m_alarmSound[l]);
            row->addWidget(m_soundName[l], 1);
            break;
        case 2:
            m_promptEnabled[l] = checkBox(box, QStringLiteral("chk_%1LIMITPROMPT").arg(key),
                                          QStringLiteral("Enable %1 Limit Alarm Prompt").arg(word),
                                          lv.promptEnabled);
            m_promptText[l] = lineEdit(box, QStringLiteral("t_%1LIMITPROMPT").arg(key), lv.promptText);
            m_promptText[l]->setText(QStringLiteral("%1 Limit Reached!").arg(word));
            row->addWidget(m_promptEnabled[l]);
            row->addWidget(m_promptText[l], 1);
            break;
        default:
            m_eventEnabled[l] = checkBox(box, QStringLiteral("chk_%1LIMITEVENT").arg(key),
                                         QStringLiteral("Enable %1 Limit Activation").arg(word),
                                         lv.eventEnabled);
            m_eventPath[l] = lineEdit(box, QStringLiteral("t_%1LIMITEVENT").arg(key), lv.eventPath);
            m_eventPath[l]->setText(
                QStringLiteral("Enter The Path To The Application To Activate On %1 Alarm").arg(word));
            m_browse[l] = new QPushButton(QStringLiteral("Browse"), box);
            m_browse[l]->setObjectName(QStringLiteral("c_%1LIMITEVENT").arg(key));
            m_browse[l]->setToolTip(QStringLiteral("Browse To %1 Alarm Activation Application").arg(word));
            row->addWidget(m_eventEnabled[l]);
            row->addWidget(m_eventPath[l], 1);
            row->addWidget(m_browse[l]);
            break;
        }
    }

    if (tab == 0) {
        auto *box = new QGroupBox(QStringLiteral("Direction"), page);
        box->setObjectName(QStringLiteral("fr_DIRECTION"));
        box->setGeometry(kFrameLeft + kLimitsFrameWidth + 10, upperTop, kPageWidth - kLimitsFrameWidth - 2 * kFrameLeft - 10,
                         3 * kLimitsFrameHeight);
        auto *v = new QVBoxLayout(box);
        m_ascending = new QRadioButton(QStringLiteral("Ascending"), box);
        m_ascending->setObjectName(QStringLiteral("option_ASCENDING"));
        m_ascending->setToolTip(QStringLiteral("Select Ascending Alarms"));
        m_descending = new QRadioButton(QStringLiteral("Descending"), box);
        m_descending->setObjectName(QStringLiteral("option_DESCENDING"));
        m_descending->setToolTip(QStringLiteral("Select Descending Alarms"));
        // The options set the direction; the text only shows what is stored.
        m_direction = lineEdit(box, QStringLiteral("t_DIRECTION"), Field::Direction);
        m_direction->setReadOnly(true);
        v->addWidget(m_ascending);
        v->addWidget(m_descending);
        v->addWidget(m_direction);
    }
    return page;
}

QWidget *PropsDialog::buildRatiosPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("page_4"));
    auto *v = new QVBoxLayout(page);
    auto function = [&](const QString &caption, QLineEdit *&mult, QLineEdit *&offset, QLineEdit *&label,
                        const char *multName, const char *offsetName, const char *labelName, Field multColumn,
                        Field offsetColumn, const char *initial) {
        auto *box = new QGroupBox(caption, page);
        auto *grid = new QGridLayout(box);
        mult = lineEdit(box, QLatin1String(multName), multColumn);
        offset = lineEdit(box, QLatin1String(offsetName), offsetColumn);
        label = new QLineEdit(QLatin1String(initial), box);
        label->setObjectName(QLatin1String(labelName));
        label->setReadOnly(true);
        grid->addWidget(new QLabel(QStringLiteral("Multiplier"), box), 0, 0);
        grid->addWidget(mult, 0, 1);
        grid->addWidget(new QLabel(QStringLiteral("Offset"), box), 0, 2);
        grid->addWidget(offset, 0, 3);
        grid->addWidget(label, 1, 0, 1, 4);
        v->addWidget(box);
    };
    function(QStringLiteral("Input Function"), m_inputMult, m_inputOffset, m_inputFunction, "t_DISPLAYMULT",
             "t_DISPLAYOFFSET", "t_DISPLAYEDFUNCTION", Field::InputMultiplier, Field::InputOffset,
             "Displayed Value = 1 (Input Value) + 0");
    function(QStringLiteral("Output Function"), m_outputMult, m_outputOffset, m_outputFunction,
             "t_DISPLAYOUTPUTMULT", "t_DISPLAYOUTPUTOFFSET", "t_DISPLAYEDOUTPUTFUNCTION",
             Field::OutputMultiplier, Field::OutputOffset, "Output Value = 1 (Displayed Value) + 0");
    v->addStretch();
    return page;
}

QWidget *PropsDialog::buildLogsPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("page_5"));
    auto *grid = new QGridLayout(page);
    const struct {
        const char *name, *caption;
        Field column;
    } reaching[5] = {
        {"chk_UPPERLOGREACHING", "Log Reaching Upper Limit", Field::LogUpperReaching},
        {"chk_WARNINGLOGREACHING", "Log Reaching Warning Range", Field::LogWarningReaching},
        {"chk_CAUTIONLOGREACHING", "Log Reaching Caution Range", Field::LogCautionReaching},
        {"chk_NORMALREACHING", "Log Reaching Normal Range", Field::LogNormalReaching},
        {"chk_LOWERLOGREACHING", "Log Reaching Lower Limit", Field::LogLowerReaching},
    };
    for (int i = 0; i < 5; ++i) {
        QCheckBox *c = checkBox(page, QLatin1String(reaching[i].name), QLatin1String(reaching[i].caption),
                                reaching[i].column);
        grid->addWidget(c, i, 0);
        const int level = i < 3 ? i : (i == 4 ? 3 : -1);
        if (level >= 0)
            m_logReaching[level] = c;
    }
    grid->addWidget(checkBox(page, QStringLiteral("chk_LOGUSERACTIONS"), QStringLiteral("Log User Actions"),
                             Field::LogUserActions),
                    0, 1, 1, 2);
    grid->addWidget(checkBox(page, QStringLiteral("chk_LOGSYSTEMEVENTS"), QStringLiteral("Log System Events / Errors"),
                             Field::LogSystemErrors),
                    1, 1, 1, 2);
    m_logDisplayed = checkBox(page, QStringLiteral("chk_LOGDISPLAYEDVALUE"), QStringLiteral("Record Values Every "),
                              Field::LogDisplayedEvery);
    m_logInterval = comboBox(page, QStringLiteral("combo_LOGDISPLAYEDVALUETIME"), intervalTexts(),
                             Field::LogEveryTimeInterval);
    grid->addWidget(m_logDisplayed, 2, 1);
    grid->addWidget(m_logInterval, 2, 2);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(3, 1);
    return page;
}

QWidget *PropsDialog::buildColoursPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("page_6"));
    auto *grid = new QGridLayout(page);
    for (int g = 0; g < 5; ++g) {
        const ColourGroupText &cg = kColourGroups[g];
        const QString key = QLatin1String(cg.key);
        auto *box = new QGroupBox(QLatin1String(cg.frame), page);
        box->setObjectName(QStringLiteral("fr_%1COLOR").arg(key));
        auto *v = new QGridLayout(box);
        v->setContentsMargins(6, 2, 6, 2);
        // The options choose the colour; the field shows its code.
        m_colourText[g] = lineEdit(box, QStringLiteral("t_%1COLOR").arg(key), cg.column);
        m_colourText[g]->setReadOnly(true);
        v->addWidget(m_colourText[g], 0, 0, 1, 2);
        for (int o = 0; o < 4; ++o) {
            const QString colour = QLatin1String(kColourNames[o]);
            auto *r = new QRadioButton(colour, box);
            r->setObjectName(QStringLiteral("option_%1%2").arg(key, colour.toUpper()));
            r->setToolTip(QStringLiteral("Select To Make The %1 %2").arg(QLatin1String(cg.subject), colour));
            m_colourOption[g][o] = r;
            v->addWidget(r, 1 + o / 2, o % 2);
        }
        grid->addWidget(box, g / 3, g % 3);
    }
    return page;
}

QWidget *PropsDialog::buildMiscPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("page_7"));
    auto *grid = new QGridLayout(page);
    m_units = lineEdit(page, QStringLiteral("t_UNITS"), Field::Units,
                       QStringLiteral("Enter The Units To Display.  (Ft/Min, MPH, F, C, etc.) 8 Char. Max."));
    m_scanRate = lineEdit(page, QStringLiteral("t_SCANRATE"), Field::Scanrate,
                          QStringLiteral("Set The Control Scan Rate in mS (100 - 60000 Gives .1 Sec - 1 Minute)"));
    m_password = lineEdit(page, QStringLiteral("t_PASSWORD"), Field::Password,
                          QStringLiteral("Enter The Control Password. 8 Chars. Max."));
    // Nobody looking over the operator's shoulder reads the password.
    m_password->setEchoMode(QLineEdit::Password);
    grid->addWidget(new QLabel(QStringLiteral("Displayed Units : "), page), 0, 0);
    grid->addWidget(m_units, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Scan Rate :"), page), 1, 0);
    grid->addWidget(m_scanRate, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("mS"), page), 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Password :"), page), 2, 0);
    grid->addWidget(m_password, 2, 1);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(3, 1);
    return page;
}

QWidget *PropsDialog::buildCommPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("page_9"));
    auto *grid = new QGridLayout(page);

    auto *options = new QGroupBox(QStringLiteral("Communications Options"), page);
    auto *og = new QGridLayout(options);
    og->addWidget(new QLabel(QStringLiteral("Address"), options), 0, 0);
    og->addWidget(lineEdit(options, QStringLiteral("t_CONTROLADDRESS"), Field::AddressValue), 0, 1);
    og->addWidget(new QLabel(QStringLiteral("Header"), options), 1, 0);
    og->addWidget(lineEdit(options, QStringLiteral("t_HEADERINPACKET"), Field::HeaderValue), 1, 1);
    og->addWidget(checkBox(options, QStringLiteral("chk_ALLOWMULTICONTROL"),
                           QStringLiteral("Allow Multiple Control Communications"), Field::AllowMultiControl),
                  2, 0, 1, 2);
    og->addWidget(checkBox(options, QStringLiteral("chk_ENCDECHEADER"), QStringLiteral("Encode/Decode Header In Packet"),
                           Field::EncdecHeader),
                  3, 0, 1, 2);
    og->addWidget(checkBox(options, QStringLiteral("chk_ENCDECADDRESS"),
                           QStringLiteral("Encode/Decode Address In Packet"), Field::EncdecAddress),
                  4, 0, 1, 2);
    grid->addWidget(options, 0, 0, 2, 1);

    auto port = [&](const QString &caption, const char *key, Field column, int row) {
        auto *box = new QGroupBox(caption, page);
        auto *g = new QGridLayout(box);
        g->addWidget(lineEdit(box, QStringLiteral("t_%1COMM").arg(QLatin1String(key)), column), 0, 0,
                     1, 4);
        for (int n = 1; n <= 4; ++n) {
            auto *r = new QRadioButton(QStringLiteral("COMM%1").arg(n), box);
            r->setObjectName(QStringLiteral("option_%1COMM%2").arg(QLatin1String(key)).arg(n));
            g->addWidget(r, 1, n - 1);
        }
        grid->addWidget(box, row, 1);
    };
    port(QStringLiteral("Outbound Communications Port"), "OUTBOUND", Field::OutboundCommPort, 0);
    port(QStringLiteral("Inbound Communications Port"), "INBOUND", Field::InboundCommPort, 1);

    auto *settings = new QGroupBox(QStringLiteral("Communications Settings"), page);
    auto *sg = new QGridLayout(settings);
    int column = 0;
    for (const char *caption : {"Stop Bits", "Data Bits", "Parity", "Baud Rate"})
        sg->addWidget(new QLabel(QLatin1String(caption), settings), 0, column++);
    sg->addWidget(comboBox(settings, QStringLiteral("combo_STOPBITS"), {QStringLiteral("1"), QStringLiteral("2")},
                           Field::StopBits), 1, 0);
    sg->addWidget(comboBox(settings, QStringLiteral("combo_DATABITS"), {QStringLiteral("7"), QStringLiteral("8")},
                           Field::DataBits), 1, 1);
    sg->addWidget(comboBox(settings, QStringLiteral("combo_PARITY"),
                           {QStringLiteral("No"), QStringLiteral("Odd"), QStringLiteral("Even")},
                           Field::Parity), 1, 2);
    sg->addWidget(comboBox(settings, QStringLiteral("combo_BAUDRATE"),
                           {QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("4800"),
                            QStringLiteral("9600"), QStringLiteral("14400"), QStringLiteral("19200"),
                            QStringLiteral("28800"), QStringLiteral("33600")},
                           Field::BaudRate), 1, 3);
    grid->addWidget(settings, 2, 0, 1, 2);
    return page;
}

void PropsDialog::connectRules()
{
    for (int l = 0; l < 4; ++l) {
        connect(m_limitValue[l], &QLineEdit::textChanged, this, [this] { restartLimitTimer(); });
        connect(m_limitEnabled[l], &QCheckBox::toggled, this, [this, l] { applyLevelEnabled(l); });
        connect(m_alarmSound[l], &QCheckBox::toggled, this, [this, l](bool on) {
            if (on && emptyOrBlank(m_soundName[l]->currentText()))
                m_soundName[l]->setCurrentIndex(m_soundName[l]->findText(QStringLiteral("BEEP")));
        });
        for (QLineEdit *e : {m_promptText[l], m_eventPath[l]}) {
            connect(e, &QLineEdit::textChanged, this, [e](const QString &text) {
                if (text.isEmpty())
                    e->setText(QStringLiteral(" "));
            });
        }
        connect(m_browse[l], &QPushButton::clicked, this,
                [this, l] { guarded("browse", [this, l] { browseClicked(l); }); });
    }
    connect(m_logDisplayed, &QCheckBox::toggled, this, [this](bool on) {
        if (on && emptyOrBlank(m_logInterval->currentText()))
            m_logInterval->setCurrentIndex(m_logInterval->findText(QStringLiteral("1 Minute")));
    });
    for (QLineEdit *e : {m_units, m_password}) {
        connect(e, &QLineEdit::textChanged, this, [e](const QString &text) {
            if (props::characterCount(text) > 8)
                e->setText(props::firstCharacters(text, 8));
        });
    }
    connect(m_scanRate, &QLineEdit::textChanged, this, [this] { restartScanRateTimer(); });

    connect(m_inputMult, &QLineEdit::textChanged, this, [this] {
        m_inputFunction->setText(props::inputFunctionLabel(m_inputMult->text(), m_inputOffset->text(), false));
    });
    connect(m_inputOffset, &QLineEdit::textChanged, this, [this] {
        m_inputFunction->setText(props::inputFunctionLabel(m_inputMult->text(), m_inputOffset->text(), true));
    });
    for (QLineEdit *e : {m_outputMult, m_outputOffset}) {
        connect(e, &QLineEdit::textChanged, this, [this] {
            m_outputFunction->setText(props::outputFunctionLabel(m_outputMult->text(), m_outputOffset->text()));
        });
    }

    connect(m_direction, &QLineEdit::textChanged, this, [this] { applyDirectionText(); });
    connect(m_ascending, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            directionSelected(true);
    });
    connect(m_descending, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            directionSelected(false);
    });

    for (int g = 0; g < 5; ++g) {
        connect(m_colourText[g], &QLineEdit::textChanged, this, [this, g] { applyColourText(g); });
        for (int o = 0; o < 4; ++o) {
            connect(m_colourOption[g][o], &QRadioButton::toggled, this, [this, g, o](bool on) {
                const QString code = props::colourCode(props::ColourOption(o));
                if (on && m_colourText[g]->text() != code)
                    m_colourText[g]->setText(code);
            });
        }
    }

    connect(m_ok, &QPushButton::clicked, this, [this] { guarded("OK", [this] { okClicked(); }); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { cancelClicked(); });
}

bool PropsDialog::findRow()
{
    m_timerLimit->stop();
    m_timerScanRate->stop();
    std::optional<SettingsRow> row = m_stores->settings().read(m_name);
    if (!row)
        return false;
    m_row = *row;

    // Texts and lists first, then the check boxes: the defaults a checked
    // sound or recording box sets ("BEEP", "1 Minute") then stay when the
    // row has no name or interval, instead of being emptied again.
    for (bool checks : {false, true}) {
        for (Binding &b : m_bindings) {
            if ((qobject_cast<QCheckBox *>(b.widget) != nullptr) != checks)
                continue;
            const QString text = props::fieldText(m_row.value(b.column));
            setWidgetText(b.widget, text);
            // A text keeps what the row said even where a rule changed it at
            // once, so the change is saved; boxes and lists what they show.
            b.filled = qobject_cast<QLineEdit *>(b.widget) ? text : widgetText(b.widget);
        }
    }
    // The rules of the filled values that a fill does not set off when a
    // field already showed the same.
    applyDirectionText();
    for (int g = 0; g < 5; ++g)
        applyColourText(g);
    for (int l = 0; l < 4; ++l)
        applyLevelEnabled(l);

    setWindowTitle(m_name + QStringLiteral(" Config."));
    return true;
}

void PropsDialog::restartLimitTimer()
{
    m_timerLimit->stop();
    m_timerLimit->start();
}

void PropsDialog::restartScanRateTimer()
{
    m_timerScanRate->stop();
    m_timerScanRate->start();
}

void PropsDialog::applyDirectionText()
{
    const bool ascending = props::selectsAscending(m_direction->text());
    QRadioButton *option = ascending ? m_ascending : m_descending;
    if (!option->isChecked())
        option->setChecked(true); // as a click: the text becomes the option's
    else if (m_direction->text() != option->text())
        m_direction->setText(option->text());
    moveFrames();
}

void PropsDialog::directionSelected(bool ascending)
{
    const QString text = ascending ? QStringLiteral("Ascending") : QStringLiteral("Descending");
    if (m_direction->text() != text)
        m_direction->setText(text);
    moveFrames();
    restartLimitTimer();
}

void PropsDialog::moveFrames()
{
    const bool ascending = m_ascending->isChecked();
    for (int e = 0; e < 4; ++e) {
        m_warningFrames[e]->move(kFrameLeft, props::frameTopTwips(true, e, ascending) / 15 - PropsTabs::kBarHeight);
        m_cautionFrames[e]->move(kFrameLeft, props::frameTopTwips(false, e, ascending) / 15 - PropsTabs::kBarHeight);
    }
}

void PropsDialog::applyLevelEnabled(int level)
{
    const bool on = m_limitEnabled[level]->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(m_alarmLight[level]), static_cast<QWidget *>(m_alarmSound[level]),
                       static_cast<QWidget *>(m_promptEnabled[level]), static_cast<QWidget *>(m_eventEnabled[level]),
                       static_cast<QWidget *>(m_logReaching[level])})
        w->setEnabled(on);
}

void PropsDialog::applyColourText(int group)
{
    const props::ColourOption option = props::optionForColour(kColourGroups[group].group, m_colourText[group]->text());
    QRadioButton *button = m_colourOption[group][int(option)];
    const QString code = props::colourCode(option);
    if (!button->isChecked())
        button->setChecked(true); // writes the code, as a click does
    else if (m_colourText[group]->text() != code)
        m_colourText[group]->setText(code);
}

void PropsDialog::limitTimerFired()
{
    m_timerLimit->stop();
    const props::Limits limits{props::readNumber(m_limitValue[0]->text()), props::readNumber(m_limitValue[1]->text()),
                               props::readNumber(m_limitValue[2]->text()), props::readNumber(m_limitValue[3]->text())};
    const std::optional<props::LimitFault> fault = props::checkLimits(limits, m_ascending->isChecked());
    if (!fault)
        return;
    QPointer<PropsDialog> self(this);
    showMessage(fault->title, fault->text);
    if (!self)
        return;
    // The correction is an edit of a limit: the next rule is checked a
    // second later.
    setLineText(m_limitValue[int(fault->corrected)], props::correctionText(fault->correction));
}

void PropsDialog::scanRateTimerFired()
{
    m_timerScanRate->stop();
    const QString text = props::clampScanRateText(m_scanRate->text());
    if (text != m_scanRate->text())
        m_scanRate->setText(text);
}

void PropsDialog::browseClicked(int level)
{
    QPointer<PropsDialog> self(this);
    const QString path = runProgramBrowser(this);
    if (!self)
        return;
    if (path.isEmpty())
        return;
    const int size = schema::definition(kLevels[level].eventPath).size;
    const int length = props::characterCount(path);
    if (length > size) {
        showMessage(QStringLiteral("Path Too Long"),
                    QStringLiteral("The path of the chosen program has %1 characters; the field holds at most %2.\n\n"
                                   "The field keeps its former path.")
                        .arg(length)
                        .arg(size));
        return;
    }
    setLineText(m_eventPath[level], path);
}

bool PropsDialog::save()
{
    SettingsRow changes;
    QStringList refused;
    bool any = false;
    for (const Binding &b : m_bindings) {
        const QString text = widgetText(b.widget);
        if (text == b.filled)
            continue;
        const schema::FieldDef &def = schema::definition(b.column);
        const QVariant value = props::columnValue(def.type, text, !m_row.has(b.column));
        try {
            changes.set(b.column, value);
            any = any || changes.has(b.column);
        } catch (const Error &e) {
            refused << e.message();
        }
    }
    if (!refused.isEmpty()) {
        showMessage(QStringLiteral("Settings Not Saved"),
                    QStringLiteral("These fields could not be saved:\n\n%1\n\nNothing was saved. Correct the fields "
                                   "and press OK again, or press Cancel to keep the settings as they were.")
                        .arg(refused.join(QLatin1Char('\n'))));
        return false;
    }
    if (!any)
        return true;
    try {
        m_stores->settings().writeRow(m_name, changes);
    } catch (const Error &e) {
        if (e.kind() == Error::Kind::NotFound) {
            // Another program deleted the row: nothing can be saved, and
            // keeping the dialog open would not change that.
            showMessage(QStringLiteral("Settings Not Saved"),
                        QStringLiteral("The settings of %1 are no longer in the settings store; another program "
                                       "deleted them. The changes could not be saved.")
                            .arg(m_name));
            return true;
        }
        showMessage(QStringLiteral("Settings Not Saved"),
                    QStringLiteral("The settings could not be saved:\n\n%1\n\nNothing was saved. Press OK to try "
                                   "again, or Cancel to keep the settings as they were.")
                        .arg(e.message()));
        return false;
    }
    return true;
}

void PropsDialog::okClicked()
{
    QPointer<PropsDialog> self(this);
    if (save() && self)
        done(QDialog::Accepted);
}

void PropsDialog::cancelClicked() { done(QDialog::Rejected); }

void PropsDialog::reject()
{
    guarded("close", [this] { okClicked(); });
}

void PropsDialog::showMessage(const QString &title, const QString &text)
{
    // On the heap: a host that deletes the dialog's window while the box is
    // open takes the box with it.
    QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
    box->exec();
    delete box.data();
}

bool runPropertiesDialog(std::shared_ptr<store::Stores> stores, const QString &controlName, QWidget *parent)
{
    // On the heap: a host that deletes the parent window while the dialog
    // runs takes the dialog with it, and nothing here touches it after.
    QPointer<PropsDialog> dialog = new PropsDialog(std::move(stores), controlName, parent);
    bool found = false;
    try {
        found = dialog->findRow();
    } catch (...) {
        delete dialog.data();
        throw;
    }
    if (found)
        dialog->exec();
    delete dialog.data();
    return found;
}

} // namespace quellix::config
