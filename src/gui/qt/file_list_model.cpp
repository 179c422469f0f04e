#include "gui/qt/file_list_model.h"

namespace velloran {

int FileListModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_paths.size());
}

QVariant FileListModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid() || index.row() >= m_paths.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_paths.at(index.row());
    return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole &&
        !m_header.isEmpty())
        return m_header;
    return QAbstractListModel::headerData(section, orientation, role);
}

Qt::ItemFlags FileListModel::flags(const QModelIndex &index) const {
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}

void FileListModel::setHeader(const QString &text) {
    m_header = text;
    emit headerDataChanged(Qt::Horizontal, 0, 0);
}

void FileListModel::appendPaths(const QStringList &paths) {
    if (paths.isEmpty())
        return;
    const int first = static_cast<int>(m_paths.size());
    beginInsertRows({}, first, first + static_cast<int>(paths.size()) - 1);
    m_paths.append(paths);
    endInsertRows();
}

void FileListModel::removePath(int row) {
    beginRemoveRows({}, row, row);
    m_paths.removeAt(row);
    endRemoveRows();
}

void FileListModel::clear() {
    beginResetModel();
    m_paths.clear();
    endResetModel();
}

} // namespace velloran
