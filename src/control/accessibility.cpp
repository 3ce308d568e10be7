// Accessible names and descriptions of the face: the range and the value
// in words, so that colour is not the only carrier of an alarm.

#include "quellix_p.h"

void QuellixPrivate::updateAccessibleTexts()
{
}
