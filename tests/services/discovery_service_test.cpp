// Discovery against floods and amplification, on real sockets of 127.0.0.1.
#include "runtime/configuration.h"
#include "services/discovery_service.h"
#include "services/service_fixture.h"
#include "support/wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>

using namespace std::chrono_literals;

namespace {

const std::string kQuery = R"({"type":"query","service":"any"})";

class discovery_service_test : public service_fixture {
  protected:
    void SetUp() override {
        service_fixture::SetUp();
        udp_port_ = free_udp_port();
        start(new discovery_service(link_, udp_port_));
    }
    // Rows of either colour whose text contains `part`.
    size_t any_rows_with(const wxString& part) {
        return rows_with(evt_log_info, part) + rows_with(evt_log_error, part);
    }
    unsigned short udp_port_ = 0;
    udp_client client_;
};

// A query of `size` bytes whose tree nests `depth` objects: its indented
// answer grows with the square of the depth.
std::string nested_query(int depth) {
    std::string q = R"({"type":"query","service":"any","n":)";
    for (int i = 0; i < depth; ++i)
        q += R"({"a":)";
    q += "1";
    for (int i = 0; i < depth; ++i)
        q += "}";
    return q + "}";
}

}  // namespace

TEST_F(discovery_service_test, ten_thousand_bad_datagrams_leave_a_few_rows_and_answers_go_on) {
    const auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < 10000; ++i)
        client_.send(R"({"type":"query",)", udp_port_);  // not JSON
    // Datagrams are taken in order: once this is answered, the flood is through.
    std::optional<std::string> answer;
    ASSERT_TRUE(wait_until(
        [&] { return (answer = client_.ask(kQuery, udp_port_, 200ms)).has_value(); }, 30s));
    EXPECT_NE(answer->find("undercam_left"), std::string::npos);
    ASSERT_TRUE(wait_for_row(evt_log_error, "more rows \"Bad discovery datagram\" from 127.0.0.1"));
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - begin)
            .count();
    // Three rows and one summary a second at the most, not one row a datagram.
    EXPECT_LE(texts(evt_log_error).size(), static_cast<size_t>(4 * (seconds + 2)));
    // The rows and the summaries account for every bad datagram that arrived.
    size_t told = 0;
    for (const auto& row : texts(evt_log_error)) {
        long n = 0;
        told += row.BeforeFirst(' ').ToLong(&n) && row.Contains("more rows") ? n : 1;
    }
    EXPECT_LE(told, 10000u);
    EXPECT_GT(told, 100u);
}

TEST_F(discovery_service_test, an_amplifying_query_is_answered_by_nothing) {
    const std::string query = nested_query(14);
    ASSERT_LE(query.size(), kDiscoveryDatagramSize);
    const auto big = discovery_answer(query, "undercam_left");
    ASSERT_TRUE(big);
    ASSERT_GT(big->size(), 4 * query.size());  // what would have gone out
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(client_.ask(query, udp_port_, 300ms));
    // One row for the burst.
    EXPECT_EQ(any_rows_with("withheld"), 1u);
    // The plain query (1.8 times) and one with a further member stay answered.
    EXPECT_TRUE(client_.ask(kQuery, udp_port_));
    EXPECT_TRUE(client_.ask(R"({"type":"query","service":"any","id":"7"})", udp_port_));
    EXPECT_TRUE(answer_size_allowed(kQuery.size(), 58));
    EXPECT_FALSE(answer_size_allowed(100, 401));
    EXPECT_FALSE(answer_size_allowed(128, 513));
}

TEST_F(discovery_service_test, each_answer_carries_its_own_query_however_fast_they_come) {
    std::set<std::string> sent, answered;
    for (int i = 0; i < 200; ++i) {
        const std::string id = std::to_string(1000 + i);
        sent.insert(id);
        client_.send(R"({"type":"query","service":"any","id":")" + id + "\"}", udp_port_);
    }
    while (auto answer = client_.receive(1s)) {
        const auto at = answer->find("\"id\": \"");
        ASSERT_NE(at, std::string::npos) << *answer;
        const std::string id = answer->substr(at + 7, 4);
        EXPECT_TRUE(sent.count(id)) << id;
        EXPECT_TRUE(answered.insert(id).second) << "answered twice: " << id;
        EXPECT_EQ(*answer,
                  "{\n    \"type\": \"answer\",\n    \"service\": \"undercam_left\",\n"
                  "    \"id\": \"" +
                      id + "\"\n}\n");
    }
    EXPECT_GT(answered.size(), 100u);  // a loaded loopback may drop some, never mix them
}
