#pragma once

// The log viewer's list commands as pure rules: the query text each filter
// command builds (kept as the current log query, which names what the list
// shows, prints and clears) and the filter the list actually runs, with the
// control name as bound data. The text is never handed to the store engine:
// pasted between quotation marks, a name holding a quotation mark breaks it,
// and the engine reads a double-quoted word that is also a column name
// ("Control", "Type") as that column, which would select every record.

#include "stores.h"

#include <QString>

namespace quellix::logview {

/// The two control-filter commands.
enum class ControlScope { All, This };
/// The four message commands.
enum class MessageKind { All, System, User, Limit };

inline constexpr const char *kControlFilterAll = "ALL";
inline constexpr const char *kControlFilterThis = "THIS";

/// What a filter command leaves behind: the query text, the filter that
/// lists the same records, and whether the list names no record at all
/// (this control's records, for a control without a name: no record is
/// without a name, so nothing may be listed or cleared).
struct ListQuery
{
    QString text;
    store::LogFilter filter;
    bool none = false;
    bool operator==(const ListQuery &) const = default;
};

/// The base text of a message command ("Select * from LOG where Type = 'USER'").
QString messageBase(MessageKind kind);
/// The record type a message command lists; empty for every type.
QString messageType(MessageKind kind);

/// "All Controls" or "This Control" for the viewed control `name`.
ListQuery controlCommand(ControlScope scope, const QString &name);
/// A message command under the control filter as it stands ("ALL", "THIS"
/// or empty: anything but exactly "ALL" lists the viewed control only).
ListQuery messageCommand(MessageKind kind, const QString &controlFilter, const QString &name);

/// The control filter a control-filter command sets.
QString controlFilterText(ControlScope scope);

} // namespace quellix::logview
