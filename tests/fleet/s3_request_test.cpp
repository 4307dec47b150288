// S3 requests without a store: what goes on the wire, how answers are read,
// and how a refusing or silent peer ends. Peers are real sockets on
// 127.0.0.1; whether a store accepts the requests is the engine suite's.
#include "fleet/digest.h"
#include "fleet/s3_answer.h"
#include "fleet/s3_client.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

using namespace std::chrono_literals;

const char* const kSecret = "s3cr3t/KEY+never-shown";

// A listening socket on 127.0.0.1. With an answer, it takes one request
// (its head, "100 Continue" when asked, and a Content-Length body), keeps
// it and answers; without one, it accepts and stays silent.
class peer {
  public:
    explicit peer(std::string answer = {}) : answer_(std::move(answer)) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 4);
        socklen_t n = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~peer() {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        thread_.join();
        if (client_ >= 0) ::close(client_);
    }
    std::string endpoint() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::string request() { return got_.get_future().get(); }

  private:
    void serve() {
        client_ = ::accept(fd_, nullptr, nullptr);
        if (client_ < 0 || answer_.empty()) return;
        std::string in;
        char buffer[65536];
        size_t need = std::string::npos;
        while (in.size() < need) {
            const ssize_t n = ::recv(client_, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            in.append(buffer, size_t(n));
            const size_t head = in.find("\r\n\r\n");
            if (need == std::string::npos && head != std::string::npos) {
                size_t length = 0;
                const size_t at = in.find("Content-Length: ");
                if (at != std::string::npos && at < head) length = std::stoul(in.substr(at + 16));
                need = head + 4 + length;
                if (in.find("Expect: 100-continue") < head) {
                    ::send(client_, "HTTP/1.1 100 Continue\r\n\r\n", 25, MSG_NOSIGNAL);
                }
            }
        }
        got_.set_value(in);
        ::send(client_, answer_.data(), answer_.size(), MSG_NOSIGNAL);
    }

    std::string answer_;
    int fd_ = -1;
    int client_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::promise<std::string> got_;
};

s3_settings settings_for(const std::string& endpoint) {
    s3_settings s;
    s.endpoint = endpoint;
    s.bucket = "fleet";
    s.access_key = "AK:with-colon";
    s.secret_key = kSecret;
    s.connect_timeout = 2s;
    s.stall_timeout = 1s;
    return s;
}

std::string header(const std::string& request, const std::string& name) {
    const size_t at = request.find("\r\n" + name + ": ");
    if (at == std::string::npos) return "(none)";
    const size_t from = at + name.size() + 4;
    return request.substr(from, request.find("\r\n", from) - from);
}

std::string error_of(const std::function<void()>& request) {
    try {
        request();
    } catch (const s3_error& e) {
        return e.what();
    }
    return "no error";
}

}  // namespace

TEST(s3_request, query_strings_are_canonical_before_signing) {
    EXPECT_EQ(canonical_query({{"prefix", "V1/left/"},
                               {"list-type", "2"},
                               {"delimiter", "/"},
                               {"continuation-token", "1 a+b=~c"}}),
              "continuation-token=1%20a%2Bb%3D~c&delimiter=%2F&list-type=2&prefix=V1%2Fleft%2F");
}

TEST(s3_request, settings_that_signing_cannot_carry_are_refused) {
    for (const char* endpoint : {"ftp://h", "127.0.0.1:80", "http://user:pw@h", "http://",
                                 "http://h/a b", "http://h/?x=1"}) {
        EXPECT_THROW(s3_client(settings_for(endpoint)), std::invalid_argument) << endpoint;
    }
    s3_settings s = settings_for("https://store.example:8443/s3/");
    EXPECT_EQ(s3_client(s).settings().endpoint, "https://store.example:8443/s3");
    s.bucket = "bad bucket";
    EXPECT_THROW(s3_client{s}, std::invalid_argument);
    s3_client client(settings_for("http://127.0.0.1:9"));
    EXPECT_THROW(client.put_object("V1/left/ü.bin", "x", "text/plain"), std::invalid_argument);
    EXPECT_THROW(client.get_object("V1//x", 1), std::invalid_argument);
    EXPECT_THROW(client.head_object("V1/../x"), std::invalid_argument);
}

