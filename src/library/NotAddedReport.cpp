#include "NotAddedReport.h"

#include <algorithm>
#include <cstdio>

namespace lh {

void NotAddedReport::note(const QString& reason, const std::string& name)
{
    auto group = std::ranges::find(groups_, reason, &Group::reason);
    if (group == groups_.end())
        group = groups_.insert(groups_.end(), Group { reason, 0, {} });
    if (++group->count <= namesShown)
        group->names.push_back(name);
}

std::vector<std::string> NotAddedReport::lines() const
{
    std::vector<std::string> lines;
    for (const Group& group : groups_) {
        const std::string reason = group.reason.toStdString();
        if (group.count == 1) {
            lines.push_back("not added " + group.names.front() + ": " + reason);
            continue;
        }
        std::string names;
        for (const std::string& name : group.names)
            names += (names.empty() ? "" : ", ") + name;
        if (group.count > group.names.size())
            names += ", …";
        lines.push_back("not added " + std::to_string(group.count) + " entries (" + reason + "): " + names);
    }
    return lines;
}

void NotAddedReport::print() const
{
    for (const std::string& line : lines())
        std::fprintf(stderr, "larkhaven: %s\n", line.c_str());
}

} // namespace lh
