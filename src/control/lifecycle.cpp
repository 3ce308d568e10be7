// The control's reaction to its host: lifecycle notifications and the
// widget events that stand for them.

#include "alarmsound.h"
#include "quellix_p.h"
#include "quellixerror.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

using namespace quellix;
using namespace quellix::store;

void Quellix::initialize() {}

void Quellix::initProperties()
{
    d->tGaugeName->setText(objectName());
    REGISTER();
}

void Quellix::readProperties()
{
    REGISTER();
    for (QWidget *w : d->enabledFollowers())
        w->setEnabled(d->s.enabled);
}

void Quellix::writeProperties()
{
    if (!d->userMode)
        return;
    d->runtimeSave();
}

void Quellix::ambientChanged()
{
    d->tGaugeName->setText(objectName());
}

void Quellix::terminate() {}

bool Quellix::event(QEvent *e)
{
    return QWidget::event(e);
}

bool Quellix::eventFilter(QObject *watched, QEvent *e)
{
    return QWidget::eventFilter(watched, e);
}

void Quellix::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    Q_EMIT Show();
}

void Quellix::hideEvent(QHideEvent *e)
{
    QWidget::hideEvent(e);
    Q_EMIT Hide();
}

void Quellix::mousePressEvent(QMouseEvent *e) { QWidget::mousePressEvent(e); }
void Quellix::mouseReleaseEvent(QMouseEvent *e) { QWidget::mouseReleaseEvent(e); }
void Quellix::mouseMoveEvent(QMouseEvent *e) { QWidget::mouseMoveEvent(e); }

void QuellixPrivate::runtimeSave()
{
    // Every step runs whatever the one before did.
    const QString control = name();
    try {
        dbData.refresh();
        const int n = dbData.recordCount();
        if (!dbData.isEmpty())
            dbData.moveFirst();
        for (int i = 0; i < n; ++i) {
            if (dbData.field(QStringLiteral("Control Name")).toString() == control) {
                dbData.edit();
                dbData.setField(QStringLiteral("Input Offset"), s.inputOffset);
                dbData.setField(QStringLiteral("Input Multiplier"), s.inputMultiplier);
                dbData.setField(QStringLiteral("Output Offset"), s.outputOffset);
                dbData.setField(QStringLiteral("Output Multiplier"), s.outputMultiplier);
                dbData.setField(QStringLiteral("Lower Limit Value"), s.lowerLimit);
                dbData.setField(QStringLiteral("Caution Limit Value"), s.cautionLimit);
                dbData.setField(QStringLiteral("Warning Limit Value"), s.warningLimit);
                dbData.setField(QStringLiteral("Upper Limit Value"), s.upperLimit);
                dbData.setField(QStringLiteral("Units"), s.units);
                dbData.update();
                break;
            }
            dbData.moveNext();
        }
    } catch (const Error &) {
    }
    if (s.logSystemErrors)
        appendLog(QStringLiteral("SYSTEM"), QStringLiteral("Shut Down"), NumberForm::Str, OnError::SkipStep);
    try {
        stopAlarmSound();
    } catch (const Error &) {
    }
}
