// Laying the face out on every resize.

#include "quellix_p.h"

#include <QResizeEvent>

void Quellix::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    Q_EMIT Resize();
}
