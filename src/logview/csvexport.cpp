#include "csvexport.h"

#include "error.h"
#include "logmodel.h"
#include "schema.h"

#include <QFileDialog>
#include <QSaveFile>

#include <limits>

namespace quellix::logview {

namespace {

ExportPathChooser &pathChooser()
{
    static ExportPathChooser chooser;
    return chooser;
}

/// A file written whole or not at all.
class CsvFile
{
public:
    explicit CsvFile(const QString &path)
        : m_file(path)
    {
        if (!m_file.open(QIODevice::WriteOnly))
            fail();
    }
    void write(const QStringList &fields)
    {
        if (m_file.write(csvRecord(fields)) < 0)
            fail();
    }
    void commit()
    {
        if (!m_file.commit())
            fail();
    }

private:
    [[noreturn]] void fail()
    {
        throw Error(Error::Kind::Store,
                    QStringLiteral("Could not write %1: %2").arg(m_file.fileName(), m_file.errorString()));
    }
    QSaveFile m_file;
};

QString number(double v) { return QString::number(v, 'g', 15); }

} // namespace

QString csvField(const QString &text)
{
    static const QString special = QStringLiteral(",\"\r\n");
    bool quote = false;
    for (const QChar c : text)
        quote = quote || special.contains(c);
    if (!quote)
        return text;
    QString doubled = text;
    doubled.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + doubled + QLatin1Char('"');
}

QByteArray csvRecord(const QStringList &fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString &f : fields)
        quoted << csvField(f);
    return (quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
}

qint64 exportLog(store::EventLog &log, const store::LogFilter &filter, bool none, const QString &path)
{
    CsvFile file(path);
    QStringList header;
    for (const LogColumn &c : logColumns())
        header << QString::fromLatin1(c.name);
    file.write(header);
    qint64 written = 0;
    qint64 after = 0;
    while (!none) {
        const QVector<store::LogRow> rows = log.page(filter, after, 1000);
        for (const store::LogRow &r : rows)
            file.write(logRowTexts(r));
        written += rows.size();
        if (rows.size() < 1000)
            break;
        after = rows.constLast().num;
    }
    file.commit();
    return written;
}

qint64 exportSamples(store::EventLog &log, const QString &control, const QString &path)
{
    CsvFile file(path);
    using schema::DataField;
    file.write({schema::fieldName(DataField::Num), schema::fieldName(DataField::Control),
                schema::fieldName(DataField::Time), schema::fieldName(DataField::InputValue),
                schema::fieldName(DataField::DisplayValue), schema::fieldName(DataField::OutputValue)});
    // A control without a name has no samples.
    const QVector<store::SampleRow> rows =
        control.isEmpty() ? QVector<store::SampleRow>{}
                          : log.newestSamples(control, std::numeric_limits<int>::max());
    for (const store::SampleRow &r : rows)
        file.write({QString::number(r.num), r.record.control, r.time, number(r.record.inputValue),
                    number(r.record.displayValue), number(r.record.outputValue)});
    file.commit();
    return rows.size();
}

void setExportPathChooser(ExportPathChooser chooser)
{
    pathChooser() = std::move(chooser);
}

QString chooseExportPath(QWidget *parent, const QString &suggested)
{
    if (pathChooser())
        return pathChooser()(parent, suggested);
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Export CSV"), suggested,
                                        QStringLiteral("CSV files (*.csv);;All files (*)"));
}

} // namespace quellix::logview
