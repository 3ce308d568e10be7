#pragma once

#include <QStringList>

namespace quellix::schema {

/// The fifteen alarm sound names a settings row's "... Alarm Sound Name"
/// may hold, in the order the configuration offers them.
const QStringList &alarmSoundNames();

} // namespace quellix::schema
