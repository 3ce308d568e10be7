// The face of the control: its sixteen elements, their initial appearance
// and the timers.

#include "facebitmaps.h"
#include "fittedtext.h"
#include "hostcolor.h"
#include "quellix_p.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace quellix;

namespace {

QFont faceFont(const QString &family, bool bold)
{
    QFont f(family);
    f.setBold(bold);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

QLineEdit *makeBox(QWidget *parent, const char *name, const QString &text, const QString &family, bool bold,
                   const QColor &background, const QColor &foreground, const QString &tip)
{
    auto *box = new QLineEdit(text, parent);
    box->setObjectName(QLatin1String(name));
    box->setFont(faceFont(family, bold));
    box->setFrame(false);
    box->setAlignment(Qt::AlignCenter);
    box->setTextMargins(0, 0, 0, 0);
    box->setContentsMargins(0, 0, 0, 0);
    box->setToolTip(tip);
    box->setAutoFillBackground(true);
    QPalette pal = box->palette();
    pal.setColor(QPalette::Base, background);
    pal.setColor(QPalette::Window, background);
    if (foreground.isValid())
        pal.setColor(QPalette::Text, foreground);
    box->setPalette(pal);
    return box;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text, const QString &tip)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setFont(faceFont(QStringLiteral("Times New Roman"), false));
    b->setToolTip(tip);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

} // namespace

void QuellixPrivate::createFace()
{
    const QString times = QStringLiteral("Times New Roman");
    const QString arial = QStringLiteral("Arial");
    const QColor black(0, 0, 0);

    // Creation order is stacking order: the images and the name label lie
    // lowest, the readout below the five boxes that overlap it.
    iBorder = new QLabel(q);
    iBorder->setObjectName(QStringLiteral("i_BORDER"));
    iBorder->setScaledContents(true);
    iBorder->setPixmap(face::borderPixmap());

    logo = new QLabel(q);
    logo->setObjectName(QStringLiteral("LOGO"));
    logo->setScaledContents(true);
    logo->setPixmap(face::logoPixmap());

    tGaugeName = new QLabel(q);
    tGaugeName->setObjectName(QStringLiteral("t_GAUGENAME"));
    tGaugeName->setFont(faceFont(arial, true));
    tGaugeName->setAlignment(Qt::AlignCenter);
    tGaugeName->setToolTip(QStringLiteral("Control Name Display"));
    {
        QPalette pal = tGaugeName->palette();
        pal.setColor(QPalette::WindowText, QColor(255, 255, 255));
        tGaugeName->setPalette(pal);
    }

    tReadout = makeBox(q, "t_READOUT", QStringLiteral("9999.99"), times, false, black, QColor(255, 0, 0),
                       QStringLiteral("Display Value Readout"));
    tReadout->setReadOnly(true);
    // The digits sit in the readout's upper right: the link and hold boxes
    // cover its left edge and the output, recording and units boxes its
    // lower part. Right alignment keeps the digits still as a value changes.
    tReadout->setAlignment(Qt::AlignRight | Qt::AlignTop);
    tNormal = makeBox(q, "t_NORMAL", QStringLiteral("NORMAL"), times, true, QColor(0, 255, 0), QColor(),
                      QStringLiteral("Normal Indicator"));
    tCaution = makeBox(q, "t_CAUTION", QStringLiteral("CAUTION"), times, true, QColor(128, 128, 0), QColor(),
                       QStringLiteral("Caution Indicator"));
    tWarning = makeBox(q, "t_WARNING", QStringLiteral("WARNING"), times, true, QColor(128, 0, 0), QColor(),
                       QStringLiteral("Warning Indicator"));
    tCommLight = makeBox(q, "t_COMMLIGHT", QStringLiteral("Link"), times, false, black, QColor(0, 64, 0),
                         QStringLiteral("Communications Link Indicator"));
    tOnHold = makeBox(q, "t_ONHOLD", QStringLiteral("Hold"), times, false, black, QColor(0, 64, 0),
                      QStringLiteral("Hold Indicator"));
    tOutput = makeBox(q, "t_OUTPUT", QStringLiteral("9999.99"), times, false, black, QColor(0, 255, 0),
                      QStringLiteral("Output Value Display"));
    tRecordLite = makeBox(q, "t_RECORDLITE", QStringLiteral("R"), times, true, black, QColor(255, 0, 0),
                          QStringLiteral("Data Recording Indicator"));
    tUnits = makeBox(q, "t_UNITS", QStringLiteral("12345678"), arial, false, black, QColor(255, 255, 0),
                     QStringLiteral("Units Display"));
    for (QLineEdit *indicator : {tNormal, tCaution, tWarning, tCommLight, tOnHold, tRecordLite})
        indicator->setReadOnly(true);
    // A value or unit too wide for its box is shown smaller, never cut.
    for (QLineEdit *box : {tReadout, tOutput, tUnits})
        new face::FittedText(box);

    // Names that say what each box is; their descriptions say what it
    // shows (updateAccessibleTexts()).
    tReadout->setAccessibleName(QStringLiteral("Displayed value"));
    tOutput->setAccessibleName(QStringLiteral("Output value"));
    tNormal->setAccessibleName(QStringLiteral("Normal indicator"));
    tCaution->setAccessibleName(QStringLiteral("Caution indicator"));
    tWarning->setAccessibleName(QStringLiteral("Warning indicator"));

    cHold = makeButton(q, "c_HOLD", QStringLiteral("Hold"), QStringLiteral("Press To Toggle Display Hold Status"));
    cLogs = makeButton(q, "c_LOGS", QStringLiteral("Logs"), QStringLiteral("Press To View Logs"));
    cProperties = makeButton(q, "c_PROPERTIES", QStringLiteral("Config"),
                             QStringLiteral("Press To Enter The Configuration Screen"));
    cReset = makeButton(q, "c_RESET", QStringLiteral("Alarm Reset"), QStringLiteral("Press To Reset Alarm Sound"));

    // What an operator types into the output box is formatted once the
    // entry is finished (Enter or leaving the box): formatting every
    // keystroke would turn "7.1" into "7.00.1" as it is typed.
    QObject::connect(tOutput, &QLineEdit::editingFinished, q, [this] {
        if (tOutput->isModified()) {
            tOutput->setModified(false);
            outputTextEdited();
        }
    });

    updateAccessibleTexts();
}
