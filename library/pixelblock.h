#pragma once
// Verifies the pixel block of a compressed record without holding its pixels: the block is read
// and inflated piece by piece, and the CRC-32 of everything it inflates to is compared with the
// one in the block header. Memory stays a few hundred kilobytes whatever the block claims.

#include <QtGlobal>

class QFileDevice;

struct PixelBlockCheck
{
    enum Status {
        Ok,            // the payload was read to its end (or to the end of its deflate stream)
        TooShort,      // below the 6 bytes of the block header
        UnknownMethod, // neither 0 (stored) nor 8 (deflate)
        BadStream,     // the deflate data is invalid
        ReadError      // the block lies (partly) outside the file
    };
    Status status = ReadError;
    quint16 method = 0;
    quint32 storedCrc = 0;
    quint32 actualCrc = 0;    // of the bytes inflated before the stream ended or broke
    qint64 inflated = 0;      // pixel bytes the block yields
    bool streamEnded = false; // deflate: the final block was reached (always true when stored)
    bool beyondLimit = false; // it yields more than the limit asked for: stopped there, and
                              // actualCrc covers only what came before
    bool crcMatches() const { return status == Ok && storedCrc == actualCrc; }
};

// The block of `blockLength` bytes at `blockOffset` (method, CRC-32, payload). No more than
// `maxInflated` pixel bytes are read or inflated (a few bytes of deflate data can stand for
// gigabytes); a negative `maxInflated` sets no limit.
PixelBlockCheck checkPixelBlock(QFileDevice &file, qint64 blockOffset, qint64 blockLength,
                                qint64 maxInflated = -1);
