#include "recording/coordinate_protocol.h"

#include "database/session_code.h"
#include "runtime/byte_order.h"

#include <algorithm>
#include <cstring>

using namespace coordinate_answer_layout;

coordinate_query_bytes coordinate_query() {
    using namespace coordinate_query_layout;
    coordinate_query_bytes query{};
    std::memcpy(query.data() + kMagicOffset, "CXQUEST2", kMagicSize);
    put_le32(query.data() + kOneOffset, 1);
    return query;
}

namespace {

std::string text_at(const coordinate_answer_bytes& answer, size_t offset, size_t limit) {
    const auto begin = answer.begin() + offset;
    const auto end = answer.begin() + std::min(offset + limit, answer.size());
    return std::string(begin, std::find(begin, end, uint8_t(0)));
}

}  // namespace

std::string session_code_of_answer(const coordinate_answer_bytes& answer) {
    return make_session_code(text_at(answer, kFirstTextOffset, kFirstTextSize),
                             text_at(answer, kSecondTextOffset, answer.size()));
}

coordinate_answer_bytes coordinate_answer(const std::string& first, const std::string& second) {
    coordinate_answer_bytes answer{};
    std::memcpy(answer.data() + kFirstTextOffset, first.data(),
                std::min(first.size(), kFirstTextSize - 1));
    std::memcpy(answer.data() + kSecondTextOffset, second.data(),
                std::min(second.size(), answer.size() - kSecondTextOffset - 1));
    return answer;
}
