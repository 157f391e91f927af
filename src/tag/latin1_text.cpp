#include "tag/latin1_text.h"

#include <QList>

namespace tag {

std::string latin1Bytes(QStringView text) {
    std::string bytes;
    for (const char32_t character : text.toUcs4()) {
        bytes += character <= 0xFF ? static_cast<char>(character) : '?';
    }
    return bytes;
}

}  // namespace tag
