#pragma once
// The library component: opens an image library (.wil) with its index (.WIX), decodes images
// with their placements, draws them, and appends, replaces and re-places single images.

#include "pairstamp.h"

#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>
#include <QVector>
#include <array>
#include <functional>
#include <memory>
#include <stdexcept>

class QFile;
class QPainter;

// Raised where the component cannot go on and the caller must hear of it (an empty file name,
// a library file that cannot be opened at all).
class WilError : public std::runtime_error
{
public:
    explicit WilError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {
    }
    QString message() const { return m_message; }

private:
    QString m_message;
};

// What a record is, read from its header and its extent only (no pixels decoded).
struct RecordInfo
{
    enum Kind {
        Invalid,         // offset outside the file, or no layout fits its extent
        Compressed,      // 16-byte header + pixel block (method 0 or 8)
        CompressedEmpty, // compressed header whose block length is below 6
        Uncompressed16,  // 8-byte header + W4 x height RGB565 pixels
        Uncompressed8,   // 8-byte header (12 with a second placement) + palette indices
        EmptyRecord,     // the 9-byte record of an empty image
        RunLength        // run-length record of a FileType 2 library
    };
    Kind kind = Invalid;
    qint64 offset = 0;  // where the record starts
    qint64 extent = 0;  // bytes from its entry to the next larger entry or the end of the file
    qint64 size = 0;    // bytes its layout takes (<= extent)
    int width = 0;      // as stored in the header
    int height = 0;
    int px = 0;
    int py = 0;
    bool hasPixels() const { return (kind == Compressed || kind == Uncompressed16 ||
                                     kind == Uncompressed8 || kind == RunLength) &&
                                    width > 0 && height > 0; }
};

class TWIL : public QObject
{
    Q_OBJECT
public:
    enum TLibType { ltLoadBmp = 0, ltLoadMemory = 1, ltLoadMunual = 2, ltUseCache = 3 };
    Q_ENUM(TLibType)

    Q_PROPERTY(QString FileName MEMBER FileName)
    Q_PROPERTY(int ImageCount READ ImageCount)
    Q_PROPERTY(TLibType LibType MEMBER LibType)
    Q_PROPERTY(int px MEMBER px)
    Q_PROPERTY(int py MEMBER py)
    Q_PROPERTY(int OffSet MEMBER OffSet)
    Q_PROPERTY(int Width MEMBER Width)
    Q_PROPERTY(int Height MEMBER Height)
    Q_PROPERTY(int FileType MEMBER FileType)

    explicit TWIL(QObject *owner = nullptr);
    ~TWIL() override;

    // Published properties.
    QString FileName;
    int ImageCount() const { return m_imageCount; }
    TLibType LibType = ltLoadBmp;
    int px = 0;
    int py = 0;
    int OffSet = 0;
    int Width = 0;
    int Height = 0;
    int FileType = 0;

    // Public state the editing operations use.
    QString IndexFileName;
    QFile *LibraryStream = nullptr; // null while closed
    QVector<qint32> Offsets;
    std::array<quint8, 1024> Palette{}; // blue, green, red, 0 per entry

    // Messages Open shows the user (the missing-file warning, an undone edit). The editor
    // routes them to a message box, the command line to stderr.
    using Notifier = std::function<void(const QString &text)>;
    void setNotifier(Notifier notifier) { m_notify = std::move(notifier); }

    // Opens FileName. Throws WilError for an empty FileName ("FileName not assigned..") and when
    // the file exists but cannot be opened even for reading; a missing file is reported through
    // the notifier and leaves the component closed.
    void Open();
    // Opens FileName for reading only (viewing, export, the command line's read commands):
    // like Open, but every edit is refused.
    void OpenReadOnly();
    void Close();
    void LoadIndex(const QString &indexPath);
    bool isOpen() const { return LibraryStream != nullptr; }
    // True when the library could only be opened for reading: every edit is refused.
    bool isReadOnly() const { return m_readOnly; }
    // True when the open library may be changed; otherwise `reason` says why not (closed,
    // read-only, a run-length library, an index that is missing or not a regular file, an
    // inconsistent pair: negative counts, an entry beyond the end of the file).
    bool canEdit(QString *reason = nullptr) const;
    // True when the pair on disk is no longer the one the component read: another program wrote
    // to it, or put other files in its place. Edits check it under the edit lock (LibraryEdit).
    bool pairChangedSinceRead() const;
    // The pair on disk, as it is now, is the one the component holds (after its own edit).
    void notePairRead();
    // Why the pair does not hold together, found when it was opened (an index missing or short,
    // counts that are negative, disagree or do not fit the file, an entry outside the file or in
    // its front part): such a pair is open for reading only. Empty for a sound pair.
    QString inconsistency() const { return m_inconsistency; }
    // Why the index could not be read at the last LoadIndex (missing, a directory or another
    // thing that is not a regular file, shorter than its header); empty when it was read.
    QString indexError() const { return m_indexError; }
    // Byte offset of entry 0 in the index file (48 or 52), found when the index was loaded
    // (24 + 4 x OffSet for a FileType 2 index).
    int indexTableStart() const { return m_tableStart; }

