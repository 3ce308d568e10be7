// The face layout: size rules, layout factors, the resize pass with nested
// resizes, and what the face looks like when rendered.

#include "facebitmaps.h"
#include "facelayout.h"
#include "quellix.h"
#include "textfit.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <map>
#include <stdexcept>
#include <vector>

using namespace quellix::face;

namespace {

struct Reference
{
    const char *name;
    float left, top, width, height, font; // font 0: none
};

// The face at 2640 × 2640 units (176 × 176 pixels), in layout order.
const Reference kReference[kElementCount] = {
    {"i_BORDER", 0, 0, 175, 175, 0},
    {"LOGO", 78, 156, 18, 18, 0},
    {"t_GAUGENAME", 34, 7.2f, 107, 17, 9},
    {"t_RECORDLITE", 70, 98, 15, 17, 8},
    {"t_NORMAL", 24, 24, 126, 25, 10},
    {"t_CAUTION", 24, 44, 63, 20, 8},
    {"t_WARNING", 86, 44, 64, 20, 8},
    {"t_COMMLIGHT", 24, 64, 31.68f, 17, 8},
    {"t_ONHOLD", 24, 80, 31.68f, 17, 8},
    {"t_OUTPUT", 24, 98, 49, 17, 8},
    {"t_READOUT", 22, 64, 128, 49, 20},
    {"t_UNITS", 84, 96, 65, 24, 10},
    {"c_HOLD", 24, 114, 42, 19, 8},
    {"c_LOGS", 66, 114, 42, 19, 8},
    {"c_PROPERTIES", 108, 114, 42, 19, 8},
    {"c_RESET", 24, 133, 126, 19, 8},
};

bool close(float a, float b, float tol = 1e-3f)
{
    return std::abs(a - b) <= tol * std::max(1.0f, std::abs(b));
}

QString describe(const ElementGeometry &g)
{
    return QStringLiteral("%1 (%2, %3, %4 x %5) font %6")
        .arg(QLatin1String(elementName(g.element)))
        .arg(g.left)
        .arg(g.top)
        .arg(g.width)
        .arg(g.height)
        .arg(g.fontPoints ? QString::number(*g.fontPoints) : QStringLiteral("-"));
}

// Compares a layout with the reference scaled by sx horizontally, sy
// vertically; fonts follow the height.
void verifyScaledReference(const FaceGeometry &face, double sx, double sy)
{
    for (int i = 0; i < kElementCount; ++i) {
        const ElementGeometry &g = face[i];
        const Reference &r = kReference[i];
        QCOMPARE(elementName(g.element), r.name);
        const bool logo = g.element == Element::Logo;
        QVERIFY2(close(g.left, float(r.left * sx)), qPrintable(describe(g)));
        QVERIFY2(close(g.top, float(r.top * sy)), qPrintable(describe(g)));
        // The emblem is square at any shape of the control.
        QVERIFY2(close(g.width, float(r.width * (logo ? sy : sx))), qPrintable(describe(g)));
        QVERIFY2(close(g.height, float(r.height * sy)), qPrintable(describe(g)));
        QCOMPARE(g.fontPoints.has_value(), r.font > 0);
        if (r.font > 0)
            QVERIFY2(close(*g.fontPoints, float(r.font * sy)), qPrintable(describe(g)));
    }
}

// The host as the size rules expect it: sizes in units, and a size written
// during a pass handled in full, by a nested pass, before the write returns.
class MemoryHost : public FaceHost
{
public:
    MemoryHost(double w, double h) : w(w), h(h) {}

    double w, h;
    int resizes = 0;
    int depth = 0;
    int deepest = 0;
    std::vector<QString> calls; // of the outermost pass
    std::map<Element, ElementGeometry> placed;
    std::map<Element, float> fonts;
    std::function<void(MemoryHost &)> onResize;
    std::function<void(Element)> failFont, failPlace;

    void run()
    {
        ++depth;
        deepest = std::max(deepest, depth);
        runResizePass(*this);
        --depth;
    }

