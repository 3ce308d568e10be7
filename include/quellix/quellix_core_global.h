#pragma once

#include <QtCore/qglobal.h>

// QUELLIX_CORE_EXPORT marks the public classes and functions of the core
// (the engine and the stores, QtCore only); every other symbol is hidden.
#if defined(QUELLIX_BUILD_CORE)
#  define QUELLIX_CORE_EXPORT Q_DECL_EXPORT
#else
#  define QUELLIX_CORE_EXPORT Q_DECL_IMPORT
#endif