TEST(s3_request, a_put_carries_its_real_digests_signed_and_no_secret) {
    peer store("HTTP/1.1 200 OK\r\nETag: \"" + md5_hex("frame bytes") +
               "\"\r\nContent-Length: 0\r\n\r\n");
    s3_client client(settings_for(store.endpoint()));
    EXPECT_EQ(client.put_object("V1/left/20240305T140709/chunk-000000.bin", "frame bytes",
                                "application/octet-stream"),
              md5_hex("frame bytes"));
    const std::string r = store.request();
    EXPECT_EQ(r.substr(0, r.find("\r\n")),
              "PUT /fleet/V1/left/20240305T140709/chunk-000000.bin HTTP/1.1");
    EXPECT_EQ(header(r, "x-amz-content-sha256"), sha256_hex("frame bytes"));
    EXPECT_EQ(header(r, "Content-MD5"), digests_of("frame bytes").md5_base64);
    EXPECT_EQ(header(r, "Date"), "(none)");
    EXPECT_NE(header(r, "X-Amz-Date"), "(none)");
    const std::string authorization = header(r, "Authorization");
    EXPECT_EQ(authorization.rfind("AWS4-HMAC-SHA256 Credential=AK:with-colon/", 0), 0u)
        << authorization;
    EXPECT_NE(authorization.find("/us-east-1/s3/aws4_request"), std::string::npos);
    // Signed: exactly the headers sent (a header signed but left out fails).
    EXPECT_NE(authorization.find(", SignedHeaders=content-md5;content-type;host;"
                                 "x-amz-content-sha256;x-amz-date, Signature="),
              std::string::npos)
        << authorization;
    EXPECT_EQ(r.find(kSecret), std::string::npos);
    EXPECT_EQ(r.substr(r.size() - 11), "frame bytes");
}

TEST(s3_request, an_etag_that_is_not_the_md5_sent_is_an_error) {
    peer store("HTTP/1.1 200 OK\r\nETag: \"" + md5_hex("other") +
               "\"\r\nContent-Length: 0\r\n\r\n");
    s3_client client(settings_for(store.endpoint()));
    const std::string text = error_of([&] { client.put_object("a/b.bin", "frame", "x/y"); });
    EXPECT_NE(text.find("S3 PUT fleet/a/b.bin: the store's ETag"), std::string::npos) << text;
}

TEST(s3_request, a_listing_asks_in_canonical_order_and_an_error_names_the_store_code) {
    peer store(
        "HTTP/1.1 403 Forbidden\r\nContent-Type: application/xml\r\nContent-Length: 120\r\n\r\n"
        "<?xml version=\"1.0\"?><Error><Code>SignatureDoesNotMatch</Code><Message>bad sig"
        "</Message><RequestId>1</RequestId></Error>  ");
    s3_client client(settings_for(store.endpoint()));
    const std::string text = error_of([&] { client.list("V1/", "/"); });
    EXPECT_EQ(text, "S3 list of fleet/V1/: the store answered 403 SignatureDoesNotMatch: bad sig");
    const std::string r = store.request();
    EXPECT_EQ(r.substr(0, r.find("\r\n")),
              "GET /fleet?delimiter=%2F&list-type=2&prefix=V1%2F HTTP/1.1");
    EXPECT_EQ(header(r, "x-amz-content-sha256"), sha256_hex(""));
}

