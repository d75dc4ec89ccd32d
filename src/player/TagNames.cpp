#include "TagNames.h"

#include <QStringList>

namespace lh {

const TagName* TagNames::find(const FileURL& url) const
{
    for (const Map* names : { &read.get(), &known.get() }) {
        if (const auto found = names->find(url); found != names->end())
            return found->second ? &*found->second : nullptr;
    }
    return nullptr;
}

std::optional<TagName> TagNames::of(const MediaTags& tags)
{
    if (!tags.title || tags.title->trimmed().isEmpty())
        return std::nullopt;
    return TagName { *tags.title, QStringList(tags.artists.begin(), tags.artists.end()).join(QStringLiteral(", ")) };
}

} // namespace lh
