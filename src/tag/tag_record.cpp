#include "tag/tag_record.h"

#include <algorithm>

namespace id3 {

namespace {
constexpr std::string_view kTrailerMark = "TAG";
}

TagRecord TagRecord::decode(const Bytes& trailer) {
    TagRecord record;
    record.bytes_ = trailer;
    return record;
}

void TagRecord::store(TagField field, std::string_view text) {
    const auto [offset, width] = layoutOf(field);
    const std::size_t kept = std::min(text.size(), width);
    auto* first = bytes_.data() + offset;
    std::copy_n(text.begin(), kept, first);
    std::fill(first + kept, first + width, std::uint8_t{' '});
}

std::string TagRecord::text(TagField field) const {
    const auto [offset, width] = layoutOf(field);
    return std::string(reinterpret_cast<const char*>(bytes_.data()) + offset, width);
}

bool TagRecord::hasTrailerMark() const {
    return text(TagField::Tag) == kTrailerMark;
}

std::string shownText(std::string_view field) {
    const std::string_view text = field.substr(0, field.find('\0'));
    const std::size_t lastKept = text.find_last_not_of(' ');
    return std::string(lastKept == std::string_view::npos ? std::string_view{}
                                                          : text.substr(0, lastKept + 1));
}

}  // namespace id3
