// The face layout: size rules, layout factors, the resize pass with nested
// resizes, and what the face looks like when rendered.

#include "facebitmaps.h"
#include "facelayout.h"
#include "quellix.h"

#include <QLabel>
#include <QLineEdit>
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

// Every element of the widget sits where the layout at its current size
// puts it, with its font at the layout's size.
void verifyWidgetAtItsSize(const Quellix &q)
{
    const FaceGeometry face = layoutFace({q.width() * kUnitsPerPixel, q.height() * kUnitsPerPixel});
    for (const ElementGeometry &g : face) {
        const QWidget *w = element<QWidget>(q, elementName(g.element));
        const PixelRect r = pixelRect(g);
        QCOMPARE(w->geometry(), QRect(r.x, r.y, r.width, r.height));
        if (g.fontPoints)
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
