#pragma once

// A panel form drawn in Qt Designer: loaded with QUiLoader, its Quellix
// controls registered in the current directory, and saved at the end.

#include "channels.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <memory>

class Quellix;

namespace panel {

/// Loads a .ui form (a file or a resource path) with Quellix known to the
/// loader. Returns nothing and says why in `error` when the form cannot be
/// read.
std::unique_ptr<QWidget> loadForm(const QString &path, QString *error);

/// The Quellix controls of a form, in the form's order.
QList<Quellix *> controlsOf(QWidget *form);

/// The channel targets of controls: each fed by the address in its string
/// property "channel", its readings into Quellix::setValue() and its link
/// into Quellix::setLinkUp(), for as long as the control lives.
QList<channels::Target> channelTargets(const QList<Quellix *> &controls);

/// Sends each control its load notification (readProperties(): the control
/// registers in the current directory). A control whose name had no
/// settings row before gets its first-run setup: the form's string
/// property "setup", "Key=Value; ..." where a key is a property of the
/// control (Units, Ascending, LowerLimit, ...) or a settings field ("Log
/// System Errors", "Log Every Time Interval", ...); the row is then loaded
/// again. A setup item that fails is reported naming the control.
void registerControls(const QList<Quellix *> &controls, channels::Reporter &report);

/// The run-time save of every control still alive (writeProperties()).
void saveControls(const QList<QPointer<Quellix>> &controls);

} // namespace panel
