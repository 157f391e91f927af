#pragma once

#include <QString>

#include <optional>

#include "storage/write_journal.h"

// What the message label tells of a save that a kill or power loss had cut short, when a click
// found its record: that it was finished, that its record was ignored, or that it could not be
// finished, so that the tag shown may be half-written; the tooltip says why (`reason`). Nothing
// when there was no record.
struct RecoveryNotice {
    QString text;
    QString toolTip;
};

std::optional<RecoveryNotice> recoveryNotice(storage::JournalRecovery::Outcome outcome,
                                             const QString& reason);
