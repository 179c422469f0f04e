#pragma once

#include <QAbstractListModel>
#include <QStringList>

namespace velloran {

// The rows of the file list: one full path each, in the order they were added.
// Appends arrive in batches so that a list of 100,000 rows is built with a
// handful of model resets rather than one view update per row.
class FileListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    void setHeader(const QString &text);
    void appendPaths(const QStringList &paths);
    void removePath(int row);
    void clear();
    const QString &path(int row) const { return m_paths.at(row); }

private:
    QStringList m_paths;
    QString m_header;
};

} // namespace velloran
