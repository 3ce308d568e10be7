// The list commands' query texts and the filters they run, the grid's
// columns, and CSV fields.

#include "csvexport.h"
#include "logmodel.h"
#include "logquery.h"

#include <QTest>

using namespace quellix::logview;

Q_DECLARE_METATYPE(quellix::logview::ListQuery)

namespace {

// -1: a control-filter command; otherwise the message command of that kind.
ListQuery run(int command, const QString &controlFilter, const QString &name)
{
    if (command == -1)
        return controlCommand(controlFilter == QLatin1String("ALL") ? ControlScope::All : ControlScope::This, name);
    return messageCommand(MessageKind(command), controlFilter, name);
}

ListQuery expect(const QString &text, const QString &control, const QString &type, bool none = false)
{
    return ListQuery{text, {control, type}, none};
}

} // namespace

class TestLogQuery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void commands_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("controlFilter");
        QTest::addColumn<QString>("name");
        QTest::addColumn<ListQuery>("query");
        const QString q(QChar(34));
        const int all = int(MessageKind::All), sys = int(MessageKind::System), user = int(MessageKind::User),
                  limit = int(MessageKind::Limit);
        QTest::newRow("all controls") << -1 << "ALL" << "Meter1"
                                      << expect("Select * from LOG where Control > '' Order by Num", "", "");
        QTest::newRow("this control") << -1 << "THIS" << "Meter1"
                                      << expect("Select * from LOG where Control = " + q + "Meter1" + q + "ORDER BY Num",
                                                "Meter1", "");
        QTest::newRow("all msgs, ALL") << all << "ALL" << "Meter1"
                                       << expect("Select * from LOG where Type > ''  and Control > '' Order by Num", "", "");
        QTest::newRow("system, ALL") << sys << "ALL" << "Meter1"
                                     << expect("Select * from LOG where Type = 'SYSTEM' and Control > '' Order by Num", "",
                                               "SYSTEM");
        QTest::newRow("user, THIS") << user << "THIS" << "Meter1"
                                    << expect("Select * from LOG where Type = 'USER' and Control = " + q + "Meter1" + q
                                                  + "ORDER BY Num",
                                              "Meter1", "USER");
        // Before any control-filter command the message commands list the viewed control.
        QTest::newRow("limit, no filter yet") << limit << "" << "Meter1"
                                              << expect("Select * from LOG where Type = 'LIMIT' and Control = " + q
                                                            + "Meter1" + q + "ORDER BY Num",
                                                        "Meter1", "LIMIT");
        QTest::newRow("all msgs, lower-case all") << all << "all" << "M"
                                                  << expect("Select * from LOG where Type > ''  and Control = " + q + "M" + q
                                                                + "ORDER BY Num",
                                                            "M", "");
        // Names the text cannot carry safely run as bound data, unchanged.
        for (const QString &name : {q + "Boiler" + q + " 2", QStringLiteral("Control"), QStringLiteral("Type"),
                                    QStringLiteral("50%_Tank"), QStringLiteral("O'Brien"), QStringLiteral("Kühlwasser Ø")})
            QTest::newRow(qPrintable("name " + name))
                << sys << "THIS" << name
                << expect("Select * from LOG where Type = 'SYSTEM' and Control = " + q + name + q + "ORDER BY Num", name,
                          "SYSTEM");
        // A control without a name has no records: nothing listed, nothing cleared.
        QTest::newRow("this control, no name") << -1 << "THIS" << ""
                                               << expect("Select * from LOG where Control = " + q + q + "ORDER BY Num", "",
                                                         "", true);
        QTest::newRow("user, no name") << user << "" << ""
                                       << expect("Select * from LOG where Type = 'USER' and Control = " + q + q
                                                     + "ORDER BY Num",
                                                 "", "USER", true);
        QTest::newRow("all msgs, ALL, no name") << all << "ALL" << ""
                                                << expect("Select * from LOG where Type > ''  and Control > '' Order by Num",
                                                          "", "");
    }
    void commands()
    {
        QFETCH(int, command);
        QFETCH(QString, controlFilter);
        QFETCH(QString, name);
        QFETCH(ListQuery, query);
        const ListQuery got = run(command, controlFilter, name);
        QCOMPARE(got.text, query.text);
        QCOMPARE(got.filter.control, query.filter.control);
        QCOMPARE(got.filter.type, query.filter.type);
        QCOMPARE(got.none, query.none);
    }

    void columnWidths()
    {
        const int pixels[] = {40, 73, 107, 60, 253, 63, 77, 73, 87, 67, 87};
        QCOMPARE(int(logColumns().size()), 11);
        for (int i = 0; i < 11; ++i)
            QCOMPARE(twipsToPixels(logColumns()[i].twips), pixels[i]);
        QCOMPARE(QString::fromLatin1(logColumns()[4].name), QStringLiteral("Event"));
    }

    void csvFields_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("plain") << QStringList{"a", "", "1.5"} << QByteArray("a,,1.5\r\n");
        QTest::newRow("comma") << QStringList{"a,b"} << QByteArray("\"a,b\"\r\n");
        QTest::newRow("quote") << QStringList{"say \"hi\""} << QByteArray("\"say \"\"hi\"\"\"\r\n");
        QTest::newRow("line break") << QStringList{"a\nb", "c\rd"} << QByteArray("\"a\nb\",\"c\rd\"\r\n");
        QTest::newRow("apostrophe, percent") << QStringList{"O'Brien", "50%_x"} << QByteArray("O'Brien,50%_x\r\n");
        QTest::newRow("utf-8") << QStringList{"Kühl"} << QByteArray("K\xc3\xbchl\r\n");
    }
    void csvFields()
    {
        QFETCH(QStringList, fields);
        QFETCH(QByteArray, line);
        QCOMPARE(csvRecord(fields), line);
    }
};

QTEST_GUILESS_MAIN(TestLogQuery)
#include "tst_logquery.moc"
