// Laying the face out on every resize.
//
// The widget is the host's view of the control: its size in host units is
// its pixel size times 15. A size the rules write is rounded to whole
// pixels in the direction that keeps the rule satisfied (a minimum up, the
// height limit down), so reading it back never asks for another change.

#include "facelayout.h"
#include "fittedtext.h"
#include "quellix_p.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>

#include <cmath>

using namespace quellix::face;

namespace {

// Passes nested deeper than this (only a host that keeps resizing the
// control from its Resize handler gets there) lay the face out but neither
// raise Resize nor write the size again, so the nesting ends.
constexpr int kMaxNestedPasses = 16;

// Fonts are sized for the 96 dots per inch at which a pixel is 15 host
// units; on a screen with another logical resolution they are corrected so
// the text keeps its size relative to the elements.
constexpr double kDesignDpi = 96.0;

QWidget *elementWidget(const QuellixPrivate &d, Element e)
{
    switch (e) {
    case Element::Border: return d.iBorder;
    case Element::Logo: return d.logo;
    case Element::GaugeName: return d.tGaugeName;
    case Element::RecordLite: return d.tRecordLite;
    case Element::Normal: return d.tNormal;
    case Element::Caution: return d.tCaution;
    case Element::Warning: return d.tWarning;
    case Element::CommLight: return d.tCommLight;
    case Element::OnHold: return d.tOnHold;
    case Element::Output: return d.tOutput;
    case Element::Readout: return d.tReadout;
    case Element::Units: return d.tUnits;
    case Element::Hold: return d.cHold;
    case Element::Logs: return d.cLogs;
    case Element::Properties: return d.cProperties;
    case Element::Reset: return d.cReset;
    }
    return nullptr;
}

void runPass(QuellixPrivate &d);

class WidgetFaceHost final : public FaceHost
{
public:
    explicit WidgetFaceHost(QuellixPrivate &d) : m_d(d), m_q(d.q)
    {
        const int dpi = m_q->logicalDpiY();
        m_fontScale = dpi > 0 ? kDesignDpi / dpi : 1.0;
        m_tooDeep = d.resizeDepth > kMaxNestedPasses;
    }

    double width() const override { return m_q->width() * kUnitsPerPixel; }
    double height() const override { return m_q->height() * kUnitsPerPixel; }

    void setWidth(double units, SizeBound bound) override
    {
        resizeTo(QSize(unitsToPixels(units, bound), m_q->height()));
    }
    void setHeight(double units, SizeBound bound) override
    {
        resizeTo(QSize(m_q->width(), unitsToPixels(units, bound)));
    }

    void raiseResize() override
    {
        if (!m_tooDeep)
            m_d.raiseResizeLater(kMaxNestedPasses);
    }

    void setFontPoints(Element e, float points) override
    {
        if (!(points > 0) || !std::isfinite(points))
            return;
        QWidget *w = elementWidget(m_d, e);
        if (!w)
            return;
        const qreal size = qreal(points) * m_fontScale;
        // A box that fits its text takes the layout's size as its largest
        // and shows a text that is too wide smaller.
        if (FittedText *fit = FittedText::of(w)) {
            fit->setLargestPoints(size);
            return;
        }
        QFont f = w->font();
        if (f.pointSizeF() == size)
            return;
        f.setPointSizeF(size);
        w->setFont(f);
    }

    void place(const ElementGeometry &g) override
    {
        QWidget *w = elementWidget(m_d, g.element);
        if (!w)
            return;
        const PixelRect r = pixelRect(g);
        FittedText *fit = FittedText::of(w);
        if (fit)
            keepTextUncovered(static_cast<QLineEdit *>(w), g.element);
        if (g.keepsPosition)
            w->resize(r.width, r.height);
        else
            w->setGeometry(r.x, r.y, r.width, r.height);
        if (fit)
            fit->refit();
    }

private:
    void keepTextUncovered(QLineEdit *box, Element e)
    {
        const TextMargins m = coveredTextEnds(e, layoutFace({width(), height()}));
        const QMargins margins(m.left, 0, m.right, 0);
        if (box->textMargins() != margins)
            box->setTextMargins(margins);
    }

    void resizeTo(QSize size)
    {
        if (m_tooDeep || size == m_q->size())
            return;
        const QSize before = m_q->size();
        const quint64 passesBefore = m_d.resizePasses;
        m_q->resize(size);
        // A visible widget handles its new size inside resize(). Qt holds
        // the resize of a hidden one back until it is shown; the new size
        // is handled now all the same, before this pass goes on. A size the
        // widget refused (its own minimum or maximum) changes nothing and
        // starts nothing.
        if (m_d.resizePasses == passesBefore && m_q->size() != before)
            runPass(m_d);
    }

    QuellixPrivate &m_d;
    Quellix *m_q;
    qreal m_fontScale = 1.0;
    bool m_tooDeep = false;
};

void runPass(QuellixPrivate &d)
{
    struct Depth
    {
        int &depth;
        explicit Depth(int &depth) : depth(depth) { ++depth; }
        ~Depth() { --depth; }
    } depth(d.resizeDepth);
    ++d.resizePasses;
    WidgetFaceHost host(d);
    runResizePass(host);
}

} // namespace

void Quellix::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    runPass(*d);
}