    double width() const override { return w; }
    double height() const override { return h; }
    void setWidth(double units, SizeBound) override
    {
        log(QStringLiteral("width %1").arg(units));
        w = units;
        run();
    }
    void setHeight(double units, SizeBound) override
    {
        log(QStringLiteral("height %1").arg(units));
        h = units;
        run();
    }
    void raiseResize() override
    {
        ++resizes;
        log(QStringLiteral("Resize"));
        if (onResize)
            onResize(*this);
    }
    void setFontPoints(Element e, float pt) override
    {
        if (failFont)
            failFont(e);
        log(QStringLiteral("font %1").arg(QLatin1String(elementName(e))));
        fonts[e] = pt;
    }
    void place(const ElementGeometry &g) override
    {
        if (failPlace)
            failPlace(g.element);
        log(QStringLiteral("place %1").arg(QLatin1String(elementName(g.element))));
        placed[g.element] = g;
    }

private:
    void log(const QString &s)
    {
        if (depth == 1)
            calls.push_back(s);
    }
};

void verifyFinalLayout(const MemoryHost &host)
{
    const FaceGeometry expected = layoutFace({host.w, host.h});
    QCOMPARE(int(host.placed.size()), kElementCount);
    for (const ElementGeometry &e : expected) {
        const ElementGeometry &g = host.placed.at(e.element);
        QVERIFY2(g.left == e.left && g.top == e.top && g.width == e.width && g.height == e.height,
                 qPrintable(describe(g) + QStringLiteral(" expected ") + describe(e)));
        if (e.fontPoints)
            QCOMPARE(host.fonts.at(e.element), *e.fontPoints);
    }
}

template<class T>
T *element(const Quellix &q, const char *name)
{
    T *w = q.findChild<T *>(QLatin1String(name));
    if (!w)
        qFatal("no element %s", name);
    return w;
}

void stopTimers(Quellix &q)
{
    for (QTimer *t : q.findChildren<QTimer *>())
        t->stop();
}

// The boxes that shrink a text too wide for them.
bool fitsItsText(Element e)
{
    return e == Element::Readout || e == Element::Output || e == Element::Units;
}

// The width a line edit leaves its text: its contents inside the text
// margins, less the two pixels QLineEdit keeps clear at each end.
int lineWidth(const QLineEdit *box)
{
    const QMargins m = box->textMargins();
    return box->contentsRect().width() - m.left() - m.right() - 2 * 2;
}

// A fitted box shows its text whole, at most at the layout's size, and at
// that size when the text fits there with a few pixels to spare.
void verifyFittedFont(const QLineEdit *box, qreal layoutPoints)
{
    const QString what = QStringLiteral("%1 '%2' at %3 pt (layout %4 pt), %5 px wide in a line of %6 px")
                             .arg(box->objectName(), box->text())
                             .arg(box->font().pointSizeF())
                             .arg(layoutPoints)
                             .arg(QFontMetrics(box->font()).horizontalAdvance(box->text()))
                             .arg(lineWidth(box));
    QVERIFY2(box->font().pointSizeF() <= layoutPoints, qPrintable(what));
    QVERIFY2(QFontMetrics(box->font()).horizontalAdvance(box->text()) < lineWidth(box), qPrintable(what));
    QFont atLayout = box->font();
    atLayout.setPointSizeF(layoutPoints);
    if (QFontMetricsF(atLayout).horizontalAdvance(box->text()) + 6 < lineWidth(box))
        QVERIFY2(box->font().pointSizeF() == layoutPoints, qPrintable(what));
}

// Every element of the widget sits where the layout at its current size
// puts it, with its font at the layout's size (a fitted box: at most that).
void verifyWidgetAtItsSize(const Quellix &q)
{
    const FaceGeometry face = layoutFace({q.width() * kUnitsPerPixel, q.height() * kUnitsPerPixel});
    for (const ElementGeometry &g : face) {
        const QWidget *w = element<QWidget>(q, elementName(g.element));
        const PixelRect r = pixelRect(g);
        QCOMPARE(w->geometry(), QRect(r.x, r.y, r.width, r.height));
        if (g.fontPoints && fitsItsText(g.element))
            verifyFittedFont(static_cast<const QLineEdit *>(w), qreal(*g.fontPoints));
        else if (g.fontPoints)
            QCOMPARE(w->font().pointSizeF(), qreal(*g.fontPoints));
    }
}

struct Ink
{
    QRect box;  // bounding box of the ink
    int pixels = 0;
};

// The pixels inside `area` for which `isInk` holds.
Ink inkIn(const QImage &img, const QRect &area, const std::function<bool(QRgb)> &isInk)
{
    Ink ink;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (isInk(img.pixel(x, y))) {
                ink.box |= QRect(x, y, 1, 1);
                ++ink.pixels;
            }
    return ink;
}

bool isRed(QRgb c) { return qRed(c) > 140 && qGreen(c) < 90 && qBlue(c) < 90; }
bool isDarkInk(QRgb c) { return qGray(c) < 90; }
bool isYellow(QRgb c) { return qRed(c) > 140 && qGreen(c) > 140 && qBlue(c) < 100; }
bool isGreenInk(QRgb c) { return qGreen(c) > 120 && qRed(c) < 100 && qBlue(c) < 100; }
bool isWhite(QRgb c) { return qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200; }

// The ink of a box's text lies within `visible` (the part of the box no
// other element covers) and is as wide as the text's own ink: nothing is
// clipped or scrolled away.
void verifyTextFullyShown(const QImage &img, const QLineEdit *box, const QRect &visible,
                          const std::function<bool(QRgb)> &isInk)
{
    const Ink ink = inkIn(img, visible, isInk);
    const QRectF text = QFontMetricsF(box->font()).tightBoundingRect(box->text());
    const QString what = QStringLiteral("%1 '%2': ink %3,%4 %5x%6 in %7,%8 %9x%10, text %11x%12")
                             .arg(box->objectName(), box->text())
                             .arg(ink.box.x()).arg(ink.box.y()).arg(ink.box.width()).arg(ink.box.height())
                             .arg(visible.x()).arg(visible.y()).arg(visible.width()).arg(visible.height())
                             .arg(text.width()).arg(text.height());
    QVERIFY2(ink.pixels > 10, qPrintable(what));
    QVERIFY2(std::abs(ink.box.width() - text.width()) <= 2.5, qPrintable(what));
    QVERIFY2(std::abs(ink.box.height() - text.height()) <= 2.5, qPrintable(what));
    // Not touching the visible area's edges: a clipped glyph would.
    QVERIFY2(visible.adjusted(1, 1, -1, -1).contains(ink.box), qPrintable(what));
}

QRect rectOf(const QWidget *w) { return w->geometry(); }

// A pixel of a box's text on its black ground, however faint its edge: lit,
// and of the text's hue (dark in every channel the text colour lacks), so
// the grey of a button lying over the box is not taken for text.
std::function<bool(QRgb)> inkOf(const QLineEdit *box)
{
    const QColor text = box->palette().color(QPalette::Text);
    return [text](QRgb c) {
        const int channels[3] = {qRed(c), qGreen(c), qBlue(c)};
        const int wanted[3] = {text.red(), text.green(), text.blue()};
        const int lit = std::max({channels[0], channels[1], channels[2]});
        if (lit <= 48)
            return false;
        for (int i = 0; i < 3; ++i)
            if (wanted[i] == 0 && channels[i] * 2 > lit)
                return false;
        return true;
    };
}

// The part of a fitted box that no element stacked above it covers.
QRect uncoveredPart(const Quellix &q, const QLineEdit *box)
{
    QRect r = rectOf(box);
    if (box->objectName() == QLatin1String("t_READOUT")) {
        r.setLeft(std::max(rectOf(element<QWidget>(q, "t_COMMLIGHT")).right(),
                           rectOf(element<QWidget>(q, "t_ONHOLD")).right()) + 1);
        r.setBottom(rectOf(element<QWidget>(q, "t_UNITS")).top() - 1);
    } else if (box->objectName() == QLatin1String("t_OUTPUT")) {
        r.setRight(rectOf(element<QWidget>(q, "t_RECORDLITE")).left() - 1);
        r.setBottom(rectOf(element<QWidget>(q, "c_HOLD")).top() - 1);
    }
    return r;
}

// The ink of a box's text drawn on its own, in the box's font and colour.
Ink inkAlone(const QLineEdit *box, const std::function<bool(QRgb)> &isInk)
{
    const QFontMetrics fm(box->font());
    QImage img(fm.horizontalAdvance(box->text()) + 2 * fm.height(), 3 * fm.height(), QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    p.setFont(box->font());
    p.setPen(box->palette().color(QPalette::Text));
    p.drawText(fm.height(), 2 * fm.height(), box->text());
    p.end();
    return inkIn(img, img.rect(), isInk);
}

// The readout, output and units boxes each show their text whole, where an
// operator can see it, and at no more than the layout's size: the ink in
// the part of the box nothing covers is as wide as the text's own ink, and
// clear of that part's left and right edges.
void verifyTextsShownWhole(Quellix &q)
{
    const FaceGeometry face = layoutFace({q.width() * kUnitsPerPixel, q.height() * kUnitsPerPixel});
    const QImage img = q.grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (Element e : {Element::Readout, Element::Output, Element::Units}) {
        const auto *box = element<QLineEdit>(q, elementName(e));
        verifyFittedFont(box, qreal(*face[int(e)].fontPoints));
        // Below four pixels to the em (a long number in the output box of
        // the smallest control) glyphs cannot be told apart on the screen;
        // such a text is whole by its width alone.
        if (QFontInfo(box->font()).pixelSize() < 4)
            continue;
        const QRect visible = uncoveredPart(q, box);
        const Ink shown = inkIn(img, visible, inkOf(box));
        const Ink alone = inkAlone(box, inkOf(box));
        const QString what = QStringLiteral("%1 '%2': ink %3 wide at %4 in %5..%6, alone %7 wide")
                                 .arg(box->objectName(), box->text())
                                 .arg(shown.box.width()).arg(shown.box.x())
                                 .arg(visible.left()).arg(visible.right())
                                 .arg(alone.box.width());
        QVERIFY2(alone.pixels > 0, qPrintable(what));
        QVERIFY2(std::abs(shown.box.width() - alone.box.width()) <= 2, qPrintable(what));
        QVERIFY2(shown.box.left() > visible.left() && shown.box.right() < visible.right(), qPrintable(what));
    }
}

} // namespace

class TestFaceLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void referenceSize()
    {
        const FaceGeometry face = layoutFace({2640, 2640});
        verifyScaledReference(face, 1, 1);
        // The three values that are not whole pixels, to single precision.
        QCOMPARE(face[int(Element::GaugeName)].top, 7.2f);
        QCOMPARE(face[int(Element::CommLight)].width, 31.68f);
        QCOMPARE(face[int(Element::OnHold)].width, 31.68f);
        // Rounded to pixels by edges: the link box ends at 55.68 -> 56.
        QCOMPARE(pixelRect(face[int(Element::CommLight)]), (PixelRect{24, 64, 32, 17}));
        QCOMPARE(pixelRect(face[int(Element::GaugeName)]), (PixelRect{34, 7, 107, 17}));
        QCOMPARE(pixelRect(face[int(Element::Logo)]), (PixelRect{78, 156, 18, 18}));
    }

