#include "fleet/s3_client.h"

#include "fleet/bucket_layout.h"
#include "fleet/digest.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// The SHA-256 of an empty payload, for requests without a body.
constexpr const char* kEmptySha256 =
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
// Error documents and listings are small; anything larger is no S3 answer.
constexpr uint64_t kAnswerLimit = uint64_t(8) << 20;

void global_init() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool signing_safe(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
}

// RFC 3986 percent-encoding of everything but the unreserved characters, as
// the canonical query string wants it.
std::string query_encode(std::string_view text) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        if (signing_safe(c) || c == '~') {
            out += c;
        } else {
            const auto b = static_cast<unsigned char>(c);
            out += '%';
            out += digits[b >> 4];
            out += digits[b & 15];
        }
    }
    return out;
}

std::string reason(long status) {
    switch (status) {
        case 301:
            return "Moved Permanently";
        case 307:
            return "Temporary Redirect";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 408:
            return "Request Timeout";
        case 409:
            return "Conflict";
        case 411:
            return "Length Required";
        case 416:
            return "Range Not Satisfiable";
        case 429:
            return "Too Many Requests";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        case 503:
            return "Service Unavailable";
        case 504:
            return "Gateway Timeout";
        default:
            return "";
    }
}

// An answer worth trying again later.
bool transient_answer(long status, const std::string& code) {
    return status == 408 || status == 429 || status >= 500 || code == "SlowDown" ||
           code == "RequestTimeout" || code == "BadDigest" || code == "InternalError" ||
           code == "ServiceUnavailable";
}

// A transfer that failed for a reason that lasts: the address, the
// protocol, or a certificate that is not trusted.
bool lasting_failure(CURLcode code) {
    switch (code) {
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_LOGIN_DENIED:
            return true;
        default:
            return false;
    }
}

std::string checked_endpoint(std::string endpoint) {
    while (!endpoint.empty() && endpoint.back() == '/')
        endpoint.pop_back();
    const auto bad = [](const std::string& why) {
        throw std::invalid_argument("the fleet store's endpoint " + why);
    };
    size_t rest = 0;
    if (endpoint.rfind("http://", 0) == 0) {
        rest = 7;
    } else if (endpoint.rfind("https://", 0) == 0) {
        rest = 8;
    } else {
        bad("must begin with http:// or https://");
    }
    if (endpoint.size() == rest) bad("names no host");
    for (size_t i = rest; i < endpoint.size(); ++i) {
        const char c = endpoint[i];
        if (c == '@') bad("must not hold a user name or password");
        if (!(signing_safe(c) || c == ':' || c == '/' || c == '[' || c == ']')) {
            bad("has characters other than a host, a port and a plain path");
        }
    }
    return endpoint;
}

}  // namespace

std::string canonical_query(const std::map<std::string, std::string>& parameters) {
    std::string query;
    for (const auto& [name, value] : parameters) {
        if (!query.empty()) query += '&';
        query += query_encode(name) + "=" + query_encode(value);
    }
    return query;
}

s3_error::s3_error(const std::string& text, int status, std::string code, bool transient)
    : std::runtime_error(text), status_(status), code_(std::move(code)), transient_(transient) {}

struct s3_client::request {
    const char* method = "GET";
    std::string name;   // the object; empty for the bucket
    std::string query;  // canonical
    std::string_view body;
    payload_digests digests;  // of the body, for a PUT
    std::string content_type;
    std::string range;
    const progress* sent = nullptr;
    uint64_t limit = kAnswerLimit;  // largest body taken
    std::string what;               // "PUT fleet/V1/left/..." for error texts

    // State of the transfer, for the callbacks.
    size_t read_at = 0;
    bool over_limit = false;
    s3_client* client = nullptr;
    answer* got = nullptr;
};

