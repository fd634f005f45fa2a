// A plain INI text file: sections in brackets, "key=value" lines, values kept
// exactly as written (no quoting, no escaping). Reading forgives what hand
// editing and other programs leave behind: blanks around names, "=" inside
// values, Windows line ends, lines outside any section, lines that are none of
// these. Names of sections and keys match without regard to letter case.
// Saving replaces the file atomically and keeps every other line as it was.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace vistrel {

class TIniFile {
public:
    // Reads the file; a missing or unreadable file reads as empty.
    explicit TIniFile(QString path);

    const QString& Path() const { return path_; }
    std::optional<QString> Value(const QString& section, const QString& key) const;
    QString ReadString(const QString& section, const QString& key, const QString& fallback) const;
    // A value that does not read as a decimal integer counts as missing.
    int ReadInteger(const QString& section, const QString& key, int fallback) const;
    void WriteString(const QString& section, const QString& key, const QString& value);
    void WriteInteger(const QString& section, const QString& key, int value);
    // Writes through a temporary file renamed over the old one; false, with
    // the reason in *error, when the file cannot be written.
    bool Save(QString* error = nullptr) const;

    // The text the file would be saved with.
    QString Text() const;

private:
    int FindSection(const QString& section) const;                  // line of "[section]", or -1
    int FindKey(const QString& section, const QString& key) const;  // line, or -1
    QString path_;
    QStringList lines_;
};

// Splits an INI line into key and value at its first "="; false for lines
// that hold no "=" or an empty key.
bool SplitIniLine(const QString& line, QString* key, QString* value);

}  // namespace vistrel
