#include "passwordprompt.h"

#include "windowstate.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace quellix::config {

namespace {

WrongPasswordHandler &wrongPasswordHandler()
{
    static WrongPasswordHandler handler;
    return handler;
}

QMessageBox::StandardButton showWrongPassword(QWidget *parent)
{
    const QString text = QString::fromLatin1(kWrongPasswordText);
    const QString title = QString::fromLatin1(kWrongPasswordTitle);
    if (const WrongPasswordHandler &h = wrongPasswordHandler())
        return h(text, title);
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setDefaultButton(QMessageBox::Cancel);
    return QMessageBox::StandardButton(box.exec());
}

bool isEnter(const QKeyEvent *e)
{
    // Shift, Ctrl and Alt do not matter.
    return e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
}

} // namespace

GateOutcome gateDecision(const QString &mode, const QString &typed, const QString &expected)
{
    if (typed.compare(expected, Qt::CaseSensitive) != 0)
        return GateOutcome::Refused;
    if (mode == QLatin1String(kModeSetup))
        return GateOutcome::OpenSetup;
    if (mode == QLatin1String(kModeLog))
        return GateOutcome::DeleteLog;
    if (mode == QLatin1String(kModeData))
        return GateOutcome::DeleteSamples;
    return GateOutcome::CloseOnly;
}

void setWrongPasswordHandler(WrongPasswordHandler handler) { wrongPasswordHandler() = std::move(handler); }

PasswordPrompt &PasswordPrompt::instance()
{
    static QPointer<PasswordPrompt> prompt;
    if (!prompt) {
        // Kept for the life of the process, like the other process-wide windows.
        prompt = new PasswordPrompt;
    }
    return *prompt;
}

PasswordPrompt::PasswordPrompt()
{
    setObjectName(QStringLiteral("f_PASSWORD"));
    setWindowTitle(QStringLiteral("Setup Password"));
    setModal(true);

    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("l_LABEL"));
    m_label->setWordWrap(true);

    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("t_PASSWORD"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setToolTip(QStringLiteral("Enter The Password For This Control"));
    // Every key reaches the prompt before the entry box.
    m_password->installEventFilter(this);

    m_ok = new QPushButton(QStringLiteral("&OK"), this);
    m_ok->setObjectName(QStringLiteral("c_PASSWORDOK"));
    m_ok->setToolTip(QStringLiteral("Press To Accept Password"));
    m_cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("c_SETUPOK"));
    m_cancel->setToolTip(QStringLiteral("Press To Cancel Password Entry"));
    // Enter is the prompt's own key: no default button takes it.
    for (QPushButton *b : {m_ok, m_cancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(m_password);
    layout->addLayout(buttons);

    connect(m_ok, &QPushButton::clicked, this, &PasswordPrompt::okClicked);
    connect(m_cancel, &QPushButton::clicked, this, &PasswordPrompt::cancelClicked);
}

void PasswordPrompt::setLabelText(const QString &text) { m_label->setText(text); }

bool PasswordPrompt::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_password && event->type() == QEvent::KeyPress && isEnter(static_cast<QKeyEvent *>(event))) {
        okClicked();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void PasswordPrompt::keyPressEvent(QKeyEvent *event)
{
    // Enter anywhere in the prompt is OK; QDialog would otherwise treat it
    // as a default-button press.
    if (isEnter(event)) {
        okClicked();
        return;
    }
    QDialog::keyPressEvent(event);
}

void PasswordPrompt::okClicked()
{
    const ConfigContext &ctx = sharedWindowState().config;
    const GateOutcome outcome = gateDecision(ctx.passwordMode, m_password->text(), ctx.passwordExpected);
    if (outcome == GateOutcome::Refused) {
        showWrongPassword(this);
        m_password->clear();
        return;
    }
    m_password->clear();
    m_outcome = outcome;
    accept();
}

void PasswordPrompt::cancelClicked() { reject(); }

void PasswordPrompt::reject()
{
    // Cancel, Escape and the window's close box: nothing typed is kept.
    m_password->clear();
    QDialog::reject();
}

bool askPassword(const QString &label)
{
    PasswordPrompt &prompt = PasswordPrompt::instance();
    prompt.setLabelText(label);
    return prompt.exec() == QDialog::Accepted;
}

} // namespace quellix::config
