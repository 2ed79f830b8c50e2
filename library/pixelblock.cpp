#include "pixelblock.h"

#include "fileio.h"

#include <QFileDevice>
#include <QtEndian>
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

PixelBlockCheck checkPixelBlock(QFileDevice &file, qint64 blockOffset, qint64 blockLength)
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

    if (r.method == 0) {
        for (qint64 done = 0; done < payloadLength;) {
            const qint64 piece = qMin(kPiece, payloadLength - done);
            if (!fileio::readAt(file, payloadAt + done, in.get(), piece))
                return r;
            crc = crcOf(crc, in.get(), piece);
            done += piece;
        }
        r.inflated = payloadLength;
        r.actualCrc = crc;
        r.streamEnded = true;
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
        z.next_out = reinterpret_cast<Bytef *>(out.get());
        z.avail_out = uInt(kPiece);
        rc = inflate(&z, Z_NO_FLUSH);
        const qint64 produced = kPiece - z.avail_out;
        crc = crcOf(crc, out.get(), produced);
        r.inflated += produced;
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
