// BadFileSet: every kind of file a user can point Open File or morvanet-tree at, made in a scratch folder.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <string>
#include <vector>

// The files are made when the set is constructed and removed with it.
class BadFileSet {
public:
    struct Case {
        QString name;     // for messages
        QString path;
        bool loads;       // whether a load delivers bytes (otherwise it is refused)
        std::string text; // for loads: what the read delivers (text mode, at most 1,000,000 bytes);
                          // empty when only a prefix of the file is known (the binary)
        bool knownText;   // false for the binary, whose delivered bytes are only checked as a prefix
    };

    // A text that is longer than the read limit: its words "zebra" all stand
    // after the first 1,000,000 bytes, "Abel" stands before.
    static std::string longText();

    BadFileSet();
    ~BadFileSet();

    bool valid() const { return valid_; }
    const std::vector<Case> &cases() const { return cases_; }
    const Case &at(const QString &name) const;
    // The folder the files are in.
    QString dir() const { return dir_.path(); }
    // Whether the file without read permission is refused (not when running as root).
    static bool permissionsApply();

private:
    QTemporaryDir dir_;
    std::vector<Case> cases_;
    bool valid_ = true;
    int socket_ = -1;
};
