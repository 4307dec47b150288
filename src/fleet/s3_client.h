// Requests to one bucket of an S3-compatible object store (Ceph's RADOS
// Gateway, MinIO, AWS S3), over HTTP or HTTPS, signed with AWS signature
// version 4 by libcurl. Path-style addresses: <endpoint>/<bucket>/<object>.
//
// Within the limits of that signing (libcurl 7.88): object names keep to
// ASCII letters, digits and "._-/" (checked before anything is sent), query
// strings are built in canonical order, the payload's real SHA-256 is sent in
// x-amz-content-sha256, and no date header is set here.
//
// Every failure throws: s3_error for an answer that is not a success or a
// transfer that failed (its text names the operation, the object and the
// store's code and message), s3_aborted once abort() was called. No text
// ever holds the secret key, nor the access key.
//
// One thread makes requests at a time (the connection is reused from one to
// the next); abort() may be called from any thread and ends a transfer in
// progress within about a second, whatever the network does.
#pragma once

#include "fleet/digest.h"
#include "fleet/s3_answer.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct s3_settings {
    std::string endpoint;  // "http://host:port" or "https://host:port", maybe with a path
    std::string region = "us-east-1";
    std::string bucket;
    std::string access_key;
    std::string secret_key;
    std::string ca_file;    // certificates to trust for HTTPS; empty: the system's
    uint64_t max_rate = 0;  // KB/s sent at most; 0: no limit
    std::chrono::milliseconds connect_timeout{10000};
    // A transfer that moves no byte for this long fails ("hangs").
    std::chrono::milliseconds stall_timeout{30000};
};

// The query string of name=value pairs in the canonical form the signature
// covers: sorted by name, everything but A-Z a-z 0-9 "-._~" percent-encoded.
std::string canonical_query(const std::map<std::string, std::string>& parameters);

class s3_error : public std::runtime_error {
  public:
    // `status` is the HTTP status, 0 when no answer came.
    s3_error(const std::string& text, int status, std::string code, bool transient);
    int status() const { return status_; }
    const std::string& code() const { return code_; }
    // Worth trying again later: no answer (refused, timed out, cut off), a
    // store that is busy or failing (408, 429, 5xx, SlowDown), a body that
    // arrived changed (BadDigest). Not: credentials, a missing bucket, a
    // certificate not trusted, an answer that is no S3 answer.
    bool transient() const { return transient_; }

  private:
    int status_;
    std::string code_;
    bool transient_;
};

class s3_aborted : public std::runtime_error {
  public:
    s3_aborted() : std::runtime_error("S3 transfer aborted") {}
};

class s3_client {
  public:
    // Checks the settings (a scheme of http or https, no user or password in
    // the endpoint, a bucket name S3 signing carries); throws
    // std::invalid_argument saying what is wrong.
    explicit s3_client(s3_settings settings);
    ~s3_client();
    s3_client(const s3_client&) = delete;
    s3_client& operator=(const s3_client&) = delete;

    const s3_settings& settings() const { return settings_; }

    // Bytes sent so far and in all, called while a body goes out.
    using progress = std::function<void(uint64_t sent, uint64_t total)>;

    // PUT with Content-MD5 (the store refuses a body that arrives changed);
    // where the answer's ETag is an MD5 it must be the body's. Returns the
    // ETag without quotes. `digests`, when given, are the body's own (they
    // are computed here otherwise).
    std::string put_object(const std::string& name, std::string_view body,
                           const std::string& content_type, const progress& sent = {},
                           const payload_digests* digests = nullptr);
    // The whole object; an object larger than `limit` bytes is refused.
    std::string get_object(const std::string& name, uint64_t limit);
    // `length` bytes from `offset` (one ranged GET); anything but exactly
    // those bytes is an error.
    std::string get_range(const std::string& name, uint64_t offset, uint64_t length);
    // Size and ETag, or nothing when there is no such object.
    std::optional<s3_object> head_object(const std::string& name);
    // Removes the object; one that is not there is no error.
    void delete_object(const std::string& name);
    // Every object under `prefix` (all pages); with a delimiter, the common
    // prefixes one level down as well.
    s3_list_page list(const std::string& prefix, const std::string& delimiter = {});
    // Throws unless the bucket is there and these credentials may use it.
    void head_bucket();

    // Any thread. Ends the transfer in progress and makes every request throw
    // s3_aborted until clear_abort().
    void abort();
    void clear_abort();
    bool aborted() const { return aborted_; }

  private:
    struct request;
    struct answer {
        long status = 0;
        std::string body;
        std::string etag;
        std::optional<uint64_t> length;  // Content-Length of the answer
    };
    // A request for the object `name` (checked), its texts naming both.
    request object_request(const char* method, const std::string& name) const;
    answer perform(request& r);
    [[noreturn]] void fail(const request& r, const answer& a) const;
    std::string url(const std::string& name, const std::string& query = {}) const;

    s3_settings settings_;
    void* curl_;  // the connection's handle, reused; only the requesting thread
    std::atomic<bool> aborted_{false};
};
