#pragma once

// The event-program browser f_BROWSE: picks a program file from the file
// system for an event-program path field of the properties dialog.

#include <QString>
#include <QStringList>

class QWidget;

namespace quellix::config {

/// Shows the browser modally over `parent` and returns, when it closes, the
/// path chosen: after OK with a file name the directory + "/" + the name as
/// typed (joinProgramPath()); OK without a name leaves the window open.
/// Cancel, Escape and the close box return an empty path, so an earlier
/// pick is never taken again. The caller copies a non-empty path into its
/// field. The choice is also kept as the process's chosen program path
/// (windowstate.h).
QString runProgramBrowser(QWidget *parent);

/// The chosen path of a directory and a file name as typed: joined by "/",
/// except that a directory already ending in "/" (the root) gets none.
QString joinProgramPath(const QString &directory, const QString &name);
/// Where the browser opens: the process's current directory, or the home
/// directory (else the root) when that no longer exists.
QString browserStartDirectory();
/// The directory a drive opens on: `start` on the drive that holds it, the
/// drive's root on any other.
QString browserDriveDirectory(const QString &driveRoot, const QString &start);
/// The drives: the file-system root, then every other mounted volume.
QStringList browserDriveRoots();

} // namespace quellix::config
