#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace desktop {

// The playing file's cover as a desktop's media panel takes it: a file in a folder of the
// program's own, which only the user may enter, in the user's runtime directory (the cache
// directory where there is none). Each cover takes a new name, so that a panel does not show
// the last one from its cache, and the last one's file is removed; the folder goes with this
// object.
class CoverFile {
public:
    // Shows `picture` (empty for none) instead of the last cover. Returns the file:// URL of
    // its file; empty when there is no picture or it could not be written.
    QString show(const QByteArray& picture);

private:
    std::unique_ptr<QTemporaryDir> folder_;  // made with the first cover
    QString shown_;                          // the file of the cover shown now
    quint64 count_ = 0;
};

}  // namespace desktop
