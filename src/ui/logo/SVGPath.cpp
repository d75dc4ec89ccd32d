#include "SVGPath.h"

#include <optional>
#include <vector>

namespace lh::SVGPath {

namespace {

struct Token {
    QChar command; // null for a number
    double number = 0;
};

bool isCommand(QChar c)
{
    return QStringLiteral("MLHVCQZ").contains(c);
}

// The matches of "[MLHVCQZ]|-?[0-9]*\.?[0-9]+", left to right.
std::vector<Token> tokenise(const QString& data)
{
    std::vector<Token> tokens;
    const auto isDigit = [&](qsizetype i) { return i < data.size() && data[i].isDigit() && data[i].unicode() < 128; };
    for (qsizetype i = 0; i < data.size();) {
        if (isCommand(data[i])) {
            tokens.push_back({ data[i] });
            ++i;
            continue;
        }
        qsizetype j = i + (data[i] == u'-' ? 1 : 0);
        const qsizetype integerStart = j;
        while (isDigit(j))
            ++j;
        qsizetype end = -1;
        if (j < data.size() && data[j] == u'.' && isDigit(j + 1)) {
            end = j + 1;
            while (isDigit(end))
                ++end;
        } else if (j > integerStart) {
            end = j;
        }
        if (end < 0) {
            ++i;
            continue;
        }
        tokens.push_back({ QChar(), data.mid(i, end - i).toDouble() });
        i = end;
    }
    return tokens;
}

class Reader {
public:
    explicit Reader(std::vector<Token> tokens)
        : tokens(std::move(tokens))
    {
    }

    QPainterPath read()
    {
        QChar command;
        while (index < tokens.size()) {
            if (!tokens[index].command.isNull())
                command = tokens[index++].command;
            if (!act(command))
                break;
        }
        return path;
    }

private:
    std::optional<double> number()
    {
        if (index >= tokens.size() || !tokens[index].command.isNull())
            return std::nullopt;
        return tokens[index++].number;
    }

    // False when an argument is missing: the path ends there.
    bool act(QChar& command)
    {
        switch (command.unicode()) {
        case u'M': {
            const auto x = number(), y = number();
            if (!x || !y)
                return false;
            path.moveTo(*x, *y);
            command = u'L';
            return true;
        }
        case u'L': {
            const auto x = number(), y = number();
            if (!x || !y)
                return false;
            path.lineTo(*x, *y);
            return true;
        }
        case u'H': {
            const auto x = number();
            if (!x)
                return false;
            path.lineTo(*x, path.currentPosition().y());
            return true;
        }
        case u'V': {
            const auto y = number();
            if (!y)
                return false;
            path.lineTo(path.currentPosition().x(), *y);
            return true;
        }
        case u'C': {
            const auto x1 = number(), y1 = number(), x2 = number(), y2 = number(), x = number(), y = number();
            if (!x1 || !y1 || !x2 || !y2 || !x || !y)
                return false;
            path.cubicTo(*x1, *y1, *x2, *y2, *x, *y);
            return true;
        }
        case u'Q': {
            const auto x1 = number(), y1 = number(), x = number(), y = number();
            if (!x1 || !y1 || !x || !y)
                return false;
            path.quadTo(*x1, *y1, *x, *y);
            return true;
        }
        default:
            path.closeSubpath();
            // A number with no command, or one after Z, has nothing to act on: skip it.
            if (index < tokens.size() && tokens[index].command.isNull())
                ++index;
            return true;
        }
    }

    std::vector<Token> tokens;
    std::size_t index = 0;
    QPainterPath path;
};

} // namespace

QPainterPath make(const QString& pathData)
{
    return Reader(tokenise(pathData)).read();
}

} // namespace lh::SVGPath
