#pragma once

#include <QByteArray>

#include <string_view>

namespace id3 {

// The picture that a desktop shows for the file whose ID3v2 tag `tagBytes` holds (whole, or as
// much of it as a short file holds): of the attached pictures, the front cover, else the first
// one; its bytes as the tag holds them, empty when it holds none.
QByteArray coverPicture(std::string_view tagBytes);

}  // namespace id3