s3_client::s3_client(s3_settings settings) : settings_(std::move(settings)) {
    settings_.endpoint = checked_endpoint(settings_.endpoint);
    if (settings_.bucket.empty() || settings_.bucket.size() > 255 ||
        !std::all_of(settings_.bucket.begin(), settings_.bucket.end(), signing_safe)) {
        throw std::invalid_argument("the bucket name \"" + settings_.bucket +
                                    "\" is not ASCII letters, digits, '.', '_' and '-'");
    }
    if (settings_.region.empty() ||
        !std::all_of(settings_.region.begin(), settings_.region.end(), signing_safe)) {
        throw std::invalid_argument("the region \"" + settings_.region +
                                    "\" is not ASCII letters, digits, '.', '_' and '-'");
    }
    global_init();
    curl_ = curl_easy_init();
    if (!curl_) throw std::runtime_error("libcurl could not make a connection handle");
}

s3_client::~s3_client() {
    curl_easy_cleanup(static_cast<CURL*>(curl_));
}

void s3_client::abort() {
    aborted_ = true;
}

void s3_client::clear_abort() {
    aborted_ = false;
}

std::string s3_client::url(const std::string& name, const std::string& query) const {
    std::string u = settings_.endpoint + "/" + settings_.bucket;
    if (!name.empty()) u += "/" + name;
    if (!query.empty()) u += "?" + query;
    return u;
}

s3_client::request s3_client::object_request(const char* method, const std::string& name) const {
    bucket_layout::check_object_name(name);
    request r;
    r.method = method;
    r.name = name;
    r.what = std::string("S3 ") + method + " " + settings_.bucket + "/" + name;
    return r;
}

