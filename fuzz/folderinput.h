#pragma once
// How one fuzz input becomes the folder a crash left behind: the library, its index, a journal
// or a swap marker, the scratch folder of a replacement and what lies in it.
//
//   repeated   uint8 name length, the name (UTF-8), uint16 content length (little-endian), the
//              content; an entry cut short takes what is there
//
// A name is a file in the folder ("f.wil-journal") or in one folder below it
// (".wil-work-x/previous-f.wil"); a name ending in '/' is an empty folder. Other names (absolute,
// "..", deeper) are skipped, so nothing is ever written outside the folder.
//
// Journals and markers carry a CRC-32 of their bytes, which random mutations almost never keep
// valid. writeFolder makes the named one's checksum match its (mutated) body, so that the
// mutations reach the code that parses and plays it back.

#include <QByteArray>
#include <QList>
#include <QString>
#include <utility>

namespace fuzzinput {

struct FolderInput
{
    QList<std::pair<QString, QByteArray>> files; // relative name, content
};

// The library every folder input is about; its index is "f.WIX".
QString libraryName();

FolderInput unpackFolder(const char *data, size_t size);
QByteArray packFolder(const FolderInput &input);

// Every file and folder under `dir`, one level deep, except lock files (whoever held them is
// gone by the time the input is replayed).
FolderInput readFolder(const QString &dir);

// Which file of the folder gets a valid checksum.
enum class Checksum
{
    None,
    Journal, // <library>-journal: CRC-32 of all but its trailer, in the trailer
    Marker   // <library>-swap: CRC-32 of all but its last 4 bytes, in them
};
// Where the CRC-32 of a file of `size` bytes is stored, and how many bytes in front of the end
// it covers up to; -1 when the file is too short to hold one.
struct ChecksumPlace
{
    qsizetype at = -1;
    qsizetype bodyEnd = -1;
};
ChecksumPlace checksumPlace(Checksum kind, qsizetype size);

// Writes the files into `dir` (which should be empty), with the checksum of `fix` made valid.
void writeFolder(const FolderInput &input, const QString &dir, Checksum fix);

} // namespace fuzzinput
