#include "markersearch.h"

#include <utility>

MarkerSearch::MarkerSearch(QByteArray marker)
    : m_marker(std::move(marker))
{
}

void MarkerSearch::feed(const QByteArray &chunk)
{
    if (m_found || chunk.isEmpty())
        return;
    const QByteArray window = m_tail + chunk;
    if (window.contains(m_marker)) {
        m_found = true;
        m_tail.clear();
        return;
    }
    m_tail = window.right(m_marker.size() - 1);
}
