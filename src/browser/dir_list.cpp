#include "browser/dir_list.h"

#include <QDir>
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

void DirList::setPath(const QString& path) {
    const QString clean = QDir::cleanPath(QDir::current().absoluteFilePath(path));
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
        setPath(index.data(kPathRole).toString());
    }
}

void DirList::fill() {
    clear();
    const QIcon openFolder = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedFolder = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const auto add = [this](const QString& name, const QString& path, int depth,
                            const QIcon& icon) {
        auto* item = new QListWidgetItem(icon, QString(), this);
        showName(*item, name);
        item->setData(kPathRole, path);
        item->setData(kDepthRole, depth);
        return item;
    };

    const QVector<FolderStep> steps = foldersDownTo(path_);
    QListWidgetItem* current = nullptr;
    for (int depth = 0; depth < steps.size(); ++depth) {
        current = add(steps[depth].name, steps[depth].path, depth, openFolder);
    }
    const QString prefix = path_.endsWith(QLatin1Char('/')) ? path_ : path_ + QLatin1Char('/');
    const int childDepth = static_cast<int>(steps.size());
    for (const QString& name : subfolders(path_)) {
        add(name, prefix + name, childDepth, closedFolder);
    }
    setCurrentItem(current);
    scrollToItem(current);
}

}  // namespace browser