    void sizeRules_data()
    {
        QTest::addColumn<double>("w");
        QTest::addColumn<double>("h");
        QTest::addColumn<double>("finalW");
        QTest::addColumn<double>("finalH");
        QTest::newRow("too small") << 500.0 << 500.0 << 1000.0 << 1000.0;
        QTest::newRow("zero") << 0.0 << 0.0 << 1000.0 << 1000.0;
        QTest::newRow("negative") << -20.0 << 1500.0 << 1000.0 << 1000.0 / 0.9;
        QTest::newRow("not a number") << qQNaN() << qQNaN() << 1000.0 << 1000.0;
        QTest::newRow("too tall") << 2640.0 << 4000.0 << 2640.0 << 2640.0 / 0.9;
        QTest::newRow("narrow after the minimum") << 200.0 << 3000.0 << 1000.0 << 1000.0 / 0.9;
        QTest::newRow("wide stays") << 5280.0 << 2640.0 << 5280.0 << 2640.0;
        QTest::newRow("ratio exactly 0.9 stays") << 900.0 * 15 << 1000.0 * 15 << 900.0 * 15 << 1000.0 * 15;
    }
    void sizeRules()
    {
        QFETCH(double, w);
        QFETCH(double, h);
        QFETCH(double, finalW);
        QFETCH(double, finalH);
        const HostSize s = applySizeRules({w, h});
        QCOMPARE(s.width, finalW);
        QCOMPARE(s.height, finalH);
        if (finalH == 2640.0 / 0.9)
            QVERIFY(std::abs(s.height - 2933.33) < 0.01);
    }

