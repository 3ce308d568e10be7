#pragma once

// The password prompt f_PASSWORD: the gate in front of the properties
// dialog (mode "SETUP") and of the log viewer's two deletes ("LOG",
// "DATA"). One prompt per process, created on first use and shown modally;
// it compares what the operator types with the configuration context's
// passwordExpected (windowstate.h). A wrong password shows a message and
// the operator may try again, without limit.

#include <QDialog>
#include <QMessageBox>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quellix::config {

/// What OK (or Enter) leads to.
enum class GateOutcome {
    Refused,       ///< wrong password: message, entry cleared, prompt stays open
    OpenSetup,     ///< mode "SETUP": the properties dialog
    DeleteLog,     ///< mode "LOG": every record of the viewer's log list
    DeleteSamples, ///< mode "DATA": the viewer's control's samples
    CloseOnly,     ///< any other mode: the prompt just closes
};

/// The gate's decision: exact comparison (case counts), then the mode.
GateOutcome gateDecision(const QString &mode, const QString &typed, const QString &expected);

/// The wrong-password message: text, title, OK and Cancel (Cancel the
/// default), exclamation icon. The seam lets tests answer it without a
/// window; it returns the button chosen.
using WrongPasswordHandler = std::function<QMessageBox::StandardButton(const QString &text, const QString &title)>;
void setWrongPasswordHandler(WrongPasswordHandler handler); ///< nullptr restores the modal message box

inline constexpr const char *kWrongPasswordText = "Please re-enter your password.";
inline constexpr const char *kWrongPasswordTitle = "The Password Was Incorrect!!";

class PasswordPrompt : public QDialog
{
    Q_OBJECT
public:
    /// The process's prompt, created on first use.
    static PasswordPrompt &instance();

    void setLabelText(const QString &text);
    /// The outcome of the last accepted password, valid after exec()
    /// returned Accepted.
    GateOutcome lastOutcome() const { return m_outcome; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

public Q_SLOTS:
    void reject() override;

private:
    PasswordPrompt();
    void okClicked();
    void cancelClicked();

    QLabel *m_label = nullptr;
    QLineEdit *m_password = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
    GateOutcome m_outcome = GateOutcome::CloseOnly;
};

/// Shows the prompt modally with `label` for the mode and password in the
/// configuration context; returns when it closes, true when the right
/// password was given (false for Cancel or a closed window). The caller
/// then does what the mode asks for.
bool askPassword(const QString &label);

} // namespace quellix::config
