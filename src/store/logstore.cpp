#include "logstore.h"

#include "error.h"
#include "recordstore.h"
#include "storefiles.h"

#include <QLocale>

namespace quellix::store {

namespace {

// Runs one step of an append under the writer's error rule.
template<typename Step>
void step(OnError onError, Step &&fn)
{
    if (onError == OnError::Throw) {
        fn();
        return;
    }
    try {
        fn();
    } catch (const Error &) {
        // skipped: the following steps still run
    }
}

void moveToLastUnlessEmpty(Cursor &c, OnError onError)
{
    step(onError, [&] {
        if (!c.isOpen())
            c.moveLast(); // reports the closed cursor under the writer's rule
        else if (!c.isEmpty())
            c.moveLast();
    });
}

} // namespace

QString logTimeText(const QDateTime &when)
{
    static const QLocale us(QLocale::English, QLocale::UnitedStates);
    return us.toString(when, QStringLiteral("MM/dd/yyyy hh:mm:ss AP"));
}

QString logTimeNow()
{
    static qint64 cachedSecond = -1;
    static QString cachedText;
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 second = now.toSecsSinceEpoch();
    if (second != cachedSecond) {
        cachedText = logTimeText(now);
        cachedSecond = second;
    }
    return cachedText;
}

void appendLogRecord(Cursor &log, const LogRecord &r, OnError onError)
{
    moveToLastUnlessEmpty(log, onError);
    step(onError, [&] { log.addNew(); });
    step(onError, [&] { log.setField(QStringLiteral("Control"), r.control); });
    step(onError, [&] { log.setField(QStringLiteral("Time"), logTimeNow()); });
    step(onError, [&] { log.setField(QStringLiteral("Type"), r.type); });
    step(onError, [&] { log.setField(QStringLiteral("Event"), r.event); });
    step(onError, [&] { log.setField(QStringLiteral("Input Value"), r.inputValue); });
    step(onError, [&] { log.setField(QStringLiteral("Input Function"), r.inputFunction); });
    step(onError, [&] { log.setField(QStringLiteral("Display Value"), r.displayValue); });
    step(onError, [&] { log.setField(QStringLiteral("Output Function"), r.outputFunction); });
    step(onError, [&] { log.setField(QStringLiteral("Output Value"), r.outputValue); });
    step(onError, [&] { log.setField(QStringLiteral("Hold Status"), r.holdStatus); });
    step(onError, [&] { log.update(); });
}

void appendSampleRecord(Cursor &data, const SampleRecord &r, OnError onError)
{
    moveToLastUnlessEmpty(data, onError);
    step(onError, [&] { data.addNew(); });
    step(onError, [&] { data.setField(QStringLiteral("Control"), r.control); });
    step(onError, [&] { data.setField(QStringLiteral("Time"), logTimeNow()); });
    step(onError, [&] { data.setField(QStringLiteral("Input Value"), r.inputValue); });
    step(onError, [&] { data.setField(QStringLiteral("Display Value"), r.displayValue); });
    step(onError, [&] { data.setField(QStringLiteral("Output Value"), r.outputValue); });
    step(onError, [&] { data.update(); });
}

QStringList logStoreIndexSql()
{
    return {
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"LOG Control Num\" ON \"LOG\" (\"Control\", \"Num\")"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"LOG Type Num\" ON \"LOG\" (\"Type\", \"Num\")"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"DATA Control Num\" ON \"DATA\" (\"Control\", \"Num\")"),
    };
}

void createLogStore(const QString &path)
{
    showInformation(QStringLiteral("Please Standby While The New LOG File Is Created."),
                    QStringLiteral("Create New LOG File."));
    const TableDef *tables[] = {&logTable(), &dataTable()};
    createStoreFile(path, QLatin1String(kLocaleText), QLatin1String(kStorePassword), tables, logStoreIndexSql());
}

void createSettingsStore(const QString &path)
{
    showInformation(QStringLiteral("Please Standby While The New Settings File Is Created."),
                    QStringLiteral("Create New Settings File."));
    const TableDef *tables[] = {&settingsTable()};
    createStoreFile(path, QLatin1String(kLocaleText), QLatin1String(kStorePassword), tables);
}

} // namespace quellix::store