    // Null unless LibType is ltLoadBmp.
    const QImage *GetBitmap(int index);
    // Fetches image `index` into the current bitmap (RGB565) and returns it.
    const QImage &LoadBitmap(int index);
    const QImage &currentBitmap() const { return m_bitmap; }
    // Both return false when the record could not be decoded (the previous picture stays).
    bool ReadCompressedImage(qint64 recordOffset, int index);
    bool ReadRunLengthImage(qint64 recordOffset, int index);
    // False when the last fetch could not decode its record (the previous picture stayed) or
    // asked for an image out of range.
    bool lastDecodeOk() const { return m_lastDecodeOk; }
    RecordInfo inspectRecord(int index) const;
    // Draws image `index` into `rect`, shrunk (never enlarged) to fit, black transparent.
    void DrawImage(QPainter &canvas, const QRect &rect, bool fromTop, int index);

    // First byte behind image n's record: the next larger entry, or the end of the file
    // (0 for an image out of range).
    qint64 recordExtentEnd(int n) const;
    // The library palette as a colour table (for 8-bit images and RGB565 conversion).
    QVector<QRgb> colorTable() const;

    // Writing. Every one returns false and sets errorString() when it fails, and then leaves
    // both files exactly as they were.
    bool AddBitmap(const QImage &graphic, qint16 px, qint16 py);
    bool AddEmpty();
    bool ReplaceBitmap(int index, const QImage &graphic);
    // The record ReplaceBitmap writes for image `index`: `graphic`, with the image's placement;
    // the empty record for a null graphic.
    // Empty (and errorString() set) when it cannot be made. Batch edits make a run of these and
    // write them as one edit with spliceRecords.
    QByteArray replacementRecord(int index, const QImage &graphic);
    bool SetImagePx(int index, qint16 value);
    bool SetImagePy(int index, qint16 value);
    QString errorString() const { return m_error; }

private:
    friend class TWILPrivate;
    struct Decoder;
    class RecordReader;
    void openFile(bool readOnly);
    bool recoverInterruptedEdit(const Notifier &notify);
    void setEmptyBitmap();
    void storePlacement(int index, int x, int y);
    qint64 extentEndFor(qint64 offset) const;
    const QVector<qint32> &sortedEntries() const;
    bool decodeRecord(const RecordInfo &info, int index);
    bool decodeValidRecord(const RecordInfo &info, int index);
    bool setPlacementField(int index, int at, qint16 value);
    QString findInconsistency() const;

    PairStamp m_readStamp; // the pair as it was when it was read
    int m_imageCount = 0;
    int m_headerCount = 0; // the library header's count, before clamping to the index
    int m_indexCount = 0;  // the index header's count, as it stands
    int m_entryBeyondEnd = -1; // the first image whose entry lies beyond the end of the file
    QString m_indexError;
    QString m_inconsistency;
    bool m_readOnly = false;
    bool m_lastDecodeOk = true;
    int m_tableStart = 52;
    QImage m_bitmap;
    QVector<qint32> m_placementX;
    QVector<qint32> m_placementY;
    QString m_error;
    Notifier m_notify;
    std::unique_ptr<Decoder> m_decoder;
    // Entries sorted, for extents; rebuilt when Offsets is no longer the vector they came from.
    mutable QVector<qint32> m_sortedFor;
    mutable QVector<qint32> m_sorted;
    // The library file's size, learned when the index is loaded and kept by the component's
    // own writes: -1 while closed.
    qint64 m_knownSize = -1;
};

// Library name without folder and extension: "d:/a/b.wil" gives "b", "x.wil.wil" gives "x".
QString BaseFileName(const QString &path);
// The index that belongs to a library: its folder + BaseFileName + ".WIX"; where no file of
// exactly that name exists, one in the same folder whose name differs only in letter case.
QString indexFileNameFor(const QString &libraryPath);
// The record of an image without pixels: width, height, px and py all 1, then one zero byte.
QByteArray emptyRecordBytes();
// Fills the 66-byte header of a 16-bit RGB565 bitmap file; the caller fills the size fields.
void InitBitmapHeader16(quint8 header[66]);
// A 16-bit RGB565 Windows bitmap file of the image (66-byte header, rows bottom first, each
// padded to 4 bytes); an empty QByteArray for an image without pixels.
QByteArray encodeBitmap16(const QImage &image);
// Draws `bitmap` at (x, y) leaving pixels of exactly `transparent` (RGB565 value) undrawn.
void DrawTransparent(QPainter &painter, int x, int y, quint16 transparent, const QImage &bitmap);
