#include "logmodel.h"

#include "schema.h"

#include <exception>

namespace quellix::logview {

const std::array<LogColumn, 11> &logColumns()
{
    // The headings are the names of the LOG fields.
    using schema::LogField;
    auto column = [](LogField f, int twips) { return LogColumn{schema::definition(f).name, twips}; };
    static const std::array<LogColumn, 11> columns{{
        column(LogField::Num, 600),
        column(LogField::Control, 1100),
        column(LogField::Time, 1600),
        column(LogField::Type, 900),
        column(LogField::Event, 3800),
        column(LogField::InputValue, 950),
        column(LogField::InputFunction, 1150),
        column(LogField::DisplayValue, 1100),
        column(LogField::OutputFunction, 1300),
        column(LogField::OutputValue, 1000),
        column(LogField::HoldStatus, 1300),
    }};
    return columns;
}

QString logCellText(const store::LogRow &row, int column)
{
    const store::LogRecord &r = row.record;
    switch (column) {
    case 0: return QString::number(row.num);
    case 1: return r.control;
    case 2: return row.time;
    case 3: return r.type;
    case 4: return r.event;
    case 5: return QString::number(r.inputValue, 'g', 15);
    case 6: return r.inputFunction;
    case 7: return QString::number(r.displayValue, 'g', 15);
    case 8: return r.outputFunction;
    case 9: return QString::number(r.outputValue, 'g', 15);
    case 10: return r.holdStatus ? QStringLiteral("True") : QStringLiteral("False");
    }
    return {};
}

QStringList logRowTexts(const store::LogRow &row)
{
    QStringList texts;
    for (int c = 0; c < int(logColumns().size()); ++c)
        texts << logCellText(row, c);
    return texts;
}

LogModel::LogModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void LogModel::show(std::shared_ptr<store::Stores> stores, const store::LogFilter &filter, bool none)
{
    m_stores = std::move(stores);
    m_filter = filter;
    m_none = none;
    reload();
}

void LogModel::reload()
{
    beginResetModel();
    m_rows.clear();
    m_rows.squeeze();
    m_texts.clear();
    m_atEnd = m_none || !m_stores;
    QVector<store::LogRow> first;
    if (!m_atEnd && readPage(first))
        m_rows = std::move(first);
    endResetModel();
}

bool LogModel::readPage(QVector<store::LogRow> &into)
{
    const qint64 after = m_rows.isEmpty() ? 0 : m_rows.constLast().num;
    QString why;
    try {
        into = m_stores->log().page(m_filter, after, kPageRows);
        m_atEnd = into.size() < kPageRows;
        for (store::LogRow &r : into) {
            r.record.control = shared(r.record.control);
            r.record.type = shared(r.record.type);
            r.record.event = shared(r.record.event);
            r.record.inputFunction = shared(r.record.inputFunction);
            r.record.outputFunction = shared(r.record.outputFunction);
        }
        return true;
    } catch (const std::exception &e) {
        why = QString::fromUtf8(e.what());
    } catch (...) {
        why = QStringLiteral("unknown error");
    }
    // No retry from the scroll bar: the next command reads the list anew.
    m_atEnd = true;
    into.clear();
    Q_EMIT failed(why);
    return false;
}

QString LogModel::shared(const QString &text)
{
    if (const auto it = m_texts.constFind(text); it != m_texts.constEnd())
        return *it;
    if (m_texts.size() < 4096)
        m_texts.insert(text);
    return text;
}

int LogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int LogModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(logColumns().size());
}

QVariant LogModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    if (role == Qt::DisplayRole)
        return logCellText(m_rows.at(index.row()), index.column());
    if (role == Qt::TextAlignmentRole) {
        const int c = index.column();
        const bool number = c == 0 || c == 5 || c == 7 || c == 9;
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    return {};
}

QVariant LogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section < 0 || section >= int(logColumns().size()))
        return {};
    return QString::fromLatin1(logColumns()[section].name);
}

bool LogModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && !m_atEnd;
}

void LogModel::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid() || m_atEnd)
        return;
    QVector<store::LogRow> next;
    if (!readPage(next) || next.isEmpty())
        return;
    beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + next.size() - 1));
    m_rows += next;
    endInsertRows();
}

} // namespace quellix::logview
