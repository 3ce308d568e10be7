// The event relays of the face: which mouse actions on which element reach
// the host as Click, DblClick and MouseMove, and that the buttons and the
// output box keep working under them.

// Mouse actions go through the window system, so they land on whatever
// element lies on top at the point, and double clicks are detected the way
// a real mouse produces them.
#define QTEST_QPA_MOUSE_HANDLING

#include "quellix.h"
#include "testsupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

struct Move
{
    qint16 button, shift;
    float x, y;
    friend bool operator==(const Move &, const Move &) = default;
};

} // namespace

Q_DECLARE_METATYPE(Move)

namespace QTest {
template<>
char *toString(const Move &m)
{
    return qstrdup(QStringLiteral("Move(%1, %2, %3, %4)").arg(m.button).arg(m.shift).arg(m.x).arg(m.y).toUtf8());
}
} // namespace QTest

class TestRelays : public QObject
{
    Q_OBJECT

    std::unique_ptr<testsupport::StoreDir> dir;
    std::unique_ptr<QWidget> panel;
    Quellix *meter = nullptr;
    QStringList relayed;  // Click, DblClick, HoldOn, HoldOff in order
    QList<Move> moves;    // every MouseMove (the window system adds moves to where a click lands)

    QWidget *element(const char *name) { return meter->findChild<QWidget *>(QLatin1String(name)); }

