#pragma once
// Access to TWIL's inner state for the code in this folder that rewrites a library behind it
// (the record splice), so that the component matches the files afterwards.

#include "mywil.h"

#include <QFile>

class TWILPrivate
{
  public:
    // Count and entries as the files now hold them.
    static void setTable(TWIL &wil, const QVector<qint32> &entries)
    {
        wil.m_imageCount = int(entries.size());
        wil.m_headerCount = int(entries.size());
        wil.m_indexCount = int(entries.size());
        wil.m_entryBeyondEnd = -1;
        wil.Offsets = entries;
        wil.Offsets.append(0);
    }
    // Placements follow their images: `removeCount` from `first` are replaced by `inserted`.
    static void splicePlacements(TWIL &wil, int first, int removeCount,
                                 const QVector<QPair<qint32, qint32>> &inserted)
    {
        auto fix = [&](QVector<qint32> &cache, bool x) {
            if (cache.size() < first)
                cache.resize(first);
            cache.remove(first, qMin<qsizetype>(removeCount, cache.size() - first));
            QVector<qint32> add;
            for (const auto &p : inserted)
                add.append(x ? p.first : p.second);
            cache.insert(first, add.size(), 0);
            std::copy(add.begin(), add.end(), cache.begin() + first);
        };
        fix(wil.m_placementX, true);
        fix(wil.m_placementY, false);
    }
    // The library file's size after a write the component did not make itself.
    static void setLibrarySize(TWIL &wil, qint64 size) { wil.m_knownSize = size; }
    static qint64 fileSize(const TWIL &wil)
    {
        return wil.LibraryStream ? wil.LibraryStream->size() : 0;
    }
};
