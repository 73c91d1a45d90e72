// A node of the tree of tokens, key and file folders, keys and files: display text and icon, the
// children it owns, and the page the main window shows when the node is clicked.
#pragma once

#include <QMap>
#include <QObject>
#include <QVariant>

#include <memory>
#include <vector>

class QWidget;
class TreeModel;

class TreeItem : public QObject
{
    Q_OBJECT
public:
    // Roles stored: 0 the display text, 1 the icon.
    TreeItem(const QMap<int, QVariant>& roles, TreeItem* parent);
    explicit TreeItem(TreeItem* parent);
    // Deletes the children through the model, so the view and the window hear of each removal.
    ~TreeItem() override;

    TreeItem* parent() const { return mParent; }
    void setParent(TreeItem* parent) { mParent = parent; }
    TreeModel* model() const { return mModel; }
    void setModel(TreeModel* model) { mModel = model; }
    QWidget* page() const { return mPage; }
    void setPage(QWidget* page) { mPage = page; }

    TreeItem* child(int idx) const;
    int childCount() const { return static_cast<int>(mChilds.size()); }
    int rowCount() const { return childCount(); }
    int columnCount() const { return 1; }
    int row() const;

    // Adopt `item` (this node's model, this node as parent). The model's slots wrap these.
    void appendChild(std::unique_ptr<TreeItem> item);
    void insertChild(int idx, std::unique_ptr<TreeItem> item);
    std::unique_ptr<TreeItem> childTakeAt(int idx);

    QVariant data(int role) const { return mData.value(role); }
    void setData(const QVariant& value, int role) { mData.insert(role, value); }

public slots:
    // Brings text, icon, page and children up to date; nothing to do for a plain node.
    virtual void refresh();

private:
    TreeModel* mModel = nullptr;
    TreeItem* mParent;
    std::vector<std::unique_ptr<TreeItem>> mChilds;
    QMap<int, QVariant> mData;
    QWidget* mPage = nullptr; // not owned
};
