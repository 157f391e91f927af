#include "tag/tags_write.h"

#include <sys/stat.h>

#include <csignal>

#include "storage/file_access.h"
#include "storage/file_rewrite.h"
#include "storage/write_journal.h"
#include "tag/id3v2_extent.h"
#include "tag/interrupted_save.h"
#include "tag/trailer_file.h"

namespace id3 {

const std::string kChangedWhileSaved =
    std::string(storage::kChangedMeanwhile) + "; choose the file again to see what it holds now";

namespace {

TagsWrite neitherSaved(const std::string& reason) {
    return {{false, reason}, TagsWrite::Id3v2::NotSaved, reason, false};
}

// The ID3v2 tag a file begins with: all its bytes, or those before the audio's end when its
// size runs past it.
struct Id3v2InFile {
    std::string bytes;
    bool whole = true;
};

// The ID3v2 tag the open file begins with, up to `end`; nothing when it begins with none. False
// when the file could not be read.
bool readId3v2Tag(int fd, off_t end, std::optional<Id3v2InFile>& tag,
                  const storage::SystemCalls& calls) {
    std::string header(kId3v2HeaderSize, '\0');
    if (end < static_cast<off_t>(header.size())) {
        return true;
    }
    if (!storage::transferAll(calls.pread, fd, header.data(), header.size(), 0)) {
        return false;
    }
    const std::optional<std::size_t> size = id3v2TagSize(header);
    if (!size) {
        return true;
    }
    const bool whole = static_cast<off_t>(*size) <= end;
    tag.emplace(
        Id3v2InFile{std::string(whole ? *size : static_cast<std::size_t>(end), '\0'), whole});
    return storage::transferAll(calls.pread, fd, tag->bytes.data(), tag->bytes.size(), 0);
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
    const storage::JournalRecovery recovery = finishInterruptedSave(file.get(), calls);
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
    std::optional<Id3v2InFile> oldTag;
    errno = 0;
    if (!readId3v2Tag(file.get(), trailerAt, oldTag, calls)) {
        return neitherSaved(readFailure());
    }
    const std::optional<std::string> newTag =
        oldTag && id3v2 ? id3v2(oldTag->bytes) : std::optional<std::string>();

    TagsWrite result;
    const auto saveInPlace = [&](std::vector<storage::ByteChange> changes,
                                 storage::WithoutRecord withoutRecord) {
        using Outcome = storage::JournaledWrite::Outcome;
        const storage::JournaledWrite written =
            storage::writeJournaled(file.get(), storage::identityOf(status),
                                    {status.st_size, std::move(changes)}, withoutRecord, calls);
        result.trailer = {written.outcome == Outcome::Written,
                          written.outcome == Outcome::Changed ? kChangedWhileSaved : written.reason,
                          trailer.trailer};
        return written.outcome;
    };
    const auto trailerAlone = [&](TagsWrite::Id3v2 id3v2Left, const std::string& why) {
        result.id3v2 = id3v2Left;
        result.id3v2Reason = why;
        saveInPlace({*trailer.change}, storage::WithoutRecord::Write);
        return result;
    };

    if (!oldTag) {
        return trailerAlone(TagsWrite::Id3v2::None, {});
    }
    if (!newTag || *newTag == oldTag->bytes) {
        return trailerAlone(TagsWrite::Id3v2::Unchanged, {});
    }
    if (!oldTag->whole) {
        return trailerAlone(TagsWrite::Id3v2::NotSaved, std::string(kTagRunsPastEnd));
    }
    if (newTag->size() == oldTag->bytes.size()) {
        const storage::JournaledWrite::Outcome outcome = saveInPlace(
            {{0, oldTag->bytes, *newTag}, *trailer.change}, storage::WithoutRecord::Refuse);
        if (outcome != storage::JournaledWrite::Outcome::NoRecord) {
            result.id3v2 =
                result.trailer.saved ? TagsWrite::Id3v2::Saved : TagsWrite::Id3v2::NotSaved;
            result.id3v2Reason = result.trailer.reason;
            return result;
        }
    }

    const std::string rewriteNeeded = "the file must be rewritten for it, but ";
    if (status.st_nlink > 1) {
        return trailerAlone(TagsWrite::Id3v2::NotSaved,
                            rewriteNeeded +
                                "it has other hard links, which a new file would "
                                "break apart");
    }
    const off_t keptFrom = static_cast<off_t>(oldTag->bytes.size());
    const storage::FileRewrite rewrite = storage::rewriteFile(opened.path, file.get(), status,
                                                              {.front = *newTag,
                                                               .keptFrom = keptFrom,
                                                               .keptSize = trailerAt - keptFrom,
                                                               .back = trailer.change->newBytes,
                                                               .oldFront = oldTag->bytes,
                                                               .oldBack = trailer.change->oldBytes},
                                                              calls);
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
        case storage::FileRewrite::Outcome::OldFileChanged:
            return neitherSaved(kChangedWhileSaved);
        case storage::FileRewrite::Outcome::NotReplaced:
            break;
    }
    return trailerAlone(TagsWrite::Id3v2::NotSaved, rewriteNeeded + rewrite.reason);
}

}  // namespace id3
