#pragma once

#include <QString>

#include "settings/TextTable.h"

// A text of the text table, for a widget.
inline QString UiText(TextId id) {
  return QString::fromStdString(LangText(id));
}