TEST(s3_request, a_refusing_or_silent_endpoint_fails_in_time_with_a_clear_text) {
    int closed_port = 0;
    {
        peer gone;  // bound once, so the port is one nobody listens on now
        closed_port = std::stoi(gone.endpoint().substr(17));
    }
    s3_client refused(settings_for("http://127.0.0.1:" + std::to_string(closed_port)));
    try {
        refused.get_object("V1/x.bin", 10);
        FAIL();
    } catch (const s3_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("S3 GET fleet/V1/x.bin: Couldn't connect", 0), 0u)
            << e.what();
        EXPECT_TRUE(e.transient());
        EXPECT_EQ(std::string(e.what()).find(kSecret), std::string::npos);
    }

    peer silent;
    s3_client client(settings_for(silent.endpoint()));
    const auto start = std::chrono::steady_clock::now();
    const std::string text = error_of([&] { client.head_object("V1/x.bin"); });
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_NE(text.find("S3 HEAD fleet/V1/x.bin: Timeout was reached"), std::string::npos) << text;
}

TEST(s3_request, abort_ends_a_transfer_at_once_from_another_thread) {
    peer silent;
    s3_settings s = settings_for(silent.endpoint());
    s.stall_timeout = 60s;
    s3_client client(s);
    std::thread stopper([&] {
        std::this_thread::sleep_for(300ms);
        client.abort();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(client.get_object("V1/x.bin", 10), s3_aborted);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    stopper.join();
    EXPECT_THROW(client.head_bucket(), s3_aborted);  // until cleared
    client.clear_abort();
    EXPECT_FALSE(client.aborted());
}

TEST(s3_answer, error_documents_and_listings_are_read) {
    const auto error = read_s3_error(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Error><Code>NoSuchKey</Code>"
        "<Message>gone &amp; away</Message></Error>");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, "NoSuchKey");
    EXPECT_EQ(error->message, "gone & away");
    EXPECT_FALSE(read_s3_error("<html>502</html>").has_value());
    EXPECT_FALSE(read_s3_error("").has_value());

    const s3_list_page page = read_list_page(
        "<?xml version=\"1.0\"?><ListBucketResult "
        "xmlns=\"http://s3.amazonaws.com/doc/2006-03-01/\">"
        "<Name>fleet</Name><Prefix>V1/</Prefix><KeyCount>2</KeyCount><IsTruncated>true</"
        "IsTruncated>"
        "<NextContinuationToken>tok/1=</NextContinuationToken>"
        "<Contents><Key>V1/a.bin</Key><Size>16777216</"
        "Size><ETag>&quot;0123456789abcdef0123456789abcdef&quot;</ETag></Contents>"
        "<Contents><Key>V1/b</Key><Size>0</Size><ETag>\"x-2\"</ETag></Contents>"
        "<CommonPrefixes><Prefix>V1/left/</Prefix></CommonPrefixes></ListBucketResult>");
    ASSERT_EQ(page.objects.size(), 2u);
    EXPECT_EQ(page.objects[0].key, "V1/a.bin");
    EXPECT_EQ(page.objects[0].size, 16777216u);
    EXPECT_TRUE(etag_is_md5(page.objects[0].etag));
    EXPECT_FALSE(etag_is_md5(page.objects[1].etag));
    EXPECT_EQ(page.prefixes, std::vector<std::string>{"V1/left/"});
    EXPECT_TRUE(page.truncated);
    EXPECT_EQ(page.next_token, "tok/1=");

    for (const char* bad :
         {"<ListBucketResult><IsTruncated>true</IsTruncated></ListBucketResult>",
          "<ListBucketResult><Contents><Key>k</Key><Size>-1</Size></Contents></ListBucketResult>",
          "<ListBucketResult><Contents><Size>1</Size></Contents></ListBucketResult>", "<Error/>",
          "not xml", "<ListBucketResult>"}) {
        EXPECT_THROW(read_list_page(bad), s3_answer_error) << bad;
    }
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    EXPECT_THROW(read_list_page(deep), s3_answer_error);
}
