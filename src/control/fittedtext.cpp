// Fitting a face box's text as it changes.

#include "fittedtext.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>

namespace quellix::face {

namespace {

// QLineEdit keeps this many pixels clear at both ends of its line.
constexpr int kLineEditMargin = 2;

// The width a line edit's text may take in `font` before the line edit
// starts scrolling it: its contents inside the text margins, less the clear
// ends, the pixel it adds to the text's width, the rounding of that width,
// and the overhang of the font's glyphs at either end.
qreal textRoom(const QLineEdit *box, const QFont &font)
{
    QStyleOptionFrame opt;
    opt.initFrom(box);
    opt.rect = box->rect();
    opt.lineWidth = box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, box) : 0;
    const QRect contents = box->style()->subElementRect(QStyle::SE_LineEditContents, &opt, box);
    const QMargins margins = box->textMargins();
    const QFontMetrics fm(font);
    const int overhang = std::max(0, -fm.minLeftBearing()) + std::max(0, -fm.minRightBearing());
    return contents.width() - margins.left() - margins.right() - 2 * kLineEditMargin - 1 - 0.5 - overhang;
}

} // namespace

FittedText::FittedText(QLineEdit *box) : QObject(box), m_box(box), m_largest(box->font())
{
    setObjectName(QStringLiteral("fittedText"));
    m_widths = NumberWidths(m_largest);
    m_room = textRoom(m_box, m_largest);
    connect(box, &QLineEdit::textChanged, this, &FittedText::fit);
}

FittedText *FittedText::of(const QObject *box)
{
    return box ? box->findChild<FittedText *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void FittedText::setLargestPoints(qreal points)
{
    if (m_largest.pointSizeF() == points)
        return;
    m_largest = m_box->font();
    m_largest.setPointSizeF(points);
    m_widths = NumberWidths(m_largest);
    refit();
}

void FittedText::refit()
{
    m_room = textRoom(m_box, m_largest);
    // Whatever size the text has now, it may fit larger in the new room.
    m_atLargest = false;
    fit(m_box->text());
}

void FittedText::fit(const QString &text)
{
    // Every ordinary reading ends here: at the largest size, a number whose
    // characters add up to less than the room fits without being measured.
    if (m_atLargest) {
        const qreal bound = m_widths.bound(text);
        if (bound >= 0 && bound <= m_room)
            return;
    }
    const qreal points = fitPoints(m_largest, text, m_room);
    m_atLargest = points >= m_largest.pointSizeF();
    QFont f = m_largest;
    if (!m_atLargest)
        f.setPointSizeF(points);
    if (m_box->font() != f)
        m_box->setFont(f);
}

} // namespace quellix::face