    void scaledSizes()
    {
        // 500 × 500 is laid out at 1000 × 1000: 1000/2640 of the reference.
        const HostSize small = applySizeRules({500, 500});
        const FaceGeometry face = layoutFace(small);
        verifyScaledReference(face, 1000.0 / 2640, 1000.0 / 2640);
        QVERIFY(std::abs(face[int(Element::Readout)].width - 48.48f) < 0.01f);

        // Twice as wide: stretched sideways, fonts and heights as at the reference.
        verifyScaledReference(layoutFace(applySizeRules({5280, 2640})), 2, 1);

        // Too tall: the height limit's size.
        verifyScaledReference(layoutFace(applySizeRules({2640, 4000})), 1, 1 / 0.9);

        // The bezel stays in the top-left corner at every size.
        for (const HostSize s : {HostSize{1000, 1000}, HostSize{5280, 2640}, HostSize{2640, 2933}, HostSize{90000, 4000}}) {
            const ElementGeometry border = layoutFace(s)[int(Element::Border)];
            QVERIFY(border.keepsPosition);
            QCOMPARE(pixelRect(border).x, 0);
            QCOMPARE(pixelRect(border).y, 0);
        }
    }

    void pixelRounding()
    {
        QCOMPARE(rulePixelSize({20, 20}), (PixelSize{67, 67}));
        QCOMPARE(rulePixelSize({176, 267}), (PixelSize{176, 195})); // 195.56 rounded down
        QCOMPARE(rulePixelSize({90, 101}), (PixelSize{90, 100}));   // 90 / 0.9 is 100, not 99
        QCOMPARE(rulePixelSize({352, 176}), (PixelSize{352, 176}));

        // Whatever is asked, the answer satisfies the rules read back in
        // units and asks for nothing more, so a resize never starts another.
        for (int w = 0; w <= 420; w += 3) {
            for (int h = 0; h <= 520; h += 7) {
                const PixelSize p = rulePixelSize({w, h});
                const HostSize units{p.width * kUnitsPerPixel, p.height * kUnitsPerPixel};
                QVERIFY2(applySizeRules(units) == units, qPrintable(QStringLiteral("%1x%2").arg(w).arg(h)));
                QCOMPARE(rulePixelSize(p), p);
                // And it is the nearest such size: one pixel less wide or
                // one pixel taller would break a rule.
                if (p.width != w)
                    QVERIFY((p.width - 1) * kUnitsPerPixel < kMinimumSide);
                if (p.height < h)
                    QVERIFY(double(p.width) / (p.height + 1) < kMinimumAspect);
            }
        }
    }

    void passWithNestedResizes()
    {
        // 500 × 500: the width write starts a nested pass, whose height write
        // starts another; each raises Resize and the size each pass reads
        // afterwards is the new one.
        MemoryHost host(500, 500);
        host.run();
        QCOMPARE(host.resizes, 3);
        QCOMPARE(host.deepest, 3);
        QCOMPARE(host.w, 1000.0);
        QCOMPARE(host.h, 1000.0);
        verifyFinalLayout(host);

        // What the outermost pass did itself: Resize first, one write (the
        // height is right once the nested pass is done), then font before
        // geometry for every element with text.
        QCOMPARE(host.calls.size(), std::size_t(2 + 14 * 2 + 2));
        QCOMPARE(host.calls[0], QStringLiteral("Resize"));
        QCOMPARE(host.calls[1], QStringLiteral("width 1000"));
        QCOMPARE(host.calls[2], QStringLiteral("place i_BORDER"));
        QCOMPARE(host.calls[3], QStringLiteral("place LOGO"));
        QCOMPARE(host.calls[4], QStringLiteral("font t_GAUGENAME"));
        QCOMPARE(host.calls[5], QStringLiteral("place t_GAUGENAME"));
        QCOMPARE(host.calls.back(), QStringLiteral("place c_RESET"));

        // Too tall: one nested pass for the height limit.
        MemoryHost tall(2640, 4000);
        tall.run();
        QCOMPARE(tall.resizes, 2);
        QCOMPARE(tall.h, 2640 / 0.9);
        verifyFinalLayout(tall);
    }

