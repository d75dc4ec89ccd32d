#include "TrackName.h"

#include <QRegularExpression>

namespace lh::TrackName {

std::optional<QString> year(const QString& text)
{
    // Unicode properties: \d and \s match what the platform's regular expressions match.
    static const QRegularExpression trailingYear(QStringLiteral("\\s*\\((\\d{4})\\)\\s*$"),
        QRegularExpression::UseUnicodePropertiesOption);
    const QRegularExpressionMatch match = trailingYear.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1);
}

} // namespace lh::TrackName
