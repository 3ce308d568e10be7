#pragma once

// One step of a handler whose failures are skipped: registration, the
// lifecycle handlers, the scan, and whatever the event loop calls (buttons,
// timers). A failing step never reaches the host; it is reported on the
// handler's logging category so the person running the program can see it.

#include <QLoggingCategory>
#include <QString>

#include <exception>

namespace quellix {

enum class StepReport { Warning, Debug };

/// Runs `fn`; returns false, after reporting it, when it throws.
template<typename Fn>
bool runStep(const QLoggingCategory &(*category)(), StepReport report, const QString &control, const char *what,
             Fn &&fn) noexcept
{
    const char *why = "unknown error";
    try {
        fn();
        return true;
    } catch (const std::exception &e) {
        why = e.what();
        if (report == StepReport::Warning)
            qCWarning(category, "%s: %s failed: %s", qPrintable(control), what, why);
        else
            qCDebug(category, "%s: %s skipped: %s", qPrintable(control), what, why);
    } catch (...) {
        if (report == StepReport::Warning)
            qCWarning(category, "%s: %s failed: %s", qPrintable(control), what, why);
        else
            qCDebug(category, "%s: %s skipped: %s", qPrintable(control), what, why);
    }
    return false;
}

} // namespace quellix
