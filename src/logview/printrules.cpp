#include "printrules.h"

#include "logstore.h"
#include "recordtext.h"

namespace quellix::logview {

int printPageCount(qint64 records)
{
    if (records <= 0)
        return 0;
    return int((records + kRecordsPerPage - 1) / kRecordsPerPage);
}

QString printTitle(const QString &control) { return QStringLiteral("Log File For ") + control; }

QString printPageLabel(int page, int pages)
{
    return QStringLiteral("Page #") + numberText(page, NumberForm::Str) + QStringLiteral(" Of")
        + numberText(pages, NumberForm::Str);
}

QString printTimeLabel(const QDateTime &when) { return QStringLiteral("Printed @ ") + store::logTimeText(when); }

QString printChartTitle(const QString &control) { return QStringLiteral("Recorded Data For ") + control; }

QString printFileName(const QDateTime &when, int attempt)
{
    QString name = QStringLiteral("Log Print ") + when.toString(QStringLiteral("yyyyMMdd-hhmmss"));
    if (attempt > 1)
        name += QStringLiteral(" (%1)").arg(attempt);
    return name + QStringLiteral(".pdf");
}

} // namespace quellix::logview
