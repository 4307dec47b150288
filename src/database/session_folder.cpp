#include "database/session_folder.h"

#include <filesystem>

std::string session_folder_name(std::time_t opened) {
    std::tm local{};
    localtime_r(&opened, &local);
    char text[32];
    std::strftime(text, sizeof(text), "%Y.%m.%d %H.%M.%S", &local);
    return text;
}

std::optional<std::tm> parse_session_folder_name(std::string_view name) {
    // Digits where the pattern has them, separators where it has them.
    static constexpr std::string_view shape = "dddd.dd.dd dd.dd.dd";
    if (name.size() != shape.size()) return std::nullopt;
    for (size_t i = 0; i < shape.size(); ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (shape[i] == 'd' ? !digit : name[i] != shape[i]) return std::nullopt;
    }
    const auto number = [&](size_t at, size_t digits) {
        int n = 0;
        for (size_t i = at; i < at + digits; ++i)
            n = n * 10 + (name[i] - '0');
        return n;
    };
    std::tm t{};
    t.tm_year = number(0, 4) - 1900;
    t.tm_mon = number(5, 2) - 1;
    t.tm_mday = number(8, 2);
    t.tm_hour = number(11, 2);
    t.tm_min = number(14, 2);
    t.tm_sec = number(17, 2);
    t.tm_isdst = -1;
    static constexpr int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int year = t.tm_year + 1900;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_mday > days[t.tm_mon] ||
        (t.tm_mon == 1 && t.tm_mday == 29 && !leap) || t.tm_hour > 23 || t.tm_min > 59 ||
        t.tm_sec > 60) {
        return std::nullopt;
    }
    return t;
}

std::optional<std::time_t> session_folder_time(const std::string& path) {
    auto local = parse_session_folder_name(std::filesystem::path(path).filename().string());
    if (!local) return std::nullopt;
    const std::time_t t = std::mktime(&*local);
    if (t == -1) return std::nullopt;
    return t;
}