    void passSeesSizeChangedByHost()
    {
        // The host's Resize handler resizes the control once: the nested
        // pass lays it out, and the interrupted pass then lays out again at
        // the same, final size.
        MemoryHost host(2640, 2640);
        host.onResize = [](MemoryHost &h) {
            if (h.resizes == 1) {
                h.w = 5280;
                h.run();
            }
        };
        host.run();
        QCOMPARE(host.resizes, 2);
        QCOMPARE(host.w, 5280.0);
        verifyFinalLayout(host);
    }

    void failingAssignmentsAreSkipped()
    {
        MemoryHost host(2640, 2640);
        host.failFont = [](Element e) {
            if (e == Element::Normal)
                throw std::runtime_error("font refused");
        };
        host.failPlace = [](Element e) {
            if (e == Element::Logs || e == Element::Border)
                throw std::runtime_error("geometry refused");
        };
        host.run();
        // The refused assignments are missing; everything after them is there.
        QCOMPARE(int(host.placed.size()), kElementCount - 2);
        QVERIFY(!host.placed.count(Element::Logs));
        QVERIFY(host.placed.count(Element::Normal));
        QVERIFY(host.placed.count(Element::Reset));
        QVERIFY(!host.fonts.count(Element::Normal));
        QCOMPARE(host.fonts.at(Element::Reset), 8.0f);
        QCOMPARE(host.fonts.at(Element::Properties), 8.0f);
    }

    void widgetEnforcesRules_data()
    {
        QTest::addColumn<QSize>("requested");
        QTest::addColumn<QSize>("final");
        QTest::addColumn<int>("resizes");
        QTest::newRow("tiny") << QSize(20, 20) << QSize(67, 67) << 3;
        QTest::newRow("too tall") << QSize(176, 267) << QSize(176, 195) << 2;
        QTest::newRow("narrow and tall") << QSize(10, 400) << QSize(67, 74) << 3;
        QTest::newRow("reference") << QSize(176, 176) << QSize(176, 176) << 1;
        QTest::newRow("wide") << QSize(352, 176) << QSize(352, 176) << 1;
    }
    void widgetEnforcesRules()
    {
        QFETCH(QSize, requested);
        QFETCH(QSize, final);
        QFETCH(int, resizes);

        // As a child of a shown panel, the usual way a control is placed.
        QWidget panel;
        panel.resize(500, 500);
        auto *q = new Quellix(&panel);
        stopTimers(*q);
        q->resize(200, 200);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        element<QLineEdit>(*q, "t_RECORDLITE")->hide();

        QSignalSpy spy(q, &Quellix::Resize);
        q->resize(requested);
        QCOMPARE(q->size(), final);
        QCoreApplication::processEvents(); // Resize is raised once Qt has finished resizing
        QCOMPARE(spy.count(), resizes);
        verifyWidgetAtItsSize(*q);
        // Layout leaves the elements' state alone.
        QVERIFY(element<QLineEdit>(*q, "t_RECORDLITE")->isHidden());
        QCOMPARE(element<QLineEdit>(*q, "t_NORMAL")->text(), QStringLiteral("NORMAL"));

        // Hidden, the resize arrives when the control is shown; the rules
        // and every nested resize are handled then.
        auto *hidden = new Quellix(&panel);
        stopTimers(*hidden);
        hidden->resize(requested);
        QSignalSpy hiddenSpy(hidden, &Quellix::Resize);
        hidden->show();
        QCOMPARE(hidden->size(), final);
        QCoreApplication::processEvents();
        QCOMPARE(hiddenSpy.count(), resizes);
        verifyWidgetAtItsSize(*hidden);
    }

    void topLevelWindowSettles()
    {
        // As a window of its own the platform reports each size back later;
        // the control must end at the rule's size all the same.
        Quellix q;
        stopTimers(q);
        q.resize(176, 176);
        q.show();
        QVERIFY(QTest::qWaitForWindowExposed(&q));
        q.resize(20, 20);
        QCOMPARE(q.size(), QSize(67, 67));
        QTest::qWait(50);
        QCoreApplication::processEvents();
        QCOMPARE(q.size(), QSize(67, 67));
        verifyWidgetAtItsSize(q);
    }

    void hostThatKeepsResizingEnds()
    {
        // A Resize handler that grows the control every time would nest
        // without end; the nesting stops and the face fits the last size.
        QWidget panel;
        panel.resize(600, 300);
        auto *q = new Quellix(&panel);
        stopTimers(*q);
        q->resize(176, 176);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        int raised = 0;
        connect(q, &Quellix::Resize, q, [&] {
            ++raised;
            q->resize(q->width() + 1, q->height());
        });
        q->resize(200, 176);
        QTest::qWait(50); // each Resize is raised once Qt has finished the resize before it
        QVERIFY(raised > 1);
        QVERIFY(raised < 40);
        QCOMPARE(q->width(), 200 + raised);
        verifyWidgetAtItsSize(*q);
    }