s3_client::answer s3_client::perform(request& r) {
    if (aborted_) throw s3_aborted();
    CURL* c = static_cast<CURL*>(curl_);
    curl_easy_reset(c);
    answer got;
    r.client = this;
    r.got = &got;
    r.read_at = 0;
    r.over_limit = false;

    const std::string address = url(r.name, r.query);
    const std::string sigv4 = "aws:amz:" + settings_.region + ":s3";
    char error_text[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_URL, address.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error_text);
    curl_easy_setopt(c, CURLOPT_AWS_SIGV4, sigv4.c_str());
    // Apart, so that a colon in the access key stays the key's.
    curl_easy_setopt(c, CURLOPT_USERNAME, settings_.access_key.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, settings_.secret_key.c_str());
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(settings_.connect_timeout.count()));
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME,
                     std::max(1L, long((settings_.stall_timeout.count() + 999) / 1000)));
    curl_easy_setopt(c, CURLOPT_TCP_KEEPALIVE, 1L);
    if (!settings_.ca_file.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, settings_.ca_file.c_str());
    if (settings_.max_rate > 0) {
        curl_easy_setopt(c, CURLOPT_MAX_SEND_SPEED_LARGE, curl_off_t(settings_.max_rate * 1024));
    }

    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &r);
    curl_easy_setopt(
        c, CURLOPT_XFERINFOFUNCTION,
        +[](void* p, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent_now) -> int {
            auto& q = *static_cast<request*>(p);
            if (q.client->aborted_) return 1;
            if (q.sent && *q.sent) (*q.sent)(uint64_t(sent_now), q.body.size());
            return 0;
        });
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &r);
    curl_easy_setopt(
        c, CURLOPT_HEADERFUNCTION, +[](char* data, size_t, size_t n, void* p) -> size_t {
            auto& q = *static_cast<request*>(p);
            std::string_view line(data, n);
            if (line.rfind("HTTP/", 0) == 0) q.got->etag.clear();
            const size_t colon = line.find(':');
            if (colon == std::string_view::npos) return n;
            std::string field(line.substr(0, colon));
            std::transform(field.begin(), field.end(), field.begin(),
                           [](unsigned char ch) { return char(std::tolower(ch)); });
            if (field != "etag") return n;
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
                value.remove_prefix(1);
            while (!value.empty() &&
                   (value.back() == '\r' || value.back() == '\n' || value.back() == ' '))
                value.remove_suffix(1);
            q.got->etag = unquoted_etag(value);
            return n;
        });
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &r);
    curl_easy_setopt(
        c, CURLOPT_WRITEFUNCTION, +[](char* data, size_t, size_t n, void* p) -> size_t {
            auto& q = *static_cast<request*>(p);
            if (q.got->body.size() + n > q.limit) {
                q.over_limit = true;
                return 0;
            }
            q.got->body.append(data, n);
            return n;
        });

    curl_slist* headers = nullptr;
    const auto add = [&](const std::string& h) { headers = curl_slist_append(headers, h.c_str()); };
    const std::string method = r.method;
    if (method == "PUT") {
        add("x-amz-content-sha256: " + r.digests.sha256_hex);
        add("Content-MD5: " + r.digests.md5_base64);
        add("Content-Type: " + r.content_type);
        // No "Expect:" to turn off 100-continue: libcurl would sign the header
        // it then leaves out, and the store would refuse the signature.
        curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, curl_off_t(r.body.size()));
        curl_easy_setopt(c, CURLOPT_READDATA, &r);
        curl_easy_setopt(
            c, CURLOPT_READFUNCTION, +[](char* out, size_t size, size_t n, void* p) -> size_t {
                auto& q = *static_cast<request*>(p);
                const size_t take = std::min(size * n, q.body.size() - q.read_at);
                std::memcpy(out, q.body.data() + q.read_at, take);
                q.read_at += take;
                return take;
            });
        curl_easy_setopt(c, CURLOPT_SEEKDATA, &r);
        curl_easy_setopt(
            c, CURLOPT_SEEKFUNCTION, +[](void* p, curl_off_t offset, int origin) -> int {
                auto& q = *static_cast<request*>(p);
                if (origin != SEEK_SET || offset < 0 || uint64_t(offset) > q.body.size()) {
                    return CURL_SEEKFUNC_CANTSEEK;
                }
                q.read_at = size_t(offset);
                return CURL_SEEKFUNC_OK;
            });
    } else {
        add(std::string("x-amz-content-sha256: ") + kEmptySha256);
        if (method == "HEAD") curl_easy_setopt(c, CURLOPT_NOBODY, 1L);
        if (method == "DELETE") curl_easy_setopt(c, CURLOPT_CUSTOMREQUEST, "DELETE");
    }
    if (!r.range.empty()) add("Range: " + r.range);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);

    const CURLcode result = curl_easy_perform(c);
    curl_slist_free_all(headers);
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t length = -1;
    curl_easy_getinfo(c, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    // The handle keeps pointers to this call's buffers; none may outlive it.
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, nullptr);
    got.status = status;
    if (length >= 0) got.length = uint64_t(length);

    if (result == CURLE_ABORTED_BY_CALLBACK && aborted_) throw s3_aborted();
    if (result == CURLE_WRITE_ERROR && r.over_limit) {
        throw s3_error(r.what + ": the answer is larger than the " + std::to_string(r.limit) +
                           " bytes expected",
                       int(status), "", false);
    }
    if (result != CURLE_OK) {
        std::string why = curl_easy_strerror(result);
        if (error_text[0]) why += std::string(": ") + error_text;
        throw s3_error(r.what + ": " + why, 0, "", !lasting_failure(result));
    }
    return got;
}

void s3_client::fail(const request& r, const answer& a) const {
    std::string code;
    std::string text = r.what + ": the store answered " + std::to_string(a.status);
    if (const auto error = read_s3_error(a.body)) {
        code = error->code;
        if (!code.empty()) text += " " + code;
        if (!error->message.empty()) text += ": " + error->message;
    } else if (const std::string phrase = reason(a.status); !phrase.empty()) {
        text += " " + phrase;
    }
    throw s3_error(text, int(a.status), code, transient_answer(a.status, code));
}

