#pragma once
#include <QString>

#include "common/StringTable.h"

// A text of the string table as the widgets show it.
inline QString LoadText(int id) {
    return QString::fromUtf8(LoadString(id));
}
