#include "AccessibleText.h"

#include <algorithm>

namespace lh {

void AccessibleText::selection(int, int* startOffset, int* endOffset) const
{
    *startOffset = 0;
    *endOffset = 0;
}

// Offsets outside the text are clamped, as readers ask for (0, -1) to mean "all of it".
QString AccessibleText::text(int startOffset, int endOffset) const
{
    const QString all = accessibleText();
    const int size = int(all.size());
    const int start = std::clamp(startOffset, 0, size);
    const int end = endOffset < 0 ? size : std::clamp(endOffset, start, size);
    return all.mid(start, end - start);
}

int AccessibleText::offsetAtPoint(const QPoint& point) const
{
    return accessibleTextRect().contains(point) ? 0 : -1;
}

QString AccessibleText::attributes(int offset, int* startOffset, int* endOffset) const
{
    *startOffset = offset;
    *endOffset = offset;
    return {};
}

} // namespace lh
