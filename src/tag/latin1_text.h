#pragma once

#include <QStringView>
#include <string>

namespace tag {

// `text` one byte a character in Latin-1, with one "?" for each character outside it, however
// many UTF-16 units that character takes.
std::string latin1Bytes(QStringView text);

}  // namespace tag
