#pragma once

#include <QString>

#include <cstddef>
#include <string>
#include <vector>

namespace lh {

// What an add could not turn into rows, told once on standard error: one line per reason, with
// the count and the first few names. A list of ten thousand dead links is one line, not ten
// thousand.
class NotAddedReport {
public:
    static constexpr std::size_t namesShown = 3;

    void note(const QString& reason, const std::string& name);

    bool isEmpty() const { return groups_.empty(); }
    // The lines to print, without the program's prefix, in the order the reasons were first met.
    std::vector<std::string> lines() const;
    // Each line, prefixed like every message of the program.
    void print() const;

private:
    struct Group {
        QString reason;
        std::size_t count = 0;
        std::vector<std::string> names;
    };
    std::vector<Group> groups_; // few: one per reason
};

} // namespace lh
