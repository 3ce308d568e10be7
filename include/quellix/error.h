#pragma once

#include "quellix_core_global.h"

#include <QString>
#include <stdexcept>

namespace quellix {

/// The error every failing operation of the control library reports to its
/// caller. Property setters, the operator buttons and the store cursors throw
/// it; handlers driven by the event loop catch it so the host never ends.
class QUELLIX_CORE_EXPORT Error : public std::runtime_error
{
public:
    enum class Kind {
        Overflow,       ///< a computed value overflowed, divided by zero or is not a number
        Store,          ///< the store engine refused an operation
        NoCurrentRow,   ///< a cursor operation needs a current row and there is none
        NotOpen,        ///< a cursor is not connected to a table
        InvalidField,   ///< a field name that the table does not have
        InvalidValue,   ///< a value the field cannot hold (type, size or range)
        NotFound,       ///< a named resource does not exist
    };

    Error(Kind kind, const QString &message)
        : std::runtime_error(message.toStdString()), m_kind(kind), m_message(message) {}

    Kind kind() const noexcept { return m_kind; }
    QString message() const { return m_message; }

private:
    Kind m_kind;
    QString m_message;
};

} // namespace quellix
