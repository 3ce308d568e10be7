#pragma once

// The two pictures of the face, drawn in code: the bezel behind the whole
// face (i_BORDER) and the emblem (LOGO). Both are drawn once per process
// and shared by every control.

#include <QImage>
#include <QPixmap>
#include <QSize>

namespace quellix::face {

inline constexpr QSize kBorderBitmapSize{175, 175};
inline constexpr QSize kLogoBitmapSize{32, 34};

/// The bezel: a dark panel in a brushed-metal frame with four screws.
/// Needs no application object.
const QImage &borderImage();
/// The emblem: a small dial with a green, yellow and red scale and a needle.
const QImage &logoImage();

/// The same pictures as pixmaps, for the face's labels. Need a
/// QGuiApplication; kept in the application's pixmap cache.
QPixmap borderPixmap();
QPixmap logoPixmap();

} // namespace quellix::face
