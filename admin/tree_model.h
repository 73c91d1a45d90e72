// The one-column tree of the main window: tokens, then their key and file folders, then keys and
// files. The model owns the invisible root and brackets the program's use of the token library:
// initialised when the model is made, finished when it goes.
#pragma once

#include <QAbstractItemModel>

#include <memory>

class TreeItem;
class QWidget;

class TreeModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    explicit TreeModel(QObject* parent = nullptr);
    ~TreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    TreeItem* rootItem() const { return mRootItem.get(); }
    QModelIndex indexOf(TreeItem* item) const;

signals:
    void pageActivated(QWidget* page);
    // Comes before the node of `page` is destroyed, deepest nodes first.
    void pageDeleted(QWidget* page);

public slots:
    // Enumerates the tokens again and brings the token nodes in line; returns how many there are.
    // May delete any token node, the caller's included.
    int refresh();
    void setActive(const QModelIndex& index);
    void repaintItemData(TreeItem* item);

public:
    // The nodes build their subtrees through these, so that every change reaches the view.
    void appendChild(TreeItem* parent, std::unique_ptr<TreeItem> child);
    void insertChild(TreeItem* parent, int idx, std::unique_ptr<TreeItem> child);
    // Deletes the child's subtree first, announces its page, then removes its row.
    void deleteChild(TreeItem* parent, int idx);
    void deleteAllChilds(TreeItem* parent);

private:
    TreeItem* itemAt(const QModelIndex& index) const;

    std::unique_ptr<TreeItem> mRootItem;
};
