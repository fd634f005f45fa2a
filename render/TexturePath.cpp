#include "TexturePath.h"

#include <QByteArrayView>
#include <QDir>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringList>

namespace vistrel {

namespace {

QString Join(const QString& base, const QString& part) {
    if (base.endsWith(QLatin1Char('/')) || base.endsWith(QDir::separator())) return base + part;
    return base + QLatin1Char('/') + part;
}

bool HasKind(const QString& path, bool wantFile) {
    const QFileInfo info(path);
    return wantFile ? info.isFile() : info.isDir();
}

// Depth first over the spellings of parts[k..] below base: the exact one
// first, then the other entries of base that match ignoring case, in name
// order. Two spellings of one folder ("Data" and "DATA") are both tried, so a
// file in either is found.
bool Walk(const QString& base, const QStringList& parts, qsizetype k, QString& found) {
    const bool last = k + 1 == parts.size();
    const QString& part = parts.at(k);
    const auto tryPath = [&](const QString& path) {
        if (!HasKind(path, last)) return false;
        if (last) {
            found = path;
            return true;
        }
        return Walk(path, parts, k + 1, found);
    };

    if (tryPath(Join(base, part))) return true;
    if (part == QLatin1String(".") || part == QLatin1String("..")) return false;

    const QDir::Filters kinds = last ? QDir::Files | QDir::Hidden | QDir::System
                                     : QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot;
    const QStringList entries = QDir(base).entryList(kinds, QDir::Name);
    for (const QString& entry : entries) {
        if (entry == part || entry.compare(part, Qt::CaseInsensitive) != 0) continue;
        if (tryPath(Join(base, entry))) return true;
    }
    return false;
}

QString ConvertedName(const std::string& name) {
    QString text = TextureNameText(name);
#ifndef Q_OS_WIN
    text.replace(QLatin1Char('\\'), QLatin1Char('/'));
#endif
    return text;
}

}  // namespace

QString TextureNameText(const std::string& name) {
#ifdef Q_OS_WIN
    return QString::fromLocal8Bit(name.data(), static_cast<qsizetype>(name.size()));
#else
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(QByteArrayView(name.data(), static_cast<qsizetype>(name.size())));
    if (utf8.hasError()) return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    return text;
#endif
}

QString TextureDisplayPath(const QString& dataPath, const std::string& name) {
    return dataPath + QDir::separator() + ConvertedName(name);
}

QStringList TextureRoots(const QString& dataPath, const QString& modelFile) {
    if (!dataPath.isEmpty() || modelFile.isEmpty()) return {dataPath};
    QStringList roots;
    QString folder = QFileInfo(modelFile).absolutePath();
    for (;;) {
        // a root without its separator: "/" + name, "D:" + "\\" + name
        const QString root = folder.endsWith(QLatin1Char('/')) ? folder.chopped(1) : folder;
        roots << QDir::toNativeSeparators(root);
        const QString up = QFileInfo(folder).absolutePath();
        if (QDir(folder).isRoot() || up == folder || up.isEmpty()) break;
        folder = up;
    }
    return roots;
}

std::optional<QString> ResolveTexturePath(const QString& dataPath, const std::string& name) {
    const QString display = TextureDisplayPath(dataPath, name);
    if (QFileInfo(display).isFile()) return display;

    const QStringList parts =
        QDir::fromNativeSeparators(ConvertedName(name)).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty()) return std::nullopt;
    const QString root = dataPath.isEmpty() ? QDir::rootPath() : dataPath;
    QString found;
    if (!Walk(root, parts, 0, found)) return std::nullopt;
    return QDir::toNativeSeparators(found);
}

}  // namespace vistrel
