#include "gui/qt/hand_cursor.h"

#include <QFile>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

namespace velloran {

std::optional<QCursor> loadCursorFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray header = file.read(14);
    // ICONDIR: reserved 0, type 2 (cursor), count >= 1; the first entry holds
    // the hotspot where an icon keeps its planes and bit count.
    if (header.size() < 14 || qFromLittleEndian<quint16>(header.constData()) != 0 ||
        qFromLittleEndian<quint16>(header.constData() + 2) != 2 ||
        qFromLittleEndian<quint16>(header.constData() + 4) == 0)
        return std::nullopt;
    const int hotX = qFromLittleEndian<quint16>(header.constData() + 10);
    const int hotY = qFromLittleEndian<quint16>(header.constData() + 12);
    file.seek(0);
    QImageReader reader(&file, "ico");
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

} // namespace velloran
