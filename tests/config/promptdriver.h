#pragma once

// Drives the modal password prompt from inside its own exec(): the steps
// run once the prompt is shown; a watchdog closes whatever modal window is
// still open so a failing step never leaves a test waiting.

#include "passwordprompt.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <functional>

namespace promptdriver {

inline QLineEdit *entry() { return quellix::config::PasswordPrompt::instance().findChild<QLineEdit *>("t_PASSWORD"); }

/// Types `text` into the entry box and presses Enter with `mods`.
inline void typeAndEnter(const QString &text, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QTest::keyClicks(entry(), text);
    QTest::keyClick(entry(), Qt::Key_Return, mods);
}

/// Runs `steps` once the prompt is open (the next exec() to start).
inline void whenPromptOpen(std::function<void()> steps)
{
    QTimer::singleShot(0, qApp, [steps] {
        QVERIFY(quellix::config::PasswordPrompt::instance().isVisible());
        steps();
    });
    QTimer::singleShot(5000, qApp, [] {
        while (QWidget *w = QApplication::activeModalWidget())
            w->close();
    });
}

} // namespace promptdriver
