#include "soundnames.h"

namespace quellix::schema {

const QStringList &alarmSoundNames()
{
    static const QStringList names = {
        QStringLiteral("AHOOGA"),  QStringLiteral("ALARM1"),   QStringLiteral("BEEP"),
        QStringLiteral("BUZZER"),  QStringLiteral("CAUTION"),  QStringLiteral("GABING"),
        QStringLiteral("GBUZZER"), QStringLiteral("KLIRR2"),   QStringLiteral("PLUCK"),
        QStringLiteral("PLUNK"),   QStringLiteral("POLICE"),   QStringLiteral("REDALERT"),
        QStringLiteral("TON2"),    QStringLiteral("TUUET1"),   QStringLiteral("WARNING"),
    };
    return names;
}

} // namespace quellix::schema
