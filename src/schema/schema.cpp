#include "schema.h"

#include "error.h"

#include <QHash>

#include <algorithm>

namespace quellix::schema {

namespace {

using T = FieldType;

// What a new settings row holds in a field: nothing, the control's own
// name, a text, or a number (a yes/no field takes 1 as yes).
struct FactoryValue {
    enum class Kind { None, ControlName, Text, Number };
    Kind kind = Kind::None;
    const char *text = nullptr;
    double number = 0;
};

constexpr FactoryValue none{};
constexpr FactoryValue controlName{FactoryValue::Kind::ControlName};
constexpr FactoryValue yes{FactoryValue::Kind::Number, nullptr, 1};
constexpr FactoryValue text(const char *t) { return {FactoryValue::Kind::Text, t}; }
constexpr FactoryValue number(double n) { return {FactoryValue::Kind::Number, nullptr, n}; }

// One field of the settings table: its enumerator, its definition in the
// file, its step in the load order (1 is read first; 0: never loaded) and
// its value in a new row.
struct SettingsFieldDef {
    Field field;
    FieldDef def;
    int loadStep;
    FactoryValue factory;
};

// One field of LOG or DATA: its enumerator and its definition in the file.
template<typename E>
struct EnumeratedFieldDef {
    E field;
    FieldDef def;
};

constexpr EnumeratedFieldDef<LogField> kLogRows[] = {
    {LogField::Num, {"Num", T::Counter}},
    {LogField::Control, {"Control", T::Text, 50}},
    {LogField::Time, {"Time", T::Text, 50}},
    {LogField::Type, {"Type", T::Text, 50}},
    {LogField::Event, {"Event", T::Text, 255}},
    {LogField::InputValue, {"Input Value", T::Double}},
    {LogField::InputFunction, {"Input Function", T::Text, 255}},
    {LogField::DisplayValue, {"Display Value", T::Double}},
    {LogField::OutputFunction, {"Output Function", T::Text, 255}},
    {LogField::OutputValue, {"Output Value", T::Double}},
    {LogField::HoldStatus, {"Hold Status", T::YesNo}},
};

constexpr EnumeratedFieldDef<DataField> kDataRows[] = {
    {DataField::Num, {"Num", T::Counter}},
    {DataField::Control, {"Control", T::Text, 50}},
    {DataField::Time, {"Time", T::Text, 50}},
    {DataField::InputValue, {"Input Value", T::Double}},
    {DataField::DisplayValue, {"Display Value", T::Double}},
    {DataField::OutputValue, {"Output Value", T::Double}},
};

constexpr SettingsFieldDef kSettingsRows[] = {
    {Field::ControlName, {"Control Name", T::Text, 255}, 0, controlName},
    {Field::Password, {"Password", T::Text, 8}, 1, text("marigold")},
    {Field::Scanrate, {"Scanrate", T::Int16}, 2, number(500)},
    {Field::Direction, {"Direction", T::Text, 10}, 3, text("Ascending")},
    {Field::EnableUpperLimit, {"Enable Upper Limit", T::YesNo}, 13, yes},
    {Field::EnableWarningLimit, {"Enable Warning Limit", T::YesNo}, 14, yes},
    {Field::EnableCautionLimit, {"Enable Caution Limit", T::YesNo}, 15, yes},
    {Field::EnableLowerLimit, {"Enable Lower Limit", T::YesNo}, 16, yes},
    {Field::UpperLimitValue, {"Upper Limit Value", T::Int32}, 11, number(100)},
    {Field::WarningLimitValue, {"Warning Limit Value", T::Int32}, 10, number(90)},
    {Field::CautionLimitValue, {"Caution Limit Value", T::Int32}, 9, number(75)},
    {Field::LowerLimitValue, {"Lower Limit Value", T::Int32}, 8, number(0)},
    {Field::UpperAlarmLight, {"Upper Alarm Light", T::YesNo}, 17, yes},
    {Field::UpperAlarmSound, {"Upper Alarm Sound", T::YesNo}, 21, none},
    {Field::UpperAlarmSoundName, {"Upper Alarm Sound Name", T::Text, 255}, 25, none},
    {Field::WarningAlarmLight, {"Warning Alarm Light", T::YesNo}, 18, yes},
    {Field::WarningAlarmSound, {"Warning Alarm Sound", T::YesNo}, 22, none},
    {Field::WarningAlarmSoundName, {"Warning Alarm Sound Name", T::Text, 255}, 26, none},
    {Field::CautionAlarmLight, {"Caution Alarm Light", T::YesNo}, 19, yes},
    {Field::CautionAlarmSound, {"Caution Alarm Sound", T::YesNo}, 23, none},
    {Field::CautionAlarmSoundName, {"Caution Alarm Sound Name", T::Text, 255}, 27, none},
    {Field::LowerAlarmLight, {"Lower Alarm Light", T::YesNo}, 20, yes},
    {Field::LowerAlarmSound, {"Lower Alarm Sound", T::YesNo}, 24, none},
    {Field::LowerAlarmSoundName, {"Lower Alarm Sound Name", T::Text, 255}, 28, none},
    {Field::EnableUpperPrompt, {"Enable Upper Prompt", T::YesNo}, 29, none},
    {Field::UpperPromptText, {"Upper Prompt Text", T::Text, 255}, 33, none},
    {Field::EnableWarningPrompt, {"Enable Warning Prompt", T::YesNo}, 30, none},
    {Field::WarningPromptText, {"Warning Prompt Text", T::Text, 255}, 34, none},
    {Field::EnableCautionPrompt, {"Enable Caution Prompt", T::YesNo}, 31, none},
    {Field::CautionPromptText, {"Caution Prompt Text", T::Text, 255}, 35, none},
    {Field::EnableLowerPrompt, {"Enable Lower Prompt", T::YesNo}, 32, none},
    {Field::LowerPromptText, {"Lower Prompt Text", T::Text, 255}, 36, none},
    {Field::EnableUpperEvent, {"Enable Upper Event", T::YesNo}, 37, none},
    {Field::UpperEventPath, {"Upper Event Path", T::Text, 255}, 41, none},
    {Field::EnableWarningEvent, {"Enable Warning Event", T::YesNo}, 38, none},
    {Field::WarningEventPath, {"Warning Event Path", T::Text, 255}, 42, none},
    {Field::EnableCautionEvent, {"Enable Caution Event", T::YesNo}, 39, none},
    {Field::CautionEventPath, {"Caution Event Path", T::Text, 255}, 43, none},
    {Field::EnableLowerEvent, {"Enable Lower Event", T::YesNo}, 40, none},
    {Field::LowerEventPath, {"Lower Event Path", T::Text, 255}, 44, none},
    {Field::InputMultiplier, {"Input Multiplier", T::Double}, 5, number(1)},
    {Field::InputOffset, {"Input Offset", T::Double}, 4, number(0)},
    {Field::OutputMultiplier, {"Output Multiplier", T::Double}, 7, number(1)},
    {Field::OutputOffset, {"Output Offset", T::Double}, 6, number(0)},
    {Field::Units, {"Units", T::Text, 10}, 12, text("%")},
    {Field::LogUserActions, {"Log User Actions", T::YesNo}, 45, none},
    {Field::LogSystemErrors, {"Log System Errors", T::YesNo}, 46, none},
    {Field::LogDisplayedEvery, {"Log Displayed Every", T::YesNo}, 47, none},
    {Field::LogEveryTimeInterval, {"Log Every Time Interval", T::Text, 255}, 48, none},
    {Field::LogUpperReaching, {"Log Upper Reaching", T::YesNo}, 49, none},
    {Field::LogWarningReaching, {"Log Warning Reaching", T::YesNo}, 50, none},
    {Field::LogCautionReaching, {"Log Caution Reaching", T::YesNo}, 51, none},
    {Field::LogNormalReaching, {"Log Normal Reaching", T::YesNo}, 52, none},
    {Field::LogLowerReaching, {"Log Lower Reaching", T::YesNo}, 53, none},
    {Field::InboundCommPort, {"Inbound COMM Port", T::Int32}, 0, none},
    {Field::OutboundCommPort, {"Outbound COMM Port", T::Int32}, 0, none},
    {Field::AllowMultiControl, {"Allow Multi Control", T::YesNo}, 0, none},
    {Field::EncdecHeader, {"ENCDEC Header", T::YesNo}, 0, none},
    {Field::HeaderValue, {"Header Value", T::Int32}, 0, none},
    {Field::EncdecAddress, {"ENCDEC Address", T::YesNo}, 0, none},
    {Field::AddressValue, {"Address Value", T::Int32}, 0, none},
    {Field::BaudRate, {"Baud Rate", T::Int32}, 0, none},
    {Field::Parity, {"Parity", T::Text, 255}, 0, none},
    {Field::DataBits, {"Data Bits", T::Int32}, 0, none},
    {Field::StopBits, {"Stop Bits", T::Int32}, 0, none},
    {Field::DisplayColor, {"Display Color", T::Int32}, 54, number(255)},
    {Field::UnitsColor, {"Units Color", T::Int32}, 55, number(65535)},
    {Field::OutputColor, {"Output Color", T::Int32}, 56, number(65280)},
    {Field::HoldIndicatorColor, {"Hold Indicator Color", T::Int32}, 57, number(255)},
    {Field::CommIndicatorColor, {"COMM Indicator Color", T::Int32}, 58, number(255)},
    {Field::GraphType, {"Graph Type", T::Int32}, 59, number(3)},
    {Field::Enabled, {"Enabled", T::YesNo}, 60, yes},
};

// Each row carries the enumerator of its position, and the definitions of
// the file are the rows' own.
template<typename Row, size_t N>
constexpr bool enumeratorsInTableOrder(const Row (&rows)[N])
{
    for (size_t i = 0; i < N; ++i) {
        if (size_t(rows[i].field) != i)
            return false;
    }
    return true;
}

template<typename Row, size_t N>
constexpr std::array<FieldDef, N> definitionsOf(const Row (&rows)[N])
{
    std::array<FieldDef, N> defs{};
    for (size_t i = 0; i < N; ++i)
        defs[i] = rows[i].def;
    return defs;
}

static_assert(enumeratorsInTableOrder(kLogRows), "each LOG row must carry the enumerator of its position");
static_assert(enumeratorsInTableOrder(kDataRows), "each DATA row must carry the enumerator of its position");
static_assert(std::size(kSettingsRows) == size_t(kSettingsFieldCount), "the settings table has 72 fields");
static_assert(enumeratorsInTableOrder(kSettingsRows), "each settings row must carry the enumerator of its position");

constexpr std::array<FieldDef, std::size(kLogRows)> kLogFields = definitionsOf(kLogRows);
constexpr std::array<FieldDef, std::size(kDataRows)> kDataFields = definitionsOf(kDataRows);
constexpr std::array<FieldDef, kSettingsFieldCount> kSettingsFields = definitionsOf(kSettingsRows);

constexpr int kLoadedCount = 60;
constexpr int kFactoryCount = 28;

// The load steps and the factory values are checked here, where the
// compiler refuses a table that breaks them.
constexpr bool loadStepsAreOneToN()
{
    std::array<int, kLoadedCount + 1> seen{};
    for (const SettingsFieldDef &r : kSettingsRows) {
        if (r.loadStep < 0 || r.loadStep > kLoadedCount)
            return false;
        if (r.loadStep > 0 && seen[size_t(r.loadStep)]++ > 0)
            return false;
    }
    return std::count(seen.begin() + 1, seen.end(), 1) == kLoadedCount;
}
static_assert(loadStepsAreOneToN(), "the load steps must number 1 to 60, each once");

constexpr bool factoryFieldsCount()
{
    int n = 0;
    for (const SettingsFieldDef &r : kSettingsRows)
        n += r.factory.kind != FactoryValue::Kind::None;
    return n == kFactoryCount;
}
static_assert(factoryFieldsCount(), "a new settings row fills 28 fields");

constexpr std::array<Field, kSettingsFieldCount> kAllFields = [] {
    std::array<Field, kSettingsFieldCount> fields{};
    for (size_t i = 0; i < fields.size(); ++i)
        fields[i] = Field(i);
    return fields;
}();

constexpr std::array<Field, kLoadedCount> kLoadOrder = [] {
    std::array<Field, kLoadedCount> order{};
    for (const SettingsFieldDef &r : kSettingsRows) {
        if (r.loadStep > 0)
            order[size_t(r.loadStep - 1)] = r.field;
    }
    return order;
}();

const TableDef kLog{"LOG", kLogFields};
const TableDef kData{"DATA", kDataFields};
const TableDef kSettings{"Settings", kSettingsFields};

const SettingsFieldDef &row(Field field)
{
    return kSettingsRows[size_t(fieldAt(fieldIndex(field)))];
}

} // namespace

int TableDef::indexOf(const QString &field) const
{
    for (size_t i = 0; i < fields.size(); ++i) {
        if (field == QLatin1String(fields[i].name))
            return int(i);
    }
    return -1;
}

const TableDef &logTable() { return kLog; }
const TableDef &dataTable() { return kData; }
const TableDef &settingsTable() { return kSettings; }

const TableDef *findTable(const QString &name)
{
    for (const TableDef *t : {&kLog, &kData, &kSettings}) {
        if (name == QLatin1String(t->name))
            return t;
    }
    return nullptr;
}

Field fieldAt(int index)
{
    if (index < 0 || index >= kSettingsFieldCount)
        throw Error(Error::Kind::InvalidField, QStringLiteral("A settings row has no field number %1.").arg(index));
    return Field(index);
}

const std::array<Field, kSettingsFieldCount> &settingsFields() { return kAllFields; }

const FieldDef &definition(Field field) { return row(field).def; }

const FieldDef &definition(LogField field) { return kLogRows[size_t(field)].def; }
const FieldDef &definition(DataField field) { return kDataRows[size_t(field)].def; }
QString fieldName(LogField field) { return QString::fromLatin1(definition(field).name); }
QString fieldName(DataField field) { return QString::fromLatin1(definition(field).name); }

QString fieldName(Field field) { return QString::fromLatin1(definition(field).name); }

std::optional<Field> fieldByName(const QString &name)
{
    static const QHash<QString, Field> byName = [] {
        QHash<QString, Field> h;
        for (const SettingsFieldDef &r : kSettingsRows)
            h.insert(QString::fromLatin1(r.def.name), r.field);
        return h;
    }();
    const auto it = byName.constFind(name);
    if (it == byName.constEnd())
        return std::nullopt;
    return *it;
}

Field requireField(const QString &name)
{
    if (const std::optional<Field> f = fieldByName(name))
        return *f;
    throw Error(Error::Kind::InvalidField,
                QStringLiteral("Item '%1' not found in this collection: the table \"Settings\" has no field of that "
                               "name (names are compared exactly, letter case and blanks included).")
                    .arg(name));
}

std::span<const Field> loadOrder() { return kLoadOrder; }

QVariant factoryValue(Field field, const QString &controlName)
{
    const SettingsFieldDef &r = row(field);
    switch (r.factory.kind) {
    case FactoryValue::Kind::None:
        return {};
    case FactoryValue::Kind::ControlName:
        return controlName;
    case FactoryValue::Kind::Text:
        return QString::fromLatin1(r.factory.text);
    case FactoryValue::Kind::Number:
        break;
    }
    switch (r.def.type) {
    case T::YesNo:
        return r.factory.number != 0;
    case T::Int16:
    case T::Int32:
        return int(r.factory.number);
    case T::Double:
        return r.factory.number;
    case T::Text:
    case T::Counter:
        break;
    }
    return QString::number(r.factory.number);
}

} // namespace quellix::schema
