#include "logquery.h"

namespace quellix::logview {

namespace {

const QChar kQuote(34);

ListQuery thisControl(const QString &head, const QString &type, const QString &name)
{
    ListQuery q;
    // Exactly as the command has always written it: no blank between the
    // closing quotation mark and ORDER BY.
    q.text = head + QStringLiteral(" and Control = ") + kQuote + name + kQuote + QStringLiteral("ORDER BY Num");
    q.filter.control = name;
    q.filter.type = type;
    q.none = name.isEmpty();
    return q;
}

} // namespace

QString messageBase(MessageKind kind)
{
    switch (kind) {
    case MessageKind::All: return QStringLiteral("Select * from LOG where Type > '' ");
    case MessageKind::System: return QStringLiteral("Select * from LOG where Type = 'SYSTEM'");
    case MessageKind::User: return QStringLiteral("Select * from LOG where Type = 'USER'");
    case MessageKind::Limit: return QStringLiteral("Select * from LOG where Type = 'LIMIT'");
    }
    return {};
}

QString messageType(MessageKind kind)
{
    switch (kind) {
    case MessageKind::All: return {};
    case MessageKind::System: return QStringLiteral("SYSTEM");
    case MessageKind::User: return QStringLiteral("USER");
    case MessageKind::Limit: return QStringLiteral("LIMIT");
    }
    return {};
}

QString controlFilterText(ControlScope scope)
{
    return QLatin1String(scope == ControlScope::All ? kControlFilterAll : kControlFilterThis);
}

ListQuery controlCommand(ControlScope scope, const QString &name)
{
    if (scope == ControlScope::All) {
        ListQuery q;
        q.text = QStringLiteral("Select * from LOG where Control > '' Order by Num");
        return q;
    }
    ListQuery q;
    q.text = QStringLiteral("Select * from LOG where Control = ") + kQuote + name + kQuote + QStringLiteral("ORDER BY Num");
    q.filter.control = name;
    q.none = name.isEmpty();
    return q;
}

ListQuery messageCommand(MessageKind kind, const QString &controlFilter, const QString &name)
{
    const QString base = messageBase(kind);
    if (controlFilter == QLatin1String(kControlFilterAll)) {
        ListQuery q;
        q.text = base + QStringLiteral(" and Control > '' Order by Num");
        q.filter.type = messageType(kind);
        return q;
    }
    return thisControl(base, messageType(kind), name);
}

} // namespace quellix::logview
