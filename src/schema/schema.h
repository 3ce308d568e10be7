#pragma once

// The fields of the store files: the tables LOG and DATA of LOG.MDB and the
// table Settings of SETTINGS.MDB, with each field's name, type and size, and
// for the settings the value a new row gets and the order a load reads them.
// Everything else addresses a settings field by its enumerator; a name is
// looked up only where a user or another program gives one.

#include <QString>
#include <QVariant>

#include <array>
#include <optional>
#include <span>

namespace quellix::schema {

/// Field types of the store files.
enum class FieldType {
    Text,    ///< text of at most `size` characters
    Int16,   ///< 16-bit signed integer
    Int32,   ///< 32-bit signed integer
    Double,  ///< 64-bit floating point
    YesNo,   ///< boolean
    Counter, ///< 32-bit integer assigned by the store on commit, incrementing
};

struct FieldDef {
    const char *name;
    FieldType type;
    int size = 0; ///< characters, text fields only
};

struct TableDef {
    const char *name;
    std::span<const FieldDef> fields;

    int indexOf(const QString &field) const; ///< -1 when the table has no such field
};

const TableDef &logTable();      ///< table "LOG" of LOG.MDB, 11 fields
const TableDef &dataTable();     ///< table "DATA" of LOG.MDB, 6 fields
const TableDef &settingsTable(); ///< table "Settings" of SETTINGS.MDB, 72 fields

/// The table definition with this name (exact), or nullptr.
const TableDef *findTable(const QString &name);

/// The fields of the table "LOG", in the table's order.
enum class LogField {
    Num,
    Control,
    Time,
    Type,
    Event,
    InputValue,
    InputFunction,
    DisplayValue,
    OutputFunction,
    OutputValue,
    HoldStatus,
};

/// The fields of the table "DATA", in the table's order.
enum class DataField {
    Num,
    Control,
    Time,
    InputValue,
    DisplayValue,
    OutputValue,
};

const FieldDef &definition(LogField field);
const FieldDef &definition(DataField field);
/// The field's name as the store files spell it ("Input Value").
QString fieldName(LogField field);
QString fieldName(DataField field);

/// The fields of the table "Settings", in the table's order.
enum class Field {
    ControlName,
    Password,
    Scanrate,
    Direction,
    EnableUpperLimit,
    EnableWarningLimit,
    EnableCautionLimit,
    EnableLowerLimit,
    UpperLimitValue,
    WarningLimitValue,
    CautionLimitValue,
    LowerLimitValue,
    UpperAlarmLight,
    UpperAlarmSound,
    UpperAlarmSoundName,
    WarningAlarmLight,
    WarningAlarmSound,
    WarningAlarmSoundName,
    CautionAlarmLight,
    CautionAlarmSound,
    CautionAlarmSoundName,
    LowerAlarmLight,
    LowerAlarmSound,
    LowerAlarmSoundName,
    EnableUpperPrompt,
    UpperPromptText,
    EnableWarningPrompt,
    WarningPromptText,
    EnableCautionPrompt,
    CautionPromptText,
    EnableLowerPrompt,
    LowerPromptText,
    EnableUpperEvent,
    UpperEventPath,
    EnableWarningEvent,
    WarningEventPath,
    EnableCautionEvent,
    CautionEventPath,
    EnableLowerEvent,
    LowerEventPath,
    InputMultiplier,
    InputOffset,
    OutputMultiplier,
    OutputOffset,
    Units,
    LogUserActions,
    LogSystemErrors,
    LogDisplayedEvery,
    LogEveryTimeInterval,
    LogUpperReaching,
    LogWarningReaching,
    LogCautionReaching,
    LogNormalReaching,
    LogLowerReaching,
    InboundCommPort,
    OutboundCommPort,
    AllowMultiControl,
    EncdecHeader,
    HeaderValue,
    EncdecAddress,
    AddressValue,
    BaudRate,
    Parity,
    DataBits,
    StopBits,
    DisplayColor,
    UnitsColor,
    OutputColor,
    HoldIndicatorColor,
    CommIndicatorColor,
    GraphType,
    Enabled,
};

inline constexpr int kSettingsFieldCount = 72;

/// The field's position in the table (its column among the 72).
constexpr int fieldIndex(Field field) { return int(field); }
/// The field at a position in the table; throws Error (InvalidField) outside 0..71.
Field fieldAt(int index);
/// Every settings field, in the table's order.
const std::array<Field, kSettingsFieldCount> &settingsFields();

const FieldDef &definition(Field field);
/// The field's name as the store files spell it ("Upper Limit Value").
QString fieldName(Field field);
/// The field of this name, compared exactly (letter case and blanks count);
/// std::nullopt for a name the table does not have.
std::optional<Field> fieldByName(const QString &name);
/// The field of this name; throws Error (InvalidField) naming the unknown
/// name when the table does not have it.
Field requireField(const QString &name);

/// The fields a registration or a reload reads from a row, in the order it
/// reads them (60 fields: all but "Control Name" and the communication
/// fields).
std::span<const Field> loadOrder();

/// The value a new row gets in this field, of the field's type
/// ("Control Name" is the control's own name), or an invalid QVariant for
/// the 44 fields a new row leaves empty.
QVariant factoryValue(Field field, const QString &controlName);

} // namespace quellix::schema
