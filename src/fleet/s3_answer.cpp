#include "fleet/s3_answer.h"

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include <charconv>
#include <sstream>

namespace pt = boost::property_tree;

namespace {

// Element nesting the answers never exceed; deeper documents are refused
// before the recursive parser sees them.
constexpr int kMaxDepth = 16;

// Counts open elements tag by tag (comments, CDATA, declarations and quoted
// attribute values skipped), so text cannot hide a level.
bool shallow(std::string_view body) {
    const auto skip_past = [&](size_t from, std::string_view end) {
        const size_t at = body.find(end, from);
        return at == std::string_view::npos ? body.size() : at + end.size();
    };
    int depth = 0;
    size_t i = 0;
    while (i < body.size()) {
        if (body[i] != '<') {
            ++i;
        } else if (body.substr(i, 4) == "<!--") {
            i = skip_past(i + 4, "-->");
        } else if (body.substr(i, 9) == "<![CDATA[") {
            i = skip_past(i + 9, "]]>");
        } else if (body.substr(i, 2) == "<?" || body.substr(i, 2) == "<!") {
            i = skip_past(i + 2, ">");
        } else if (body.substr(i, 2) == "</") {
            --depth;
            i = skip_past(i + 2, ">");
        } else {
            char quote = 0;
            size_t j = i + 1;
            for (; j < body.size(); ++j) {
                const char c = body[j];
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '>') {
                    break;
                }
            }
            const bool self_closing = j < body.size() && body[j - 1] == '/';
            if (!self_closing && ++depth > kMaxDepth) return false;
            i = j + 1;
        }
    }
    return true;
}

pt::ptree parse(std::string_view body) {
    if (!shallow(body)) throw s3_answer_error("S3 answer nests deeper than any S3 answer");
    std::istringstream in{std::string(body)};
    pt::ptree tree;
    try {
        pt::read_xml(in, tree);
    } catch (const pt::ptree_error& e) {
        throw s3_answer_error(std::string("S3 answer is not XML: ") + e.what());
    }
    return tree;
}

uint64_t number(const std::string& text, const char* what) {
    uint64_t n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        throw s3_answer_error(std::string("S3 listing has a ") + what + " that is not a number");
    }
    return n;
}

}  // namespace

std::optional<s3_error_body> read_s3_error(std::string_view body) {
    try {
        const pt::ptree tree = parse(body);
        const auto error = tree.get_child_optional("Error");
        if (!error) return std::nullopt;
        return s3_error_body{error->get<std::string>("Code", ""),
                             error->get<std::string>("Message", "")};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

s3_list_page read_list_page(std::string_view body) {
    const pt::ptree tree = parse(body);
    const auto result = tree.get_child_optional("ListBucketResult");
    if (!result) throw s3_answer_error("S3 answer is not a listing");
    s3_list_page page;
    for (const auto& [name, node] : *result) {
        if (name == "Contents") {
            s3_object object;
            object.key = node.get<std::string>("Key", "");
            object.size = number(node.get<std::string>("Size", ""), "size");
            object.etag = unquoted_etag(node.get<std::string>("ETag", ""));
            if (object.key.empty()) throw s3_answer_error("S3 listing has an object without a key");
            page.objects.push_back(std::move(object));
        } else if (name == "CommonPrefixes") {
            page.prefixes.push_back(node.get<std::string>("Prefix", ""));
        } else if (name == "IsTruncated") {
            page.truncated = node.get_value<std::string>() == "true";
        } else if (name == "NextContinuationToken") {
            page.next_token = node.get_value<std::string>();
        }
    }
    if (page.truncated && page.next_token.empty()) {
        throw s3_answer_error("S3 listing is cut short without a continuation token");
    }
    return page;
}

std::string unquoted_etag(std::string_view etag) {
    if (etag.size() >= 2 && etag.front() == '"' && etag.back() == '"') {
        etag = etag.substr(1, etag.size() - 2);
    }
    return std::string(etag);
}

bool etag_is_md5(std::string_view etag) {
    if (etag.size() != 32) return false;
    for (const char c : etag) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}
