#pragma once

// The rows of the log viewer's grid `dbgrid_LOG`: the eleven columns of the
// LOG table, fetched a page at a time as the grid scrolls (keyed on "Num"),
// so a list of a million records costs one page to open and only what the
// operator scrolled through afterwards.

#include "stores.h"

#include <QAbstractTableModel>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <array>
#include <memory>

namespace quellix::logview {

/// One column of the grid: its header (the field name) and width in twips.
struct LogColumn
{
    const char *name;
    int twips;
};
/// The eleven columns in the order of the LOG table.
const std::array<LogColumn, 11> &logColumns();
/// Twips to pixels on the screen the widths were given for: 15 a pixel.
constexpr int twipsToPixels(int twips) { return (twips + 7) / 15; }

/// The texts of one stored record, one per column: numbers with up to 15
/// significant digits, the hold status as "True" or "False".
QStringList logRowTexts(const store::LogRow &row);
/// The text of one column of a record.
QString logCellText(const store::LogRow &row, int column);

class LogModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int kPageRows = 256;

    explicit LogModel(QObject *parent = nullptr);

    /// Lists what `filter` selects in `log` (nothing when `none`), from
    /// the first record again; the first page is read at once. A failing
    /// read leaves an empty list and raises failed().
    void show(std::shared_ptr<store::Stores> stores, const store::LogFilter &filter, bool none);
    /// The same list read again from its first record.
    void reload();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

Q_SIGNALS:
    /// A read of the store failed; the rows read before stay.
    void failed(const QString &message);

private:
    /// The next page; false (and failed()) when the store refused it.
    bool readPage(QVector<store::LogRow> &into);
    QString shared(const QString &text);

    std::shared_ptr<store::Stores> m_stores;
    store::LogFilter m_filter;
    bool m_none = true;
    bool m_atEnd = true;
    QVector<store::LogRow> m_rows;
    /// Texts that repeat from row to row (names, types, events, functions)
    /// are held once.
    QSet<QString> m_texts;
};

} // namespace quellix::logview
