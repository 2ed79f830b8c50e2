#include "pixelblock.h"

#include "fileio.h"

#include <QFileDevice>
#include <QtEndian>
#include <limits>
#include <memory>
#include <zlib.h>

namespace {
constexpr qint64 kPiece = 64 * 1024;

quint32 crcOf(quint32 crc, const char *data, qint64 length)
{
    return quint32(crc32_z(crc, reinterpret_cast<const Bytef *>(data), z_size_t(length)));
}

// Inflater that is released on every way out.
struct RawInflater
{
    z_stream z{};
    bool ready = false;
    RawInflater() { ready = inflateInit2(&z, -15) == Z_OK; }
    ~RawInflater()
    {
        if (ready)
            inflateEnd(&z);
    }
};
} // namespace

PixelBlockCheck checkPixelBlock(QFileDevice &file, qint64 blockOffset, qint64 blockLength,
                                qint64 maxInflated)
{
    PixelBlockCheck r;
    if (blockOffset < 0 || blockLength < 0 || blockLength > file.size() - blockOffset)
        return r;
    if (blockLength < 6) {
        r.status = PixelBlockCheck::TooShort;
        return r;
    }
    char header[6];
    if (!fileio::readAt(file, blockOffset, header, 6))
        return r;
    r.method = qFromLittleEndian<quint16>(header);
    r.storedCrc = qFromLittleEndian<quint32>(header + 2);
    if (r.method != 0 && r.method != 8) {
        r.status = PixelBlockCheck::UnknownMethod;
        return r;
    }

    const qint64 payloadAt = blockOffset + 6;
    const qint64 payloadLength = blockLength - 6;
    auto in = std::make_unique_for_overwrite<char[]>(kPiece);
    quint32 crc = quint32(crc32_z(0, nullptr, 0));

    const qint64 limit = maxInflated < 0 ? std::numeric_limits<qint64>::max() : maxInflated;
    if (r.method == 0) {
        const qint64 take = qMin(payloadLength, limit);
        r.beyondLimit = take < payloadLength;
        for (qint64 done = 0; done < take;) {
            const qint64 piece = qMin(kPiece, take - done);
            if (!fileio::readAt(file, payloadAt + done, in.get(), piece))
                return r;
            crc = crcOf(crc, in.get(), piece);
            done += piece;
        }
        r.inflated = take;
        r.actualCrc = crc;
        r.streamEnded = !r.beyondLimit;
        r.status = PixelBlockCheck::Ok;
        return r;
    }

    RawInflater inflater;
    if (!inflater.ready)
        return r;
    z_stream &z = inflater.z;
    auto out = std::make_unique_for_overwrite<char[]>(kPiece);
    qint64 consumed = 0;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        if (z.avail_in == 0) {
            if (consumed >= payloadLength)
                break; // the stream is cut short: what came out stands
            const qint64 piece = qMin(kPiece, payloadLength - consumed);
            if (!fileio::readAt(file, payloadAt + consumed, in.get(), piece))
                return r;
            consumed += piece;
            z.next_in = reinterpret_cast<Bytef *>(in.get());
            z.avail_in = uInt(piece);
        }
        // One byte past the limit tells a stream that goes on from one that ends there.
        const qint64 room = limit - r.inflated < kPiece ? limit - r.inflated + 1 : kPiece;
        z.next_out = reinterpret_cast<Bytef *>(out.get());
        z.avail_out = uInt(room);
        rc = inflate(&z, Z_NO_FLUSH);
        qint64 produced = room - z.avail_out;
        if (r.inflated + produced > limit) {
            produced = limit - r.inflated;
            r.beyondLimit = true;
        }
        crc = crcOf(crc, out.get(), produced);
        r.inflated += produced;
        if (r.beyondLimit)
            break;
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
            r.actualCrc = crc;
            r.status = PixelBlockCheck::BadStream;
            return r;
        }
    }
    r.actualCrc = crc;
    r.streamEnded = rc == Z_STREAM_END;
    r.status = PixelBlockCheck::Ok;
    return r;
}
