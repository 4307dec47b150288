#include "services/discovery_protocol.h"

#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <sstream>

namespace pt = boost::property_tree;

std::string discovery_service_name(const std::string& side_utf8) {
    return side_utf8 == "левый" ? "undercam_left" : "undercam_right";
}

std::optional<std::string> discovery_answer(const std::string& query,
                                            const std::string& service_name) {
    pt::ptree tree;
    std::istringstream in(query);
    pt::read_json(in, tree);
    if (tree.get<std::string>("type", "") != "query") return std::nullopt;
    const std::string service = tree.get<std::string>("service", "");
    if (service != "any" && service != service_name) return std::nullopt;
    tree.put("type", "answer");
    tree.put("service", service_name);
    std::ostringstream out;
    pt::write_json(out, tree, true);
    return out.str();
}

bool answer_size_allowed(size_t query_size, size_t answer_size) {
    return answer_size <= kMaxAnswerSize && answer_size <= kMaxAnswerGrowth * query_size;
}

std::string discovery_query(const std::string& service) {
    pt::ptree tree;
    tree.put("type", "query");
    tree.put("service", service);
    std::ostringstream out;
    pt::write_json(out, tree, false);
    return out.str();
}