std::string s3_client::put_object(const std::string& name, std::string_view body,
                                  const std::string& content_type, const progress& sent,
                                  const payload_digests* digests) {
    request r = object_request("PUT", name);
    r.body = body;
    r.digests = digests ? *digests : digests_of(body);
    r.content_type = content_type;
    r.sent = &sent;
    const answer a = perform(r);
    if (a.status != 200) fail(r, a);
    if (etag_is_md5(a.etag)) {
        std::string etag = a.etag;
        std::transform(etag.begin(), etag.end(), etag.begin(),
                       [](unsigned char ch) { return char(std::tolower(ch)); });
        if (etag != r.digests.md5_hex) {
            throw s3_error(
                r.what + ": the store's ETag " + a.etag + " is not the MD5 of the bytes sent",
                int(a.status), "BadDigest", true);
        }
    }
    return a.etag;
}

std::string s3_client::get_object(const std::string& name, uint64_t limit) {
    request r = object_request("GET", name);
    r.limit = std::max(limit, kAnswerLimit);
    answer a = perform(r);
    if (a.status != 200) fail(r, a);
    if (a.body.size() > limit) {
        throw s3_error(
            r.what + ": the object is larger than the " + std::to_string(limit) + " bytes expected",
            int(a.status), "", false);
    }
    return std::move(a.body);
}

std::string s3_client::get_range(const std::string& name, uint64_t offset, uint64_t length) {
    request r = object_request("GET", name);
    r.what += " bytes " + std::to_string(offset) + "+" + std::to_string(length);
    if (length == 0) return {};
    r.range = "bytes=" + std::to_string(offset) + "-" + std::to_string(offset + length - 1);
    r.limit = std::max(length, kAnswerLimit);
    answer a = perform(r);
    if (a.status != 206 && a.status != 200) fail(r, a);
    // A store that ignores the range answers the whole object with 200.
    if (a.status != 206 || a.body.size() != length) {
        throw s3_error(r.what + ": the store did not answer exactly the range asked for",
                       int(a.status), "", false);
    }
    return std::move(a.body);
}

std::optional<s3_object> s3_client::head_object(const std::string& name) {
    request r = object_request("HEAD", name);
    const answer a = perform(r);
    if (a.status == 404) return std::nullopt;
    if (a.status != 200) fail(r, a);
    if (!a.length) throw s3_error(r.what + ": the answer has no Content-Length", 200, "", false);
    return s3_object{name, *a.length, a.etag};
}

void s3_client::delete_object(const std::string& name) {
    request r = object_request("DELETE", name);
    const answer a = perform(r);
    if (a.status != 204 && a.status != 200 && a.status != 404) fail(r, a);
}

s3_list_page s3_client::list(const std::string& prefix, const std::string& delimiter) {
    s3_list_page all;
    std::string token;
    for (;;) {
        std::map<std::string, std::string> parameters{{"list-type", "2"}};
        if (!prefix.empty()) parameters["prefix"] = prefix;
        if (!delimiter.empty()) parameters["delimiter"] = delimiter;
        if (!token.empty()) parameters["continuation-token"] = token;
        request r;
        r.query = canonical_query(parameters);
        r.what = "S3 list of " + settings_.bucket + "/" + prefix;
        const answer a = perform(r);
        if (a.status != 200) fail(r, a);
        s3_list_page page;
        try {
            page = read_list_page(a.body);
        } catch (const s3_answer_error& e) {
            throw s3_error(r.what + ": " + e.what(), int(a.status), "", false);
        }
        all.objects.insert(all.objects.end(), page.objects.begin(), page.objects.end());
        all.prefixes.insert(all.prefixes.end(), page.prefixes.begin(), page.prefixes.end());
        if (!page.truncated) return all;
        if (page.next_token == token) {
            throw s3_error(r.what + ": the store gives the same continuation token again",
                           int(a.status), "", false);
        }
        token = page.next_token;
    }
}

void s3_client::head_bucket() {
    request r;
    r.method = "HEAD";
    r.what = "S3 HEAD of the bucket " + settings_.bucket;
    const answer a = perform(r);
    if (a.status == 404) {
        throw s3_error(r.what + ": the store answered 404: no such bucket", 404, "NoSuchBucket",
                       false);
    }
    if (a.status != 200) fail(r, a);
}
