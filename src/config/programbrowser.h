#pragma once

// The event-program browser f_BROWSE: picks a program file from the file
// system for an event-program path field of the properties dialog.

class QWidget;

namespace quellix::config {

/// Shows the browser modally over `parent` and returns when it closes. OK
/// with a file name sets chosenProgramPath() (configcontext.h) to the
/// directory + "/" + the name as typed; Cancel empties it. The caller copies
/// a non-empty chosenProgramPath() into its field.
void runProgramBrowser(QWidget *parent);

} // namespace quellix::config
