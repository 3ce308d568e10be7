#pragma once

// Registration of a form's control with its first-run setup, for any host:
// the control is a QObject with the control's properties (the Quellix
// widget or a quellix::Engine), so nothing here needs a widget.

#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <optional>

class QObject;

namespace channels {
class Reporter;
}

namespace host {

/// Parses "Key=Value; Key=Value" (blanks around keys and values trimmed,
/// empty items skipped). A key without '=' is an error.
std::optional<QList<QPair<QString, QString>>> parseSetup(const QString &text, QString *error);

/// Registers `control` (its objectName names its settings row) by calling
/// `registerIt`, by default its invokable REGISTER(). A control whose name
/// had no settings row before gets its first-run setup, "Key=Value; ..."
/// where a key is a property of the control (Units, Ascending, LowerLimit,
/// ...) or a settings field ("Log System Errors", "Log Every Time
/// Interval", ...); when a settings field was written the control registers
/// again so it runs with the row. A setup item that fails is reported
/// naming the control, and the others still apply. Never throws.
void registerWithSetup(QObject *control, const QString &setup, channels::Reporter &report,
                       const std::function<void(QObject *)> &registerIt = {});

} // namespace host
