#include "browser/dir_list.h"

#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

#include "browser/folder_listing.h"
#include "browser/shown_name.h"

namespace browser {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;
constexpr int kIndentPerStep = 8;

// Shifts each entry right by its depth, so the list reads as a path and its subfolders.
class IndentingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented(option);
        indented.rect.adjust(indentOf(index), 0, 0, 0);
        QStyledItemDelegate::paint(painter, indented, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indentOf(index), 0);
    }

private:
    static int indentOf(const QModelIndex& index) {
        return index.data(kDepthRole).toInt() * kIndentPerStep;
    }
};

}  // namespace

DirList::DirList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new IndentingDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Deep paths would otherwise push the names out of the narrow list sideways.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideRight);
    connect(this, &QListWidget::doubleClicked, this, &DirList::openEntry);
}

void DirList::setPath(const core::FilePath& path) {
    const core::FilePath clean = absoluteClean(path);
    if (clean == path_) {
        return;
    }
    if (const QString reason = whyUnlistable(clean); !reason.isEmpty()) {
        emit openFailed(clean, reason);
        return;
    }
    path_ = clean;
    fill();
    emit pathChanged();
}

void DirList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openEntry(currentIndex());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void DirList::openEntry(const QModelIndex& index) {
    if (index.isValid()) {
        setPath(core::FilePath(index.data(kPathRole).toByteArray()));
    }
}

void DirList::fill() {
    clear();
    const QIcon openFolder = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedFolder = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const auto add = [this](const core::FilePath& name, const core::FilePath& path, int depth,
                            const QIcon& icon) {
        auto* item = new QListWidgetItem(icon, QString(), this);
        showName(*item, name);
        item->setData(kPathRole, path.bytes());
        item->setData(kDepthRole, depth);
        return item;
    };

    const QVector<FolderStep> steps = foldersDownTo(path_);
    QListWidgetItem* current = nullptr;
    for (int depth = 0; depth < steps.size(); ++depth) {
        current = add(steps[depth].name, steps[depth].path, depth, openFolder);
    }
    const QByteArray prefix = path_.bytes().endsWith('/') ? path_.bytes() : path_.bytes() + '/';
    const int childDepth = static_cast<int>(steps.size());
    for (const core::FilePath& name : subfolders(path_)) {
        add(name, core::FilePath(prefix + name.bytes()), childDepth, closedFolder);
    }
    setCurrentItem(current);
    scrollToItem(current);
}

}  // namespace browser
