#pragma once

// The configuration context: what the password prompt works on, one set per
// process, shared by every control and by the configuration windows.
//
// - controlName: the control whose configuration was asked for last; the
//   properties dialog finds its settings row by it. Written by Config.
// - passwordExpected: the password the prompt accepts. Written by Config
//   (the control's Password) and by Logs (for the log viewer's deletes);
//   it stays as last written until the next writer.
// - passwordMode: what a right password opens: kModeSetup (the properties
//   dialog), kModeLog (deleting the viewer's log records) or kModeData
//   (deleting the viewer's samples of its control).

#include <QString>

namespace quellix::config {

inline constexpr const char *kModeSetup = "SETUP";
inline constexpr const char *kModeLog = "LOG";
inline constexpr const char *kModeData = "DATA";

struct ConfigContext
{
    QString controlName;      ///< ConfigControlName
    QString passwordExpected; ///< PasswordExpected
    QString passwordMode;     ///< PasswordMode: "SETUP", "LOG" or "DATA"
};

/// The process's configuration context.
ConfigContext &configContext();

} // namespace quellix::config
