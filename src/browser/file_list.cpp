#include "browser/file_list.h"

#include <QMouseEvent>

#include "browser/folder_listing.h"
#include "browser/shown_name.h"

namespace browser {

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected) {
                if (!selected.isEmpty()) {
                    emit fileClicked();
                }
            });
    // A click on the entry that is already selected changes nothing in the selection, yet the
    // user asked to see that file again.
    connect(this, &QListWidget::clicked, this, [this](const QModelIndex& index) {
        if (index == selectedBeforePress_) {
            emit fileClicked();
        }
    });
}

core::FilePath FileList::fileName() const {
    // The selected entry, which need not be the current one: a screen reader selects an entry
    // without moving the list's current entry to it.
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? core::FilePath()
                              : core::FilePath(selected.front()->data(kNameRole).toByteArray());
}

void FileList::setPath(const core::FilePath& folder) {
    if (folder == path_) {
        return;
    }
    path_ = folder;
    fill();
}

int FileList::chosenRow() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.front());
}

void FileList::chooseRow(int row) {
    QListWidgetItem* entry = item(row);
    scrollToItem(entry);
    if (entry->isSelected()) {
        emit fileClicked();
    } else {
        setCurrentItem(entry);
    }
}

void FileList::choose(const core::FilePath& name) {
    int found = rowOf(name);
    if (found < 0) {
        fill();
        found = rowOf(name);
    }
    if (found >= 0) {
        chooseRow(found);
    }
}

int FileList::rowOf(const core::FilePath& name) const {
    for (int i = 0; i < count(); ++i) {
        if (item(i)->data(kNameRole).toByteArray() == name.bytes()) {
            return i;
        }
    }
    return -1;
}

void FileList::mousePressEvent(QMouseEvent* event) {
    const QModelIndex current = currentIndex();
    selectedBeforePress_ =
        current.isValid() && selectionModel()->isSelected(current) ? current : QModelIndex();
    QListWidget::mousePressEvent(event);
}

void FileList::fill() {
    clear();
    for (const core::FilePath& name : matchingFiles(path_, pattern_)) {
        // Made whole before it joins the list, so that the list hears of each entry once.
        auto* item = new QListWidgetItem;
        showName(*item, name);
        item->setData(kNameRole, name.bytes());
        addItem(item);
    }
}

}  // namespace browser
