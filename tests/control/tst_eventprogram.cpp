// Event programs: started directly from their command line, detached,
// and never through a shell.

#include "eventprogram.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quellix;

namespace {

// Writes a shell script (the test's own helper program) and makes it
// executable unless told otherwise.
QString writeScript(const QString &path, const QByteArray &body, bool executable = true)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write("#!/bin/sh\n" + body);
    f.close();
    QFile::Permissions p = QFile::ReadOwner | QFile::WriteOwner;
    if (executable)
        p |= QFile::ExeOwner;
    f.setPermissions(p);
    return path;
}

// A program that writes its arguments after the first, one per line, into
// the file named by the first; the file appears complete or not at all.
QString argumentRecorder(const QTemporaryDir &dir)
{
    return writeScript(dir.filePath("record-args"),
                       "out=\"$1\"; shift\n"
                       "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$out.part\"\n"
                       "mv \"$out.part\" \"$out\"\n");
}

QStringList readLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString quoted(const QString &s) { return '"' + s + '"'; }

} // namespace

class TestEventProgram : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsWithoutWaiting()
    {
        QTemporaryDir dir;
        const QString started = dir.filePath("started");
        const QString finished = dir.filePath("finished");
        const QString program = writeScript(dir.filePath("slow"),
                                            "touch \"$1\"\nsleep 2\ntouch \"$2\"\n");
        QElapsedTimer clock;
        clock.start();
        QVERIFY(startEventProgram(quoted(program) + ' ' + quoted(started) + ' ' + quoted(finished)));
        QVERIFY(clock.elapsed() < 1500);
        QVERIFY(!QFile::exists(finished));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 5000);
    }

    void argumentsReachTheProgramIntact()
    {
        QTemporaryDir dir;
        const QString recorder = argumentRecorder(dir);
        const QString out = dir.filePath("args");
        QVERIFY(startEventProgram(QString("  %1 %2 plain \"two words\" \"say \"\"\"hi\"\"\"\" C:\\APPS\\PUMP.EXE  ")
                                      .arg(recorder, out)));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 5000);
        QCOMPARE(readLines(out), (QStringList{"plain", "two words", "say \"hi\"", "C:\\APPS\\PUMP.EXE"}));
    }

    void pathWithBlanksNamesOneProgram()
    {
        // A picked path is joined as it stands; blanks in it need no quotes.
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("pump tools"));
        const QString marker = dir.filePath("ran");
        const QString program = writeScript(dir.filePath("pump tools/alarm run"),
                                            "touch '" + marker.toUtf8() + "'\n");
        QVERIFY(startEventProgram(program));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 5000);
    }

    void refusedCommandLinesStartNothing()
    {
        QTemporaryDir dir;
        const QString marker = dir.filePath("ran");
        // Would leave the marker if anything ran it, e.g. through a shell.
        const QString notExecutable = writeScript(dir.filePath("not-executable"),
                                                  "touch '" + marker.toUtf8() + "'\n", false);
        const QString missing = dir.filePath("no-such-program");

        QVERIFY(!startEventProgram(QString()));
        QVERIFY(!startEventProgram("   \t "));
        QVERIFY(!startEventProgram("\"\""));
        QVERIFY(!startEventProgram(missing));
        QVERIFY(!startEventProgram(quoted(missing) + " argument"));
        QVERIFY(!startEventProgram(notExecutable));
        QVERIFY(!startEventProgram(dir.path()));  // a directory
        QVERIFY(!startEventProgram("Enter The Path To The Application To Activate On Upper Alarm"));
        QTest::qWait(300);
        QVERIFY(!QFile::exists(marker));
    }

    void shellCharactersAreArguments()
    {
        QTemporaryDir dir;
        const QString recorder = argumentRecorder(dir);
        const QString out = dir.filePath("args");
        const QString second = dir.filePath("second");
        const QString third = dir.filePath("third");
        const QString fourth = dir.filePath("fourth");
        const QString fifth = dir.filePath("fifth");
        const QString sixth = dir.filePath("sixth");
        const QString redirected = dir.filePath("redirected");
        const QString line = QString("%1 %2; touch %3 && touch %4 | touch %5 $(touch %6) `touch %7` > %8")
                                 .arg(recorder, out, second, third, fourth, fifth, sixth, redirected);
        QVERIFY(startEventProgram(line));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("args;")), 5000);
        QCOMPARE(readLines(dir.filePath("args;")),
                 (QStringList{"touch", second, "&&", "touch", third, "|", "touch", fourth, "$(touch",
                              fifth + ")", "`touch", sixth + "`", ">", redirected}));
        QTest::qWait(300);
        for (const QString &f : {out, second, third, fourth, fifth, sixth, redirected})
            QVERIFY2(!QFile::exists(f), qPrintable(f));
    }
};

QTEST_GUILESS_MAIN(TestEventProgram)
#include "tst_eventprogram.moc"
