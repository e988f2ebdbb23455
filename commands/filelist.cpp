#include "filelist.h"

void walkSelection(FileList &list, const std::function<void(int row, const QString &name)> &action)
{
    const int n = list.count();
    if (n <= 0)
        return;
    const std::vector<bool> selected = list.selectedRows();
    for (int row = 0; row < n && row < static_cast<int>(selected.size()); ++row) {
        if (!selected[row])
            continue;
        list.unselect(row);
        action(row, list.itemText(row));
    }
}
