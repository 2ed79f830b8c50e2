// Placeholder bodies: the real component replaces this file.
#include "mywil.h"
#include <QFile>
#include <QPainter>

TWIL::TWIL(QObject *owner) : QObject(owner), m_bitmap(1, 1, QImage::Format_RGB16) {}
TWIL::~TWIL() { Close(); }
void TWIL::Open() {}
void TWIL::Close()
{
    delete LibraryStream;
    LibraryStream = nullptr;
}
void TWIL::LoadIndex(const QString &) {}
const QImage *TWIL::GetBitmap(int index) { return LibType == ltLoadBmp ? &LoadBitmap(index) : nullptr; }
const QImage &TWIL::LoadBitmap(int) { return m_bitmap; }
bool TWIL::ReadCompressedImage(qint64, int) { return false; }
bool TWIL::ReadRunLengthImage(qint64, int) { return false; }
void TWIL::DrawImage(QPainter &, const QRect &, bool, int) {}
qint64 TWIL::recordExtentEnd(int) const { return 0; }
RecordInfo TWIL::inspectRecord(int) const { return {}; }
QVector<QRgb> TWIL::colorTable() const { return QVector<QRgb>(256, qRgb(0, 0, 0)); }
bool TWIL::AddBitmap(const QImage &, qint16, qint16) { return false; }
bool TWIL::AddEmpty() { return false; }
bool TWIL::ReplaceBitmap(int, const QImage &) { return false; }
bool TWIL::SetImagePx(int, qint16) { return true; }
bool TWIL::SetImagePy(int, qint16) { return true; }
QString BaseFileName(const QString &path) { return path; }
QString indexFileNameFor(const QString &libraryPath) { return libraryPath; }
void InitBitmapHeader16(quint8 header[66]) { std::fill(header, header + 66, 0); }
QByteArray encodeBitmap16(const QImage &) { return {}; }
void DrawTransparent(QPainter &, int, int, quint16, const QImage &) {}
