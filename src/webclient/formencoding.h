#pragma once

#include "webclient/kvaluemap.h"

#include <QByteArray>

// The body of an API request: key=value pairs joined by "&", in the map's iteration order. Keys go
// out unchanged (Latin-1); every value byte outside A-Z a-z 0-9 - . _ ~ becomes %XX with upper-case
// hex digits, so a space is %20 and "+", "/" and "=" are %2B, %2F and %3D. An empty map gives an
// empty body.
QByteArray encodeForm(const KValueMap &parameters);