    void bitmaps()
    {
        QCOMPARE(borderImage().size(), QSize(175, 175));
        QCOMPARE(logoImage().size(), QSize(32, 34));
        // Drawn once and shared.
        QCOMPARE(borderImage().constBits(), borderImage().constBits());
        QCOMPARE(borderPixmap().cacheKey(), borderPixmap().cacheKey());
        // The bezel is light at its rim and dark inside; the emblem's
        // corners are transparent and its dial opaque.
        QVERIFY(qGray(borderImage().pixel(3, 87)) > 120);
        QVERIFY(qGray(borderImage().pixel(87, 87)) < 60);
        QCOMPARE(qAlpha(logoImage().pixel(0, 0)), 0);
        QCOMPARE(qAlpha(logoImage().pixel(16, 25)), 255);

        Quellix q;
        const QPixmap onFace = element<QLabel>(q, "i_BORDER")->pixmap();
        QCOMPARE(onFace.size(), QSize(175, 175));
        QCOMPARE(element<QLabel>(q, "LOGO")->pixmap().size(), QSize(32, 34));
        QVERIFY(element<QLabel>(q, "i_BORDER")->hasScaledContents());
    }

    void coveredEnds_data()
    {
        QTest::addColumn<double>("w");
        QTest::addColumn<double>("h");
        QTest::addColumn<int>("readoutLeft");
        QTest::addColumn<int>("outputRight");
        // The link box ends at 24 + 31.68 -> 56 and the readout starts at
        // 22; the recording box starts at 70, the output ends at 73.
        QTest::newRow("reference") << 2640.0 << 2640.0 << 34 << 3;
        // Readout 44..300, link 48..111.36; output 48..146, recording 140.
        QTest::newRow("twice as wide") << 5280.0 << 2640.0 << 67 << 6;
        // Readout 8.33..56.82, link 9.09..21.09; output 9.09..27.65,
        // recording 26.52.
        QTest::newRow("smallest") << 1000.0 << 1000.0 << 13 << 1;
    }
    void coveredEnds()
    {
        QFETCH(double, w);
        QFETCH(double, h);
        QFETCH(int, readoutLeft);
        QFETCH(int, outputRight);
        const FaceGeometry face = layoutFace({w, h});
        QCOMPARE(coveredTextEnds(Element::Readout, face), (TextMargins{readoutLeft, 0}));
        QCOMPARE(coveredTextEnds(Element::Output, face), (TextMargins{0, outputRight}));
        for (Element e : {Element::Units, Element::Normal, Element::CommLight, Element::Reset})
            QCOMPARE(coveredTextEnds(e, face), TextMargins{});
    }

    void fittingSize_data()
    {
        QTest::addColumn<QString>("widths");
        QTest::addColumn<double>("largest");
        QTest::addColumn<double>("room");
        QTest::addColumn<double>("expected"); // -1: any size that fits, close to the best
        // "linear": 5 px per point. "hinted": nine glyphs, each advance
        // rounded up to whole pixels. "fixed part": 30 px more than 3 px per
        // point, as small sizes keep a pixel or so per glyph.
        QTest::newRow("fits at the largest") << "linear" << 20.0 << 120.0 << 20.0;
        QTest::newRow("exactly the room") << "linear" << 20.0 << 100.0 << 20.0;
        QTest::newRow("half the room") << "linear" << 20.0 << 50.0 << 10.0;
        QTest::newRow("between quarter points") << "linear" << 20.0 << 51.1 << 10.0;
        QTest::newRow("just under a quarter point") << "linear" << 20.0 << 51.24 << 10.0;
        QTest::newRow("at a quarter point") << "linear" << 20.0 << 51.25 << 10.25;
        QTest::newRow("largest not on a quarter") << "linear" << 7.5757 << 30.0 << 6.0;
        QTest::newRow("hinted") << "hinted" << 20.0 << 83.0 << -1.0;
        QTest::newRow("hinted, narrow") << "hinted" << 20.0 << 19.0 << -1.0;
        QTest::newRow("with a fixed part") << "fixed part" << 20.0 << 60.0 << -1.0;
        QTest::newRow("too wide at the smallest") << "linear" << 20.0 << 2.0 << kSmallestPoints;
        QTest::newRow("no room") << "linear" << 20.0 << 0.0 << kSmallestPoints;
        QTest::newRow("negative room") << "linear" << 20.0 << -5.0 << kSmallestPoints;
        QTest::newRow("room not a number") << "linear" << 20.0 << qQNaN() << kSmallestPoints;
        QTest::newRow("largest below the smallest") << "linear" << 0.75 << 1.0 << 0.75;
    }
    void fittingSize()
    {
        QFETCH(QString, widths);
        QFETCH(double, largest);
        QFETCH(double, room);
        QFETCH(double, expected);
        const std::function<qreal(qreal)> widthAt = widths == "linear" ? std::function<qreal(qreal)>([](qreal p) { return 5 * p; })
            : widths == "hinted" ? std::function<qreal(qreal)>([](qreal p) { return 9 * std::ceil(p * 96 / 72 / 2); })
                                 : std::function<qreal(qreal)>([](qreal p) { return 30 + 3 * p; });
        int measured = 0;
        const qreal got = fitPoints(largest, room, [&](qreal p) {
            ++measured;
            return widthAt(p);
        });
        QVERIFY2(measured < 12, qPrintable(QString::number(measured)));
        if (expected >= 0) {
            QCOMPARE(got, expected);
            return;
        }
        // The best size is the largest quarter point that fits; the rule
        // must fit and not give away more than a point of it.
        qreal best = kSmallestPoints;
        for (qreal p = kSmallestPoints; p <= largest; p += kPointStep)
            if (widthAt(p) <= room)
                best = p;
        QVERIFY2(widthAt(got) <= room, qPrintable(QString::number(got)));
        QVERIFY2(got <= best && got >= best - 1, qPrintable(QStringLiteral("%1, best %2").arg(got).arg(best)));
        QCOMPARE(std::fmod(got, kPointStep), 0.0);
    }

