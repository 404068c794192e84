#pragma once

#include <QByteArray>

// Looks for a marker in a stream that arrives in chunks, without keeping the
// stream: only the last marker-length-minus-one bytes are carried over, so a
// marker split across two reads is still found and memory stays flat however
// long the tool talks.
//
// The search is on bytes: the markers are ASCII, and the local 8-bit codecs
// that tool output is decoded with map ASCII bytes to the same characters.
class MarkerSearch
{
public:
    explicit MarkerSearch(QByteArray marker);

    void feed(const QByteArray &chunk);
    bool found() const { return m_found; }

private:
    QByteArray m_marker;
    QByteArray m_tail;
    bool m_found = false;
};
