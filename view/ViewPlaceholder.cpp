// Replaced by the tree view.
