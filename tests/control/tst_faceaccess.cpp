// The face in words: accessible names, and descriptions that follow the
// value and the range as the scan moves through them.

#include "alarmprompt.h"
#include "alarmsound.h"
#include "faceaccess.h"
#include "quellix.h"
#include "testsupport.h"

#include <QLineEdit>
#include <QTest>
#include <QTimer>

using namespace quellix;
using namespace quellix::face;
using quellix::schema::Field;

Q_DECLARE_METATYPE(quellix::Range)

namespace {

class SilentPlayer : public SoundPlayer
{
public:
    void play(const QByteArray &) override {}
    void stop() override {}
};

QLineEdit *box(Quellix &m, const char *name) { return m.findChild<QLineEdit *>(QLatin1String(name)); }

void tick(Quellix &m)
{
    QVERIFY(QMetaObject::invokeMethod(m.findChild<QTimer *>(QStringLiteral("timer_LIMITS")), "timeout"));
}

QStringList indicatorDescriptions(Quellix &m)
{
    return {box(m, "t_NORMAL")->accessibleDescription(), box(m, "t_CAUTION")->accessibleDescription(),
            box(m, "t_WARNING")->accessibleDescription()};
}

} // namespace

class TestFaceAccess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { setSoundPlayer(std::make_unique<SilentPlayer>()); }
    void cleanup()
    {
        destroyAlarmPrompt();
        setSoundPlayer(nullptr);
    }

    void indicatorWords_data()
    {
        QTest::addColumn<Range>("range");
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<bool>("limitsSet");
        QTest::addColumn<QString>("lightsOff"); // limits whose alarm light is off: U, W, C, L
        QTest::addColumn<QStringList>("expected"); // normal, caution, warning

        const QString normal = "value in normal range", caution = "value in caution range",
                      warning = "value in warning range", upper = "upper limit reached",
                      lower = "lower limit reached";
        QTest::newRow("normal") << Range::Normal << true << true << ""
                                << QStringList{"Lit: " + normal, "Dark: " + normal, "Dark: " + normal};
        QTest::newRow("caution") << Range::Caution << true << true << ""
                                 << QStringList{"Dark: " + caution, "Lit: " + caution, "Dark: " + caution};
        QTest::newRow("warning") << Range::Warning << false << true << ""
                                 << QStringList{"Dark: " + warning, "Dark: " + warning, "Lit: " + warning};
        // The flasher beside the limit: the warning side when ascending.
        QTest::newRow("upper, ascending") << Range::Upper << true << true << ""
                                          << QStringList{"Dark: " + upper, "Dark: " + upper, "Flashing: " + upper};
        QTest::newRow("upper, descending") << Range::Upper << false << true << ""
                                           << QStringList{"Flashing: " + upper, "Dark: " + upper, "Dark: " + upper};
        QTest::newRow("lower, ascending") << Range::Lower << true << true << ""
                                          << QStringList{"Flashing: " + lower, "Dark: " + lower, "Dark: " + lower};
        QTest::newRow("lower, descending") << Range::Lower << false << true << ""
                                           << QStringList{"Dark: " + lower, "Dark: " + lower, "Flashing: " + lower};
        // A light switched off leaves its lamp dark in its own range, and
        // says so; the other lights change nothing there.
        const QString off = ", alarm light switched off";
        QTest::newRow("caution light off") << Range::Caution << true << true << "CUWL"
                                           << QStringList{"Dark: " + caution, "Dark: " + caution + off,
                                                          "Dark: " + caution};
        QTest::newRow("upper light off") << Range::Upper << true << true << "U"
                                         << QStringList{"Dark: " + upper, "Dark: " + upper, "Dark: " + upper + off};
        QTest::newRow("other lights off") << Range::Warning << true << true << "UCL"
                                          << QStringList{"Dark: " + warning, "Dark: " + warning, "Lit: " + warning};
        QTest::newRow("limits not set") << Range::Warning << true << false << ""
                                        << QStringList(3, "Dark: limits not set");
        QTest::newRow("not yet scanned") << Range::None << true << true << ""
                                         << QStringList(3, "Not yet scanned");
    }
    void indicatorWords()
    {
        QFETCH(Range, range);
        QFETCH(bool, ascending);
        QFETCH(bool, limitsSet);
        QFETCH(QString, lightsOff);
        QFETCH(QStringList, expected);
        AccessibleFacts f;
        f.range = range;
        f.ascending = ascending;
        f.limitsSet = limitsSet;
        const char letters[] = {'U', 'W', 'C', 'L'}; // in Limit order
        for (int i = 0; i < 4; ++i)
            f.lights[i] = !lightsOff.contains(QLatin1Char(letters[i]));
        const AccessibleTexts t = describeFace(f);
        QCOMPARE((QStringList{t.normal, t.caution, t.warning}), expected);
    }

    void readoutWords()
    {
        AccessibleFacts f;
        f.readout = "95.00";
        f.output = "950.00";
        f.units = "kPa";
        f.range = Range::Warning;
        f.limitsSet = true;
        QCOMPARE(describeFace(f).readout, QStringLiteral("95.00 kPa, warning range"));
        QCOMPARE(describeFace(f).output, QStringLiteral("950.00"));
        f.onHold = true;
        QCOMPARE(describeFace(f).readout, QStringLiteral("95.00 kPa, warning range, on hold"));
        f.onHold = false;
        f.units.clear();
        f.range = Range::Upper;
        QCOMPARE(describeFace(f).readout, QStringLiteral("95.00, upper limit reached"));
        f.limitsSet = false;
        QCOMPARE(describeFace(f).readout, QStringLiteral("95.00, limits not set"));
    }

    void followsTheScan()
    {
        testsupport::StoreDir dir;
        // Limits 0 / 75 / 90 / 100 ascending, every alarm light on; no
        // prompts, so the ticks run without windows.
        std::unique_ptr<Quellix> m = testsupport::registeredControl(
            "Tank", {{Field::Units, "kPa"}, {Field::OutputMultiplier, 10}, {Field::EnableWarningPrompt, false},
                     {Field::EnableCautionPrompt, false}, {Field::EnableUpperPrompt, false},
                     {Field::EnableLowerPrompt, false}});
        for (QTimer *t : m->findChildren<QTimer *>())
            t->stop();

        QCOMPARE(box(*m, "t_READOUT")->accessibleName(), QStringLiteral("Displayed value"));
        QCOMPARE(box(*m, "t_OUTPUT")->accessibleName(), QStringLiteral("Output value"));
        QCOMPARE(box(*m, "t_NORMAL")->accessibleName(), QStringLiteral("Normal indicator"));
        QCOMPARE(box(*m, "t_CAUTION")->accessibleName(), QStringLiteral("Caution indicator"));
        QCOMPARE(box(*m, "t_WARNING")->accessibleName(), QStringLiteral("Warning indicator"));

        struct Step
        {
            double value;
            const char *readout;
            const char *output;
            QStringList indicators; // normal, caution, warning
        };
        const QString n = "value in normal range", c = "value in caution range", w = "value in warning range",
                      u = "upper limit reached", l = "lower limit reached";
        const Step steps[] = {
            {50, "50.00 kPa, normal range", "500.00", {"Lit: " + n, "Dark: " + n, "Dark: " + n}},
            // Within the range: the value's words follow, the lamps' stay.
            {60, "60.00 kPa, normal range", "600.00", {"Lit: " + n, "Dark: " + n, "Dark: " + n}},
            {80, "80.00 kPa, caution range", "800.00", {"Dark: " + c, "Lit: " + c, "Dark: " + c}},
            {95, "95.00 kPa, warning range", "950.00", {"Dark: " + w, "Dark: " + w, "Lit: " + w}},
            {96.5, "96.50 kPa, warning range", "965.00", {"Dark: " + w, "Dark: " + w, "Lit: " + w}},
            {120, "120.00 kPa, upper limit reached", "1200.00", {"Dark: " + u, "Dark: " + u, "Flashing: " + u}},
            {-5, "-5.00 kPa, lower limit reached", "-50.00", {"Flashing: " + l, "Dark: " + l, "Dark: " + l}},
            {50, "50.00 kPa, normal range", "500.00", {"Lit: " + n, "Dark: " + n, "Dark: " + n}},
        };
        for (const Step &s : steps) {
            m->setInputValue(s.value);
            tick(*m);
            const QString at = QString::number(s.value);
            QVERIFY2(box(*m, "t_READOUT")->accessibleDescription() == QLatin1String(s.readout),
                     qPrintable(at + ": " + box(*m, "t_READOUT")->accessibleDescription()));
            QVERIFY2(box(*m, "t_OUTPUT")->accessibleDescription() == QLatin1String(s.output),
                     qPrintable(at + ": " + box(*m, "t_OUTPUT")->accessibleDescription()));
            QVERIFY2(indicatorDescriptions(*m) == s.indicators,
                     qPrintable(at + ": " + indicatorDescriptions(*m).join(" | ")));
        }
    }
};

QTEST_MAIN(TestFaceAccess)
#include "tst_faceaccess.moc"
