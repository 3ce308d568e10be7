#pragma once

#include "engine.h"

#include <QString>

class QWidget;

namespace quellix {

/// What the alarm prompt window needs of the control that raised the latest
/// prompt to write its acknowledgement record: the engine's request. The
/// control copies it in just before it shows a prompt; the last prompt wins.
using PromptSnapshot = PromptRequest;

/// The process-wide snapshot, empty until the first prompt.
PromptSnapshot &promptSnapshot();

/// Shows the process-wide alarm prompt window f_MESSAGE with this caption
/// and prompt text, non-modal, and returns at once. The window is created
/// on first use and loaded again (placed at the top centre of the screen,
/// label yellow, flash timer at 500 ms) whenever a prompt finds it closed.
/// A prompt arriving while the window is shown replaces caption and text.
/// The window's own LOG cursor is pointed at the store directory's LOG.MDB;
/// when that fails the prompt is still shown and its acknowledgement is not
/// recorded.
///
/// Acknowledge, or closing the window, appends one "USER" record
/// "Acknowledge " + caption from promptSnapshot() when its logUserActions
/// is on, then closes the window. Store failures never leave the window.
void showAlarmPrompt(const QString &caption, const QString &text);

/// The prompt window, or nullptr before the first prompt (and after
/// destroyAlarmPrompt()).
QWidget *alarmPromptWindow();

/// Destroys the prompt window without acknowledging anything. Runs by
/// itself when the application object goes away; the next prompt creates a
/// new window.
void destroyAlarmPrompt();

} // namespace quellix
