#pragma once

#include "engine_p.h"
#include "faceaccess.h"
#include "quellix.h"

#include <QPointer>
#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

/// The face of one Quellix control: its sixteen elements, drawn from what
/// its engine says, and the clicks and windows it passes back.
class QuellixPrivate final : public quellix::EngineFace
{
public:
    explicit QuellixPrivate(Quellix *q);
    ~QuellixPrivate() override;

    Quellix *const q;
    static QuellixPrivate *get(Quellix *control) { return control->d.get(); }

    /// The engine: the control's state, pipeline, scan, stores. A child of
    /// the control (so its timers are found among the control's children),
    /// deleted before the face's elements.
    quellix::Engine *engine = nullptr;
    quellix::EnginePrivate *e = nullptr;
    /// The engine's state, for the face to read.
    const quellix::ControlState &state() const { return e->s; }

    // face elements
    QLabel *iBorder = nullptr;
    QLabel *logo = nullptr;
    QLabel *tGaugeName = nullptr;
    QLineEdit *tRecordLite = nullptr;
    QLineEdit *tNormal = nullptr;
    QLineEdit *tCaution = nullptr;
    QLineEdit *tWarning = nullptr;
    QLineEdit *tCommLight = nullptr;
    QLineEdit *tOnHold = nullptr;
    QLineEdit *tOutput = nullptr;
    QLineEdit *tReadout = nullptr;
    QLineEdit *tUnits = nullptr;
    QPushButton *cHold = nullptr;
    QPushButton *cLogs = nullptr;
    QPushButton *cProperties = nullptr;
    QPushButton *cReset = nullptr;

    // resize passes: how deep they are nested now, and how many have run
    int resizeDepth = 0;
    quint64 resizePasses = 0;
    /// How many Resize events in a row were caused by the host resizing the
    /// control from its own Resize handler; -1 outside such a handler.
    int resizeGeneration = -1;
    /// Raises Resize once Qt has finished resizing. A host that resizes the
    /// control from every Resize handler gets at most `limit` more.
    void raiseResizeLater(int limit);

    /// The host's name of this control, read anew at every use.
    QString name() const { return q->objectName(); }

    /// The thirteen operator elements whose enabled state follows Enabled.
    std::array<QWidget *, 13> enabledFollowers() const;

    void createFace();
    void connectEngine();
    void outputTextEdited();

    // What the engine says (EngineFace).
    void showReadout(double value) override;
    void showOutput(double value) override;
    void showUnits(const QString &units) override;
    void showName() override;
    void showIndicators(bool normalLit, bool cautionLit, bool warningLit) override;
    void showHold() override;
    void showAlarmReset(bool reset) override;
    void showRecording(bool on) override;
    void showColours() override;
    void showEnabled(bool on) override;
    void scanned() override;

    // Calls from the host. A setter reached through a signal-slot connection
    // (the event loop is on the stack) reports its failure instead of
    // throwing; a direct call or setProperty() gets the quellix::Error.
    template<typename Fn>
    void hostCall(const char *property, Fn &&fn, bool alwaysReport = false);

    /// Runs `fn` from the event loop: whatever it throws is reported through
    /// reportError() (unless its own events deleted the control) and goes no
    /// further.
    template<typename Fn>
    void reporting(const char *what, Fn &&fn) noexcept
    {
        QPointer<Quellix> alive(q);
        QString why;
        try {
            fn();
            return;
        } catch (const std::exception &ex) {
            why = QString::fromUtf8(ex.what());
        } catch (...) {
            why = QStringLiteral("unknown error");
        }
        if (alive)
            reportError(QString::fromLatin1(what), why);
    }
    /// Tells the host of a failure it could not be handed as an exception:
    /// a warning on the "quellix" category and errorOccurred().
    void reportError(const QString &property, const QString &message);

    /// Keeps the accessible names and descriptions of the readouts and
    /// indicators saying the range and the value in words.
    void updateAccessibleTexts();
    quellix::face::AccessibleFacts accessibleFacts; ///< what they say now

    // event relays of the face (lifecycle.cpp): clicks, double clicks and
    // mouse moves on the elements that pass them on to the host
    void installRelays();

    // buttons
    void connectButtons();
    void holdClicked();
    /// Raises a parameterless event once Qt has finished the change that
    /// caused it (shown, hidden, laid out), so a handler may delete the
    /// control.
    void raiseLater(void (Quellix::*signal)());
    void resetClicked();
    /// Config: the password prompt in mode "SETUP", then the reload of the
    /// control's settings row, whatever happened in the prompt.
    void configClicked();
    /// Reloads the control's settings row; raises Click when the store has
    /// no row of the control's name.
    void reloadAfterConfig();
    /// Logs: the log viewer shown modally for this control, the chosen
    /// chart style written back to the settings row, then Click.
    void logsClicked();
};
