#pragma once

#include <QString>

namespace quellix {

/// Starts a limit level's event program and returns at once, without
/// waiting for it. The text is a command line: the program followed by its
/// arguments, split at blanks, where double quotes group words ("a b" is one
/// argument) and three double quotes stand for one literal quote. No shell
/// ever sees the text, so ; | & $ ` > and the like reach the program as
/// plain characters.
/// A text that as a whole names an executable file is started as that one
/// program, so a picked path with blanks in it needs no quotes.
///
/// Returns false, and starts nothing, for an empty or blank text and for a
/// program that cannot be started (missing, not executable). Never throws.
bool startEventProgram(const QString &commandLine);

} // namespace quellix
