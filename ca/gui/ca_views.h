// Helpers of the authority's views.
#pragma once

class QTreeWidget;

// Takes every row out of a tree without deleting it: the rows belong to the authority's lists.
void detachRows(QTreeWidget* tree);
