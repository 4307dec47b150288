#include "database/coverage_report.h"

#include "runtime/text_encoding.h"

#include <algorithm>
#include <cstdio>

namespace {

// Database texts are stored in the system's encoding.
std::string utf8(const std::string& stored) {
    return from_narrow(stored).utf8_string();
}

std::string escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        switch (ch) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += ch;
        }
    }
    return out;
}

std::string format(const char* pattern, auto... values) {
    char text[256];
    std::snprintf(text, sizeof(text), pattern, values...);
    return text;
}

// Right-aligned in `width` characters (UTF-8 code points, not bytes).
std::string padded(const std::string& text, size_t width) {
    size_t chars = 0;
    for (const char ch : text)
        chars += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
    return std::string(width > chars ? width - chars : 0, ' ') + text;
}

constexpr int kStripWidth = 1000;
constexpr int kStripHeight = 24;

// The strip as SVG: the span green, each gap red and at least one unit wide.
std::string strip_svg(const coverage& c) {
    std::string svg = format(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100%%\" viewBox=\"0 0 %d %d\" "
        "preserveAspectRatio=\"none\" style=\"height:%dpx\">\n",
        kStripWidth, kStripHeight, kStripHeight);
    if (c.frames == 0) {
        svg += format("<rect width=\"%d\" height=\"%d\" fill=\"#bbbbbb\"/>\n", kStripWidth,
                      kStripHeight);
        return svg + "</svg>\n";
    }
    svg +=
        format("<rect width=\"%d\" height=\"%d\" fill=\"#2e9e44\"/>\n", kStripWidth, kStripHeight);
    const double span = std::max<double>(1, double(c.span()));
    for (const coverage_gap& g : c.gaps) {
        const double from = double(g.start - c.first) / span * kStripWidth;
        const double to = double(g.end - c.first) / span * kStripWidth;
        svg += format(
            "<rect x=\"%.2f\" width=\"%.2f\" height=\"%d\" fill=\"#d62020\">"
            "<title>%u – %u</title></rect>\n",
            from, std::max(1.0, to - from), kStripHeight, g.start, g.end);
    }
    return svg + "</svg>\n";
}

}  // namespace

std::string coverage_table(const coverage& c) {
    std::string out = coverage_summary(c) + "\n";
    if (c.gaps.empty()) return out + "пропусков нет\n";
    out += padded("№", 5) + padded("от", 13) + padded("до", 13) + padded("длина", 13) +
           padded("пропущено", 13) + "\n";
    size_t n = 0;
    for (const coverage_gap& g : c.gaps) {
        out += format("%5zu %12u %12u %12u %12llu\n", ++n, g.start, g.end, g.end - g.start,
                      static_cast<unsigned long long>(g.missing));
    }
    return out;
}

std::string coverage_report_html(const coverage& c, const ldb_info& info, const std::string& path) {
    const std::string session = escaped(utf8(info.session));
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>Отчёт о покрытии: " +
        session +
        "</title>\n<style>\n"
        "body { font-family: sans-serif; margin: 2em; }\n"
        "table { border-collapse: collapse; }\n"
        "td, th { border: 1px solid #999; padding: 0.2em 0.6em; text-align: right; }\n"
        "th { background: #eee; }\n"
        "table.info td { text-align: left; }\n"
        "</style>\n</head>\n<body>\n<h1>Отчёт о покрытии</h1>\n<table class=\"info\">\n";
    const auto row = [&](const char* name, const std::string& value) {
        html += std::string("<tr><th>") + name + "</th><td>" + value + "</td></tr>\n";
    };
    row("База", escaped(utf8(path)));
    row("Код сеанса", session);
    row("Борт", escaped(utf8(info.side)));
    row("Начало", escaped(utf8(info.time_start)));
    row("Окончание", escaped(utf8(info.time_end)));
    row("Кадров", std::to_string(c.frames));
    row("ДПП", c.frames ? format("%u – %u", c.first, c.last) : std::string("—"));
    row("Шаг", c.step ? std::to_string(c.step) : std::string("—"));
    row("Пропусков", std::to_string(c.gaps.size()));
    row("Пропущено кадров", std::to_string(c.missing()));
    row("Покрыто", format("%.1f%%", c.covered * 100.0));
    html += "</table>\n<h2>Полоса покрытия</h2>\n";
    html += format("<p>%u</p>\n", c.first) + strip_svg(c) +
            format("<p style=\"text-align:right\">%u</p>\n", c.last);
    html += "<h2>Пропуски</h2>\n";
    if (c.gaps.empty()) {
        html += "<p>Пропусков нет.</p>\n";
    } else {
        html +=
            "<table>\n<tr><th>№</th><th>От</th><th>До</th><th>Длина</th>"
            "<th>Пропущено кадров</th></tr>\n";
        size_t n = 0;
        for (const coverage_gap& g : c.gaps) {
            html +=
                format("<tr><td>%zu</td><td>%u</td><td>%u</td><td>%u</td><td>%llu</td></tr>\n", ++n,
                       g.start, g.end, g.end - g.start, static_cast<unsigned long long>(g.missing));
        }
        html += "</table>\n";
    }
    return html + "</body>\n</html>\n";
}
