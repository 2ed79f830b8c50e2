#pragma once
// Reads a library and its index the way the editor would and lists every problem found:
// counts that disagree, a short index, entries outside the file, records that overlap or do not
// decode, pixel blocks whose CRC-32 is wrong. Nothing is written. Every read is bounded by the
// files' sizes, so a damaged pair costs time in proportion to its size and never more memory
// than one record's pixels.

#include <QString>
#include <QVector>

struct CheckFinding
{
    enum Severity { Error, Warning };
    enum Scope { Library, Index, Image };
    Severity severity = Error;
    Scope scope = Library;
    int image = -1; // for Image
    QString text;

    // "image 3: ...", "library: ...", "index: ..."; warnings say so after the scope.
    QString line() const;
};

struct CheckReport
{
    int imageCount = 0; // images the editor would show
    QVector<CheckFinding> findings; // library, then index, then images in number order
    int errorCount() const;
    int warningCount() const;
    bool clean() const { return errorCount() == 0; }
};

// Checks the library at `libraryPath` with the index that belongs to it (indexFileNameFor).
CheckReport checkLibrary(const QString &libraryPath);