    void fittingRealFonts()
    {
        const QStringList numbers{"0.00", "-12345.67", "-99999.99", "123456789.00", "1 234,5e-3", "+1.5E+20"};
        for (const QFont &font : {QFont("Times New Roman", 20), QFont("Arial", 7), QFont("Arial", 3)}) {
            const NumberWidths bounds(font);
            const QFontMetricsF fm(font);
            for (const QString &text : numbers) {
                const QString what = QStringLiteral("'%1' in %2").arg(text, font.toString());
                // A bound never below the width, and near enough to it that
                // an ordinary reading needs no measuring.
                const qreal width = fm.horizontalAdvance(text);
                QVERIFY2(bounds.bound(text) >= width, qPrintable(what));
                QVERIFY2(bounds.bound(text) <= width * 1.1 + 2, qPrintable(what));
                for (qreal room : {width / 3, width * 0.9, width, width * 2}) {
                    const qreal points = fitPoints(font, text, room);
                    QFont sized = font;
                    sized.setPointSizeF(points);
                    QVERIFY2(points <= font.pointSizeF(), qPrintable(what));
                    QVERIFY2(points == kSmallestPoints || QFontMetricsF(sized).horizontalAdvance(text) <= room,
                             qPrintable(what));
                    if (width <= room)
                        QCOMPARE(points, font.pointSizeF());
                }
            }
            // Texts that are not numbers are left to measuring.
            for (const QString &text : {QStringLiteral("kPa"), QStringLiteral("95 %"), QStringLiteral("1O")})
                QVERIFY(bounds.bound(text) < 0);
            QVERIFY(bounds.bound(QString()) >= 0);
        }
        QVERIFY(NumberWidths().bound(QStringLiteral("1")) < 0);
    }

