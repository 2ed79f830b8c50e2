#pragma once
// Reads a fuzz input from the front: each take hands out the next bytes, fewer (or none) once
// the input runs out, so a cut-short input is read as far as it goes.

#include <QByteArray>
#include <QtGlobal>
#include <cstddef>

namespace fuzzinput {

class InputCursor
{
  public:
    InputCursor(const char *at, const char *end) : m_at(at), m_end(end) {}

    QByteArray take(size_t wanted)
    {
        const size_t n = qMin<size_t>(wanted, left());
        const QByteArray part(m_at, qsizetype(n));
        m_at += n;
        return part;
    }
    size_t left() const { return size_t(m_end - m_at); }
    // The next byte, or 0 past the end.
    quint8 takeByte() { return left() ? quint8(*m_at++) : 0; }

  private:
    const char *m_at;
    const char *m_end;
};

} // namespace fuzzinput
