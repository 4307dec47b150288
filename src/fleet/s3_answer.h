// The XML bodies an S3 store answers with: its error document and the pages
// of ListObjectsV2. Plain code over bytes, with no connection in it, safe
// from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class s3_answer_error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// <Error><Code>NoSuchBucket</Code><Message>...</Message></Error>
struct s3_error_body {
    std::string code;
    std::string message;
};

// The store's error document, or nothing when the body is not one (a proxy's
// HTML page, an empty body); never throws.
std::optional<s3_error_body> read_s3_error(std::string_view body);

struct s3_object {
    std::string key;
    uint64_t size = 0;
    std::string etag;  // without its quotes
};

struct s3_list_page {
    std::vector<s3_object> objects;
    std::vector<std::string> prefixes;  // CommonPrefixes, with a delimiter
    bool truncated = false;
    std::string next_token;  // NextContinuationToken when truncated
};

// A <ListBucketResult>; throws s3_answer_error when the body is none, or a
// size is not a number, or a truncated page gives no token to go on with.
s3_list_page read_list_page(std::string_view body);

// An ETag as the store sends it, without its quotes.
std::string unquoted_etag(std::string_view etag);
// True when an ETag is an MD5 (32 hex digits), as for objects put whole.
bool etag_is_md5(std::string_view etag);