    void longTextsShownWhole_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("smallest") << QSize(67, 67);
        QTest::newRow("reference") << QSize(176, 176);
        QTest::newRow("large") << QSize(480, 480);
    }
    void longTextsShownWhole()
    {
        QFETCH(QSize, size);
        QWidget panel;
        panel.resize(1000, 600);
        auto *q = new Quellix(&panel);
        stopTimers(*q);
        auto *readout = element<QLineEdit>(*q, "t_READOUT");
        auto *output = element<QLineEdit>(*q, "t_OUTPUT");
        auto *units = element<QLineEdit>(*q, "t_UNITS");

        // Written before the first layout: fitted when the face is laid out.
        readout->setText(QStringLiteral("-99999.99"));
        output->setText(QStringLiteral("123456789.00"));
        units->setText(QStringLiteral("Nm3 at 0 C"));
        q->resize(size);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        QCOMPARE(q->size(), size);
        verifyTextsShownWhole(*q);

        const QStringList numbers{"-12345.67", "-99999.99", "123456789.00", "0.00"};
        const QStringList unitTexts{"kPa", "Nm3 at 0 C", "mbar", "bar"};
        for (int i = 0; i < numbers.size(); ++i) {
            readout->setText(numbers[i]);
            output->setText(numbers[i]);
            units->setText(unitTexts[i]);
            verifyTextsShownWhole(*q);
            if (QTest::currentTestFailed())
                return;
        }
        // Short again: back at the layout's size.
        const FaceGeometry face = layoutFace({size.width() * kUnitsPerPixel, size.height() * kUnitsPerPixel});
        QCOMPARE(readout->font().pointSizeF(), qreal(*face[int(Element::Readout)].fontPoints));
        QCOMPARE(output->font().pointSizeF(), qreal(*face[int(Element::Output)].fontPoints));

        // A long text stays whole as the control changes size, and takes
        // the room a wider control gives it.
        readout->setText(QStringLiteral("-12345.67"));
        output->setText(QStringLiteral("-99999.99"));
        units->setText(QStringLiteral("Nm3 at 0 C"));
        const qreal narrow = readout->font().pointSizeF();
        q->resize(size.width() * 2, size.height());
        verifyTextsShownWhole(*q);
        QVERIFY(readout->font().pointSizeF() > narrow || narrow == *face[int(Element::Readout)].fontPoints);
        q->resize(size);
        verifyTextsShownWhole(*q);
        QCOMPARE(readout->font().pointSizeF(), narrow);
    }

    void render_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("file");
        QTest::newRow("2640 x 2640") << QSize(176, 176) << QStringLiteral("/tmp/quellix_face_2640.png");
        QTest::newRow("5280 x 2640") << QSize(352, 176) << QStringLiteral("/tmp/quellix_face_5280.png");
    }
    void render()
    {
        QFETCH(QSize, size);
        QFETCH(QString, file);
        Quellix q;
        stopTimers(q);
        q.setObjectName(QStringLiteral("TANK_01"));
        q.resize(size);
        q.show();
        QVERIFY(QTest::qWaitForWindowExposed(&q));
        QCOMPARE(q.size(), size);

        const QImage img = q.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(img.save(file));
        QCOMPARE(img.size(), size);
        const int sx = size.width() / 176;

        // Not blank: many colours.
        QSet<QRgb> colours;
        for (int y = 0; y < img.height(); y += 2)
            for (int x = 0; x < img.width(); x += 2)
                colours.insert(img.pixel(x, y));
        QVERIFY2(colours.size() > 50, qPrintable(QString::number(colours.size())));

        // Backgrounds where the factors put the boxes.
        QCOMPARE(img.pixel(26 * sx, 26), qRgb(0, 255, 0));     // t_NORMAL
        QCOMPARE(img.pixel(26 * sx, 46), qRgb(128, 128, 0));   // t_CAUTION
        QCOMPARE(img.pixel(148 * sx, 46), qRgb(128, 0, 0));    // t_WARNING
        QCOMPARE(img.pixel(60 * sx, 93), qRgb(0, 0, 0));       // t_READOUT, below its digits
        // t_UNITS right of its text, above the buttons that overlap its foot.
        QCOMPARE(img.pixel(147 * sx, 113), qRgb(0, 0, 0));
        // Bezel: metal at the rim, the dark panel between the elements.
        QVERIFY(qGray(img.pixel(2, 88)) > 110);
        QVERIFY(qGray(img.pixel(160 * sx, 88)) < 70);

        const auto *normal = element<QLineEdit>(q, "t_NORMAL");
        const auto *caution = element<QLineEdit>(q, "t_CAUTION");
        const auto *readout = element<QLineEdit>(q, "t_READOUT");
        const auto *units = element<QLineEdit>(q, "t_UNITS");
        const auto *output = element<QLineEdit>(q, "t_OUTPUT");
        const auto *link = element<QLineEdit>(q, "t_COMMLIGHT");
        const auto *name = element<QLabel>(q, "t_GAUGENAME");
        QCOMPARE(name->text(), QStringLiteral("TANK_01"));

        // The caution and warning boxes overlap the foot of t_NORMAL, and
        // t_WARNING the right edge of t_CAUTION: only the uncovered parts count.
        const auto *warning = element<QLineEdit>(q, "t_WARNING");
        QRect normalFree = rectOf(normal);
        normalFree.setBottom(rectOf(caution).top() - 1);
        QRect cautionFree = rectOf(caution);
        cautionFree.setRight(rectOf(warning).left() - 1);
        verifyTextFullyShown(img, normal, normalFree, isDarkInk);
        verifyTextFullyShown(img, caution, cautionFree, isDarkInk);
        verifyTextFullyShown(img, units, rectOf(units), isYellow);
        verifyTextFullyShown(img, output, rectOf(output), isGreenInk);
        // The readout's digits: in the part that the link box and the row of
        // output, recording and units boxes leave free.
        const QRect free(QPoint(rectOf(link).right() + 1, rectOf(readout).top()),
                         QPoint(rectOf(readout).right(), rectOf(units).top() - 1));
        verifyTextFullyShown(img, readout, free, isRed);
        // The name, white on the bezel.
        const Ink nameInk = inkIn(img, rectOf(name), isWhite);
        QVERIFY(nameInk.pixels > 20);
        QVERIFY(rectOf(name).adjusted(1, 0, -1, 0).contains(nameInk.box));

        // Button captions are drawn inside their buttons.
        for (const char *b : {"c_HOLD", "c_LOGS", "c_PROPERTIES", "c_RESET"}) {
            const auto *button = element<QPushButton>(q, b);
            const QRect inner = rectOf(button).adjusted(2, 2, -2, -2);
            const Ink ink = inkIn(img, inner, isDarkInk);
            const qreal textWidth = QFontMetricsF(button->font()).tightBoundingRect(button->text()).width();
            QVERIFY2(ink.pixels > 10, b);
            QVERIFY2(std::abs(ink.box.width() - textWidth) <= 3.5,
                     qPrintable(QStringLiteral("%1: ink %2 wide at %3, text %4").arg(QLatin1String(b))
                                    .arg(ink.box.width()).arg(ink.box.x()).arg(textWidth)));
            QVERIFY2(inner.adjusted(1, 1, -1, -1).contains(ink.box), b);
        }

        // A short value keeps to the right; a full one is shown whole.
        auto *box = element<QLineEdit>(q, "t_READOUT");
        for (const QString &value : {QStringLiteral("0.00"), QStringLiteral("9999.99")}) {
            box->setText(value);
            const QImage again = q.grab().toImage().convertToFormat(QImage::Format_RGB32);
            verifyTextFullyShown(again, box, free, isRed);
            const Ink ink = inkIn(again, free, isRed);
            QVERIFY(free.right() - ink.box.right() <= 6);
        }
    }
};

QTEST_MAIN(TestFaceLayout)
#include "tst_facelayout.moc"
