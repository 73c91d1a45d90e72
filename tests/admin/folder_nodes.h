// The key and file folders of a usable token node, and the controls of their pages, for tests.
#pragma once

#include "admin_fixture.h"
#include "file_items.h"
#include "key_items.h"
#include "widgets/file_folder_widget.h"
#include "widgets/gen_cert_req_widget.h"
#include "widgets/key_folder_widget.h"

#include <QGroupBox>

namespace morvil::test {

inline MorvilKeysFolderItem* keysFolder(MorvilItem* node)
{
    return qobject_cast<MorvilKeysFolderItem*>(node->child(0));
}

inline MorvilFilesFolderItem* filesFolder(MorvilItem* node)
{
    return qobject_cast<MorvilFilesFolderItem*>(node->child(1));
}

inline QGroupBox* keyBox(MorvilItem* node, int slot)
{
    return keysFolder(node)->keyFolderWidget()->findChild<QGroupBox*>(QStringLiteral("keySlot%1").arg(slot));
}

// Names of the key nodes, in row order.
inline QStringList keyNodeNames(MorvilItem* node)
{
    QStringList names;
    for (int i = 0; i < keysFolder(node)->childCount(); ++i) {
        names << keysFolder(node)->child(i)->data(Qt::DisplayRole).toString();
    }
    return names;
}

// Generates a key through the page of the token's key folder, as the user does.
inline void generateKeyOnPage(MorvilItem* node, int slot, const QString& name)
{
    setText(keyBox(node, slot), "keyName", name);
    press(keyBox(node, slot), "generateKey");
}

} // namespace morvil::test
