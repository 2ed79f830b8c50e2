#pragma once
// How one fuzz input becomes a library with its index.
//
//   byte 0     flags: bits 0-1 FileType (3 reads as 0); bit 2 the library part is the whole
//              library file, else it is the image count (4 bytes) and the bytes behind the
//              1,080-byte front, which is built here (so mutations go to counts and records, not
//              to the palette); bit 3 no index file; bit 4 open for reading only; bit 5 a
//              journal of an interrupted edit lies beside the library
//   bytes 1-2  length of the index part (little-endian, cut to what is there)
//   bytes 3-4  with bit 5 only: length of the journal part
//   then       the index part (the whole index file), the journal part, the library part

#include <QByteArray>

namespace fuzzinput {

struct LibraryInput
{
    int fileType = 0;
    bool wholeLibrary = false;
    bool noIndex = false;
    bool readOnly = false;
    bool hasJournal = false;
    QByteArray library; // the library file as written
    QByteArray index;   // the index file as written
    QByteArray journal; // the journal file, when hasJournal
};

LibraryInput unpackLibrary(const char *data, size_t size);
// The input that unpacks to these files. Unless `wholeLibrary`, the library's first 1,080 bytes
// except its count are left out: they unpack to the front built here.
QByteArray packLibrary(const LibraryInput &input);

} // namespace fuzzinput
