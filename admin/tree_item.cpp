#include "tree_item.h"

#include "tree_model.h"

TreeItem::TreeItem(const QMap<int, QVariant>& roles, TreeItem* parent)
    : mParent(parent)
    , mData(roles)
{
}

TreeItem::TreeItem(TreeItem* parent)
    : mParent(parent)
{
}

TreeItem::~TreeItem()
{
    if (mModel != nullptr) {
        mModel->deleteAllChilds(this);
    }
}

TreeItem* TreeItem::child(int idx) const
{
    return idx >= 0 && idx < childCount() ? mChilds[idx].get() : nullptr;
}

int TreeItem::row() const
{
    if (mParent == nullptr) {
        return 0;
    }
    for (int i = 0; i < mParent->childCount(); ++i) {
        if (mParent->mChilds[i].get() == this) {
            return i;
        }
    }
    return 0;
}

void TreeItem::appendChild(std::unique_ptr<TreeItem> item)
{
    insertChild(childCount(), std::move(item));
}

void TreeItem::insertChild(int idx, std::unique_ptr<TreeItem> item)
{
    item->setModel(mModel);
    item->setParent(this);
    mChilds.insert(mChilds.begin() + idx, std::move(item));
}

std::unique_ptr<TreeItem> TreeItem::childTakeAt(int idx)
{
    std::unique_ptr<TreeItem> item = std::move(mChilds[idx]);
    mChilds.erase(mChilds.begin() + idx);
    return item;
}

void TreeItem::refresh() { }
