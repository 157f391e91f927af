#include "app/genre_box.h"

#include <QAbstractItemView>
#include <QScrollBar>
#include <QStyle>

void GenreBox::showPopup() {
    if (!measured_) {
        QAbstractItemView* names = view();
        names->setMinimumWidth(names->sizeHintForColumn(0) +
                               names->verticalScrollBar()->sizeHint().width() +
                               2 * names->style()->pixelMetric(QStyle::PM_DefaultFrameWidth));
        measured_ = true;
    }
    QComboBox::showPopup();
}