    // A point of the element where it lies on top, in its own coordinates.
    QPoint exposedPoint(QWidget *w)
    {
        for (int y = 1; y < w->height() - 1; ++y) {
            for (int x = 1; x < w->width() - 1; ++x) {
                if (meter->childAt(w->mapTo(meter, QPoint(x, y))) == w)
                    return {x, y};
            }
        }
        return {-1, -1};
    }

private Q_SLOTS:
    void init()
    {
        dir = std::make_unique<testsupport::StoreDir>();
        panel = std::make_unique<QWidget>();
        panel->resize(240, 220);
        meter = new Quellix(panel.get());
        meter->setObjectName("Meter1");
        meter->REGISTER();
        // The recording indicator shows only while recording is on.
        testsupport::setSettingsField("Meter1", quellix::schema::Field::LogDisplayedEvery, true);
        meter->REGISTER();
        // Off the panel's origin, so element coordinates differ from the window's.
        meter->setGeometry(20, 30, 176, 176);
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel.get()));

        relayed.clear();
        moves.clear();
        connect(meter, &Quellix::Click, this, [this] { relayed << "Click"; });
        connect(meter, &Quellix::DblClick, this, [this] { relayed << "DblClick"; });
        connect(meter, &Quellix::HoldOn, this, [this] { relayed << "HoldOn"; });
        connect(meter, &Quellix::HoldOff, this, [this] { relayed << "HoldOff"; });
        connect(meter, &Quellix::MouseMove, this, [this](qint16 b, qint16 s, float x, float y) {
            moves << Move{b, s, x, y};
        });
    }

    void cleanup()
    {
        panel.reset();
        meter = nullptr;
        dir.reset();
    }

    void clicksPerElement_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("relays");
        QTest::addColumn<bool>("relaysDouble");
        for (const char *n : {"i_BORDER", "t_READOUT", "t_NORMAL", "t_CAUTION", "t_WARNING"})
            QTest::newRow(n) << n << true << true;
        for (const char *n : {"t_UNITS", "t_OUTPUT", "t_ONHOLD", "t_RECORDLITE", "t_COMMLIGHT", "t_GAUGENAME", "LOGO"})
            QTest::newRow(n) << n << false << false;
    }

    void clicksPerElement()
    {
        QFETCH(QString, name);
        QFETCH(bool, relays);
        QFETCH(bool, relaysDouble);
        QWidget *w = element(name.toLatin1().constData());
        QVERIFY(w);
        const QPoint p = exposedPoint(w);
        QVERIFY2(p.x() >= 0, "element hidden under others");

        QTest::mouseClick(w, Qt::LeftButton, {}, p);
        QCOMPARE(relayed, relays ? QStringList{"Click"} : QStringList{});

        // A double click: the first click, then the double click, and no
        // second Click for the release that ends it.
        relayed.clear();
        QTest::mouseDClick(w, Qt::LeftButton, {}, p);
        QStringList expected;
        if (relays)
            expected << "Click";
        if (relaysDouble)
            expected << "DblClick";
        QCOMPARE(relayed, expected);

        // No element relays a move except the border.
        moves.clear();
        QTest::mouseMove(w, p + QPoint(1, 0));
        QCOMPARE(!moves.isEmpty(), name == "i_BORDER");
    }

    void clickNeedsTheReleaseOnTheSameElement()
    {
        QWidget *normal = element("t_NORMAL");
        QWidget *border = element("i_BORDER");
        const QPoint p = exposedPoint(normal);
        // Pressed on the indicator, released over the border: no click.
        QTest::mousePress(normal, Qt::LeftButton, {}, p);
        QTest::mouseRelease(border, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(relayed, QStringList{});
        // Pressed on the border and released inside it again: one click.
        QTest::mousePress(border, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(border, Qt::LeftButton, {}, QPoint(8, 6));
        QCOMPARE(relayed, QStringList{"Click"});
    }

    void doubleClickWithASecondPress()
    {
        // Some platforms deliver the second press of a double click before
        // the double click itself; that press must not make the last
        // release a second Click.
        QWidget *border = element("i_BORDER");
        const QPointF p(6, 90);
        auto send = [&](QEvent::Type type, Qt::MouseButtons held) {
            QMouseEvent e(type, p, border->mapToGlobal(p), Qt::LeftButton, held, Qt::NoModifier);
            QCoreApplication::sendEvent(border, &e);
        };
        send(QEvent::MouseButtonPress, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, Qt::NoButton);
        send(QEvent::MouseButtonPress, Qt::LeftButton);
        send(QEvent::MouseButtonDblClick, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, Qt::NoButton);
        QCOMPARE(relayed, (QStringList{"Click", "DblClick"}));
    }

    void mouseMoveArguments()
    {
        QWidget *border = element("i_BORDER");
        QCOMPARE(border->pos(), QPoint(0, 0));

        // A move without a button, in host units of the element.
        QTest::mouseMove(border, QPoint(10, 20));
        QVERIFY(!moves.isEmpty());
        QCOMPARE(moves.last(), (Move{0, 0, 150.0f, 300.0f}));

        // Right button held, Shift and Ctrl down.
        QTest::mousePress(border, Qt::RightButton, {}, QPoint(10, 20));
        moves.clear();
        QTest::mouseEvent(QTest::MouseMove, border, Qt::NoButton, Qt::ShiftModifier | Qt::ControlModifier,
                          QPoint(12, 21));
        QCOMPARE(moves, (QList<Move>{{2, 3, 180.0f, 315.0f}}));
        QTest::mouseRelease(border, Qt::RightButton, {}, QPoint(12, 21));

        // Left and middle held together, Alt down.
        QTest::mousePress(border, Qt::LeftButton, {}, QPoint(5, 100));
        QTest::mousePress(border, Qt::MiddleButton, {}, QPoint(5, 100));
        moves.clear();
        QTest::mouseEvent(QTest::MouseMove, border, Qt::NoButton, Qt::AltModifier, QPoint(6, 100));
        QCOMPARE(moves, (QList<Move>{{5, 4, 90.0f, 1500.0f}}));
        QTest::mouseRelease(border, Qt::MiddleButton, {}, QPoint(6, 100));
        QTest::mouseRelease(border, Qt::LeftButton, {}, QPoint(6, 100));
        // The left press and release was a click on the border; the right
        // and middle buttons click nothing.
        QCOMPARE(relayed, QStringList{"Click"});
        relayed.clear();
        QTest::mouseClick(border, Qt::RightButton, {}, QPoint(5, 100));
        QTest::mouseDClick(border, Qt::MiddleButton, {}, QPoint(5, 100));
        QCOMPARE(relayed, QStringList{});

        // Moves that start on an element that relays nothing stay silent,
        // even where they cross the border.
        for (const char *name : {"LOGO", "t_GAUGENAME", "t_UNITS"}) {
            QWidget *w = element(name);
            const QPoint p = exposedPoint(w);
            QTest::mouseMove(w, p);
            relayed.clear();
            moves.clear();
            QTest::mousePress(w, Qt::LeftButton, {}, p);
            QTest::mouseMove(border, QPoint(3, 3));
            QTest::mouseRelease(border, Qt::LeftButton, {}, QPoint(3, 3));
            QVERIFY2(relayed.isEmpty(), name);
            QVERIFY2(moves.isEmpty(), name);
        }
    }

    void bareSurface()
    {
        // The border covers 175 of the 176 pixels: the last column is the
        // control's own surface.
        const QPoint p(175, 60);
        QCOMPARE(meter->childAt(p), nullptr);

        QTest::mouseMove(meter, p);
        QCOMPARE(moves.last(), (Move{0, 0, 2625.0f, 900.0f}));

        relayed.clear();
        QTest::mouseClick(meter, Qt::LeftButton, {}, p);
        QCOMPARE(relayed, QStringList{"Click"});

        // The surface relays no double click, and the release after it no
        // second Click.
        relayed.clear();
        QTest::mouseDClick(meter, Qt::LeftButton, {}, p);
        QCOMPARE(relayed, QStringList{"Click"});
    }

    void disabledElementsRelayNothing()
    {
        meter->setControlEnabled(false);
        QVERIFY(!element("t_READOUT")->isEnabled());
        // A disabled element's mouse action goes to the control, which must
        // not take it for a click on its own surface.
        for (const char *name : {"t_READOUT", "t_WARNING", "t_UNITS", "c_HOLD", "c_RESET"}) {
            QWidget *w = element(name);
            QTest::mouseClick(w, Qt::LeftButton, {}, exposedPoint(w));
            QVERIFY2(relayed.isEmpty(), name);
        }
        QVERIFY(!meter->Onhold());
        // The border does not follow Enabled.
        QTest::mouseClick(element("i_BORDER"), Qt::LeftButton, {}, QPoint(4, 4));
        QCOMPARE(relayed, QStringList{"Click"});

        // A control the host disables relays nothing at all.
        meter->setControlEnabled(true);
        meter->setEnabled(false);
        relayed.clear();
        QTest::mouseClick(element("i_BORDER"), Qt::LeftButton, {}, QPoint(4, 4));
        QTest::mouseClick(meter, Qt::LeftButton, {}, QPoint(175, 60));
        QCOMPARE(relayed, QStringList{});
    }

    void buttonsAndOutputBoxStillWork()
    {
        auto *hold = meter->findChild<QPushButton *>("c_HOLD");
        QTest::mouseClick(hold, Qt::LeftButton, {}, exposedPoint(hold));
        QCOMPARE(relayed, (QStringList{"HoldOn", "Click"}));
        QVERIFY(meter->Onhold());
        QTest::mouseClick(hold, Qt::LeftButton, {}, exposedPoint(hold));
        QCOMPARE(relayed, (QStringList{"HoldOn", "Click", "HoldOff", "Click"}));

        relayed.clear();
        auto *reset = meter->findChild<QPushButton *>("c_RESET");
        QTest::mouseClick(reset, Qt::LeftButton, {}, exposedPoint(reset));
        QCOMPARE(relayed, QStringList{"Click"});
        QCOMPARE(reset->text(), QStringLiteral("Alarm Reset(RESET)"));

        // The output box still takes the operator's typing after a click.
        auto *output = meter->findChild<QLineEdit *>("t_OUTPUT");
        relayed.clear();
        QTest::mouseClick(output, Qt::LeftButton, {}, exposedPoint(output));
        QCOMPARE(relayed, QStringList{});
        output->selectAll();
        QTest::keyClicks(output, "7");
        QCOMPARE(output->text(), QStringLiteral("7"));
        QTest::keyClick(output, Qt::Key_Return);
        QCOMPARE(output->text(), QStringLiteral("7.00"));
    }
};

QTEST_MAIN(TestRelays)
#include "tst_relays.moc"
