#include "app/recovery_notice.h"

#include <QCoreApplication>

std::optional<RecoveryNotice> recoveryNotice(storage::JournalRecovery::Outcome outcome,
                                             const QString& reason) {
    QString text;
    switch (outcome) {
        case storage::JournalRecovery::Outcome::NoRecord:
            return std::nullopt;
        case storage::JournalRecovery::Outcome::Finished:
            text = QCoreApplication::translate("Form1", "An interrupted save was finished");
            break;
        case storage::JournalRecovery::Outcome::Discarded:
            text = QCoreApplication::translate("Form1", "An interrupted save was ignored");
            break;
        case storage::JournalRecovery::Outcome::Failed:
            text = QCoreApplication::translate("Form1", "The tag shown may be half-written");
            break;
    }
    QString toolTip = reason;
    if (!toolTip.isEmpty()) {
        toolTip[0] = toolTip[0].toUpper();
        toolTip += QLatin1Char('.');
    }
    return RecoveryNotice{text, toolTip};
}
