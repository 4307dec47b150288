// The discovery datagram from any bytes (at most 128, read up to the first
// NUL, as the service reads it). A query is answered, or not, or refused as
// not JSON; an answer is JSON again, says "answer" and the station's name,
// and goes out only within the bounds that keep it from amplifying.
#include "fuzz_check.h"
#include "services/discovery_protocol.h"

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    size = std::min(size, kDiscoveryDatagramSize);
    const auto end = std::find(data, data + size, uint8_t(0));
    const std::string query(data, end);
    for (const char* side : {"левый", "правый"}) {
        const std::string name = discovery_service_name(side);
        std::optional<std::string> answer;
        try {
            answer = discovery_answer(query, name);
        } catch (const std::exception&) {
            continue;  // not JSON, or not a tree JSON can hold: the service reports it
        }
        if (!answer) continue;
        boost::property_tree::ptree tree;
        std::istringstream in(*answer);
        boost::property_tree::read_json(in, tree);  // throws, and so fails, for bad JSON
        FUZZ_CHECK(tree.get<std::string>("type", "") == "answer");
        FUZZ_CHECK(tree.get<std::string>("service", "") == name);
        FUZZ_CHECK(answer->back() == '\n');
        const bool allowed = answer_size_allowed(query.size(), answer->size());
        FUZZ_CHECK(allowed == (answer->size() <= kMaxAnswerSize &&
                               answer->size() <= kMaxAnswerGrowth * query.size()));
    }
    return 0;
}
