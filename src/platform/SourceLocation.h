#pragma once

namespace lh {

// Where a call came from. std::source_location would do, but clang 14 (our libFuzzer
// compiler) cannot compile libstdc++'s; the builtins below work in both g++ and clang.
class SourceLocation {
public:
    static constexpr SourceLocation current(const char* file = __builtin_FILE(), unsigned line = __builtin_LINE(),
        const char* function = __builtin_FUNCTION()) noexcept
    {
        return SourceLocation(file, line, function);
    }

    constexpr const char* file_name() const noexcept { return file_; }
    constexpr unsigned line() const noexcept { return line_; }
    constexpr const char* function_name() const noexcept { return function_; }

private:
    constexpr SourceLocation(const char* file, unsigned line, const char* function) noexcept
        : file_(file)
        , line_(line)
        , function_(function)
    {
    }

    const char* file_;
    unsigned line_;
    const char* function_;
};

} // namespace lh
