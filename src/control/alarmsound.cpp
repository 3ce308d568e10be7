// Placeholder until the sound library lands: no sound is known yet.
#include "alarmsound.h"
#include "quellixerror.h"

namespace quellix {

namespace {
class SilentPlayer : public SoundPlayer
{
public:
    void play(const QByteArray &) override {}
    void stop() override {}
};
std::unique_ptr<SoundPlayer> g_player;
} // namespace

const QStringList &alarmSoundNames()
{
    static const QStringList names;
    return names;
}

QByteArray loadAlarmSound(const QString &name)
{
    throw Error(Error::Kind::NotFound, QStringLiteral("No sound named '%1'.").arg(name));
}

void setSoundPlayer(std::unique_ptr<SoundPlayer> player) { g_player = std::move(player); }

SoundPlayer &soundPlayer()
{
    if (!g_player)
        g_player = std::make_unique<SilentPlayer>();
    return *g_player;
}

void playAlarmSound(const QString &name) { soundPlayer().play(loadAlarmSound(name)); }
void stopAlarmSound() { soundPlayer().stop(); }

} // namespace quellix
