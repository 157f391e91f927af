#pragma once

#include "core/file_path.h"

class QListWidgetItem;

namespace browser {

// Shows `name` on a list entry as a person reads it. A name that is not UTF-8 is set in
// italics, with its exact bytes in the tooltip, so that it never looks like the UTF-8 name it
// resembles.
void showName(QListWidgetItem& item, const core::FilePath& name);

}  // namespace browser
