#include "tag/tags_write.h"

#include <sys/stat.h>

#include <csignal>

#include "storage/file_access.h"
#include "storage/file_rewrite.h"
#include "storage/write_journal.h"
#include "tag/id3v2_extent.h"

namespace id3 {

namespace {

TagsWrite neitherSaved(const std::string& reason) {
    return {{false, reason}, TagsWrite::Id3v2::NotSaved, reason, false};
}

// The ID3v2 tag the open file begins with, all its bytes; nothing when it begins with none,
// or with one that reaches past `end`. False when the file could not be read.
bool readId3v2Tag(int fd, off_t end, std::optional<std::string>& tag,
                  const storage::SystemCalls& calls) {
    std::string header(kId3v2HeaderSize, '\0');
    if (end < static_cast<off_t>(header.size())) {
        return true;
    }
    if (!storage::transferAll(calls.pread, fd, header.data(), header.size(), 0)) {
        return false;
    }
    const std::optional<std::size_t> size = id3v2TagSize(header);
    if (!size || static_cast<off_t>(*size) > end) {
        return true;
    }
    tag.emplace(*size, '\0');
    return storage::transferAll(calls.pread, fd, tag->data(), tag->size(), 0);
}

std::string readFailure() {
    return (errno != 0 ? storage::describeError(errno) : "the file became shorter") +
           " while its tags were read";
}

}  // namespace

TagsWrite writeTags(const core::FilePath& path, const EditedTag& edited, const Id3v2Update& id3v2,
                    const storage::SystemCalls& calls) {
    const storage::IgnoredSignal fileSizeLimitSignal(SIGXFSZ);
    const storage::OpenedFile opened = storage::openForSaving(path);
    const storage::FileDescriptor file(opened.fd, calls.close);
    if (!file.valid()) {
        return neitherSaved(opened.reason);
    }
    const storage::JournalRecovery recovery = storage::finishInterruptedWrite(file.get(), calls);
    if (recovery.outcome == storage::JournalRecovery::Outcome::Failed) {
        return neitherSaved(recovery.reason);
    }
    storage::removeLeftover(opened.path);
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        return neitherSaved(storage::describeError(errno));
    }

    const TrailerChange trailer = trailerChange(file.get(), status.st_size, edited, calls);
    if (!trailer.change) {
        return neitherSaved(trailer.reason);
    }
    const off_t trailerAt = trailer.change->offset;
    std::optional<std::string> oldTag;
    errno = 0;
    if (!readId3v2Tag(file.get(), trailerAt, oldTag, calls)) {
        return neitherSaved(readFailure());
    }
    const std::optional<std::string> newTag =
        oldTag && id3v2 ? id3v2(*oldTag) : std::optional<std::string>();

    TagsWrite result;
    const auto saveInPlace = [&](std::vector<storage::ByteChange> changes,
                                 storage::WithoutRecord withoutRecord) {
        const storage::JournaledWrite written = storage::writeJournaled(
            file.get(), {status.st_size, std::move(changes)}, withoutRecord, calls);
        result.trailer = {written.outcome == storage::JournaledWrite::Outcome::Written,
                          written.reason, trailer.trailer};
        return written.outcome;
    };
    const auto saveTrailerOnly = [&] {
        saveInPlace({*trailer.change}, storage::WithoutRecord::Write);
    };

    if (!oldTag || !newTag || *newTag == *oldTag) {
        result.id3v2 = oldTag ? TagsWrite::Id3v2::Unchanged : TagsWrite::Id3v2::None;
        saveTrailerOnly();
        return result;
    }
    if (newTag->size() == oldTag->size()) {
        const storage::JournaledWrite::Outcome outcome =
            saveInPlace({{0, *oldTag, *newTag}, *trailer.change}, storage::WithoutRecord::Refuse);
        if (outcome != storage::JournaledWrite::Outcome::NoRecord) {
            result.id3v2 =
                result.trailer.saved ? TagsWrite::Id3v2::Saved : TagsWrite::Id3v2::NotSaved;
            result.id3v2Reason = result.trailer.reason;
            return result;
        }
    }

    const std::string rewriteNeeded = "the file must be rewritten for it, ";
    if (status.st_nlink > 1) {
        result.id3v2 = TagsWrite::Id3v2::NotSaved;
        result.id3v2Reason =
            rewriteNeeded + "but it has other hard links, which a new file would break apart";
        saveTrailerOnly();
        return result;
    }
    const off_t keptFrom = static_cast<off_t>(oldTag->size());
    const storage::FileRewrite rewrite = storage::rewriteFile(
        opened.path, file.get(), status,
        {*newTag, keptFrom, trailerAt - keptFrom, trailer.change->newBytes}, calls);
    switch (rewrite.outcome) {
        case storage::FileRewrite::Outcome::Replaced:
            result.trailer = {true, {}, trailer.trailer};
            result.id3v2 = TagsWrite::Id3v2::Saved;
            result.rewritten = true;
            return result;
        case storage::FileRewrite::Outcome::ReplacedNotFlushed: {
            // Both tags are in the file, but they may not outlast a power loss.
            TagsWrite unsure = neitherSaved(rewrite.reason);
            unsure.rewritten = true;
            return unsure;
        }
        case storage::FileRewrite::Outcome::NotReplaced:
            break;
    }
    result.id3v2 = TagsWrite::Id3v2::NotSaved;
    result.id3v2Reason = rewriteNeeded + "but " + rewrite.reason;
    saveTrailerOnly();
    return result;
}

}  // namespace id3
