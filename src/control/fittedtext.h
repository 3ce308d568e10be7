#pragma once

// Keeps the text of a face box shown whole: the box's font follows its text
// and its room, scaled down from the face layout's size whenever the text
// would not fit at that size.

#include "textfit.h"

#include <QFont>
#include <QObject>

class QLineEdit;

namespace quellix::face {

class FittedText : public QObject
{
    Q_OBJECT

public:
    /// Fits every new text of `box`; becomes the box's child.
    explicit FittedText(QLineEdit *box);

    /// The fitter of a box, or null for a box without one.
    static FittedText *of(const QObject *box);

    /// The face layout's font size for the box, in points: the text is never
    /// shown larger.
    void setLargestPoints(qreal points);
    qreal largestPoints() const { return m_largest.pointSizeF(); }

    /// The width the text may take, in pixels: what the box's line leaves
    /// inside its text margins.
    qreal room() const { return m_room; }

    /// Measures the room anew, after the box's size or margins changed, and
    /// fits the text to it.
    void refit();

private:
    void fit(const QString &text);

    QLineEdit *m_box;
    QFont m_largest;
    NumberWidths m_widths;
    qreal m_room = 0;
    bool m_atLargest = true;
};

} // namespace quellix::face
