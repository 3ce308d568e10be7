#pragma once

#include <QtCore/qglobal.h>

// QUELLIX_EXPORT marks the public classes and functions of libquellix; every
// other symbol of the library is hidden.
#if defined(QUELLIX_BUILD_LIBRARY)
#  define QUELLIX_EXPORT Q_DECL_EXPORT
#else
#  define QUELLIX_EXPORT Q_DECL_IMPORT
#endif
