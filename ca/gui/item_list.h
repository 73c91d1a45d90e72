// The authority's certificates and requests: tree rows that the trees hold by pointer while the
// list owns them. Each element keeps its address until the list is cleared, so an append never
// moves a row out from under a tree. Copies are deep: a copied row belongs to no tree.
#pragma once

#include <memory>
#include <vector>

template <typename Item> class ItemList
{
public:
    ItemList() = default;
    ItemList(const ItemList& other)
    {
        for (const auto& item : other.mItems) {
            mItems.push_back(std::make_unique<Item>(*item));
        }
    }
    ItemList& operator=(const ItemList& other)
    {
        if (this != &other) {
            ItemList copy(other);
            mItems.swap(copy.mItems);
        }
        return *this;
    }
    ItemList(ItemList&&) noexcept = default;
    ItemList& operator=(ItemList&&) noexcept = default;
    ~ItemList() = default;

    // A new default row at the end, made in place.
    Item& appendNew() { return *mItems.emplace_back(std::make_unique<Item>()); }
    Item& append(const Item& item) { return *mItems.emplace_back(std::make_unique<Item>(item)); }
    // Moves a row from one list to the end of another, keeping its address; the place it leaves is
    // empty and must not be read until the list it left is replaced or cleared.
    Item& adopt(ItemList& from, int i)
    {
        return *mItems.emplace_back(std::move(from.mItems[static_cast<std::size_t>(i)]));
    }
    // Destroying a row also takes it out of its tree.
    void clear() { mItems.clear(); }
    int size() const { return static_cast<int>(mItems.size()); }
    bool isEmpty() const { return mItems.empty(); }
    Item& operator[](int i) { return *mItems[static_cast<std::size_t>(i)]; }
    const Item& operator[](int i) const { return *mItems[static_cast<std::size_t>(i)]; }
    Item& first() { return *mItems.front(); }
    const Item& first() const { return *mItems.front(); }

private:
    std::vector<std::unique_ptr<Item>> mItems;
};
