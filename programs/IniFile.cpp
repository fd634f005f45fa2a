#include "IniFile.h"

#include <QFile>
#include <QSaveFile>

namespace vistrel {
namespace {

bool IsSectionLine(const QString& line, QString* name) {
    const QString t = line.trimmed();
    if (t.size() < 2 || !t.startsWith(QLatin1Char('[')) || !t.endsWith(QLatin1Char(']'))) return false;
    if (name) *name = t.mid(1, t.size() - 2).trimmed();
    return true;
}

}  // namespace

bool SplitIniLine(const QString& line, QString* key, QString* value) {
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0) return false;
    const QString k = line.left(eq).trimmed();
    if (k.isEmpty() || k.startsWith(QLatin1Char(';')) || k.startsWith(QLatin1Char('#'))) return false;
    *key = k;
    // blanks before a value are not part of it; the rest is taken as it is
    QString v = line.mid(eq + 1);
    int start = 0;
    while (start < v.size() && (v[start] == QLatin1Char(' ') || v[start] == QLatin1Char('\t'))) ++start;
    *value = v.mid(start);
    return true;
}

TIniFile::TIniFile(QString path) : path_(std::move(path)) {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) return;
    // at most a few megabytes: a settings file larger than that is not one
    const QByteArray bytes = file.read(4 * 1024 * 1024);
    QString text = QString::fromUtf8(bytes);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    lines_ = text.split(QLatin1Char('\n'));
    if (!lines_.isEmpty() && lines_.last().isEmpty()) lines_.removeLast();
}

int TIniFile::FindSection(const QString& section) const {
    for (int i = 0; i < lines_.size(); ++i) {
        QString name;
        if (IsSectionLine(lines_[i], &name) && name.compare(section, Qt::CaseInsensitive) == 0) return i;
    }
    return -1;
}

int TIniFile::FindKey(const QString& section, const QString& key) const {
    const int start = FindSection(section);
    if (start < 0) return -1;
    for (int i = start + 1; i < lines_.size(); ++i) {
        if (IsSectionLine(lines_[i], nullptr)) break;
        QString k, v;
        if (SplitIniLine(lines_[i], &k, &v) && k.compare(key, Qt::CaseInsensitive) == 0) return i;
    }
    return -1;
}

std::optional<QString> TIniFile::Value(const QString& section, const QString& key) const {
    const int line = FindKey(section, key);
    if (line < 0) return std::nullopt;
    QString k, v;
    SplitIniLine(lines_[line], &k, &v);
    return v;
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& fallback) const {
    const std::optional<QString> v = Value(section, key);
    return v ? *v : fallback;
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int fallback) const {
    const std::optional<QString> v = Value(section, key);
    if (!v) return fallback;
    bool ok = false;
    const int n = v->trimmed().toInt(&ok, 10);
    return ok ? n : fallback;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    // a value cannot hold a line break in this format
    QString clean = value;
    clean.replace(QLatin1Char('\r'), QLatin1Char(' '));
    clean.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString line = key + QLatin1Char('=') + clean;
    const int existing = FindKey(section, key);
    if (existing >= 0) {
        lines_[existing] = line;
        return;
    }
    int at = FindSection(section);
    if (at < 0) {
        if (!lines_.isEmpty() && !lines_.last().trimmed().isEmpty()) lines_.append(QString());
        lines_.append(QLatin1Char('[') + section + QLatin1Char(']'));
        lines_.append(line);
        return;
    }
    // after the last key of the section (before blank lines that end it)
    int end = at + 1;
    while (end < lines_.size() && !IsSectionLine(lines_[end], nullptr)) ++end;
    int insert = end;
    while (insert > at + 1 && lines_[insert - 1].trimmed().isEmpty()) --insert;
    lines_.insert(insert, line);
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

QString TIniFile::Text() const {
    QString text;
    for (const QString& line : lines_) {
        text += line;
        text += QLatin1Char('\n');
    }
    return text;
}

bool TIniFile::Save(QString* error) const {
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    const QByteArray bytes = Text().toUtf8();
    if (file.write(bytes) != bytes.size()) {
        if (error) *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace vistrel
