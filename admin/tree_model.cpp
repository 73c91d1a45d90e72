#include "tree_model.h"

#include "dev_zr40nn_threads.h"
#include "morvil_item.h"
#include "tree_item.h"

#include <QList>

TreeModel::TreeModel(QObject* parent)
    : QAbstractItemModel(parent)
{
    QMap<int, QVariant> roles;
    roles.insert(Qt::DisplayRole, tr("Dostępne tokeny"));
    mRootItem = std::make_unique<TreeItem>(roles, nullptr);
    mRootItem->setModel(this);
    DEV_ZR40NN_lib_init();
}

TreeModel::~TreeModel()
{
    DEV_ZR40NN_lib_finish();
    // The tree goes while the model and its root are still whole, so every removal is announced.
    deleteAllChilds(mRootItem.get());
    mRootItem.reset();
}

TreeItem* TreeModel::itemAt(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<TreeItem*>(index.internalPointer()) : mRootItem.get();
}

QModelIndex TreeModel::indexOf(TreeItem* item) const
{
    return item == nullptr || item == mRootItem.get() ? QModelIndex() : createIndex(item->row(), 0, item);
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex& parent) const
{
    TreeItem* child = itemAt(parent)->child(row);
    return child != nullptr && column == 0 ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex TreeModel::parent(const QModelIndex& index) const
{
    if (!index.isValid()) {
        return QModelIndex();
    }
    return indexOf(itemAt(index)->parent());
}

int TreeModel::rowCount(const QModelIndex& parent) const
{
    return parent.column() > 0 ? 0 : itemAt(parent)->childCount();
}

int TreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant TreeModel::data(const QModelIndex& index, int role) const
{
    return index.isValid() ? itemAt(index)->data(role) : QVariant();
}

QVariant TreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    return section == 0 && orientation == Qt::Horizontal ? mRootItem->data(role) : QVariant();
}

Qt::ItemFlags TreeModel::flags(const QModelIndex& index) const
{
    // Qt's item-model contract: the invisible root is no item and carries no flags.
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

void TreeModel::setActive(const QModelIndex& index)
{
    emit pageActivated(itemAt(index)->page());
}

void TreeModel::repaintItemData(TreeItem* item)
{
    // The root is no row of the view: there is nothing to repaint.
    const QModelIndex index = indexOf(item);
    if (index.isValid()) {
        emit dataChanged(index, index);
    }
}

void TreeModel::appendChild(TreeItem* parent, std::unique_ptr<TreeItem> child)
{
    insertChild(parent, parent->childCount(), std::move(child));
}

void TreeModel::insertChild(TreeItem* parent, int idx, std::unique_ptr<TreeItem> child)
{
    beginInsertRows(indexOf(parent), idx, idx);
    parent->insertChild(idx, std::move(child));
    endInsertRows();
}

void TreeModel::deleteChild(TreeItem* parent, int idx)
{
    const QModelIndex parentIndex = indexOf(parent);
    if (idx < 0 || idx >= parent->childCount()) {
        return;
    }
    TreeItem* child = parent->child(idx);
    deleteAllChilds(child);
    emit pageDeleted(child->page());
    beginRemoveRows(parentIndex, idx, idx);
    parent->childTakeAt(idx).reset();
    endRemoveRows();
}

void TreeModel::deleteAllChilds(TreeItem* parent)
{
    while (parent->childCount() > 0) {
        deleteChild(parent, 0);
    }
}

int TreeModel::refresh()
{
    // The tree follows the device list as the enumeration left it, whatever its status.
    DEV_ZR40NN_thread_lib_refresh enumeration;
    enumeration.execWithCursor(Qt::WaitCursor);

    QList<int> present;
    for (int i = 0; i < mRootItem->childCount();) {
        const auto* node = static_cast<MorvilItem*>(mRootItem->child(i));
        const int position = node->libIndex();
        if (position < 0 || !node->holdsSameToken()) {
            deleteChild(mRootItem.get(), i); // the next node moved into place i
            continue;
        }
        present.append(position);
        ++i;
    }
    for (int i = 0; DEV_ZR40NN_t* ut = DEV_ZR40NN_find_by_index(i); ++i) {
        if (!present.contains(i)) {
            appendChild(mRootItem.get(), std::make_unique<MorvilItem>(ut, nullptr));
        }
    }
    for (int i = 0; i < mRootItem->childCount(); ++i) {
        mRootItem->child(i)->refresh();
    }
    return mRootItem->childCount();
}
