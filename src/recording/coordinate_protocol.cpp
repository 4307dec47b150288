#include "recording/coordinate_protocol.h"

#include "database/frame_lookup.h"

#include <algorithm>
#include <cstring>

std::array<uint8_t, kCoordinateQuerySize> coordinate_query() {
    std::array<uint8_t, kCoordinateQuerySize> query{};
    std::memcpy(query.data(), "CXQUEST2", 8);
    query[16] = 1;  // 32-bit little-endian 1 at offset 16
    return query;
}

namespace {

std::string text_at(const std::array<uint8_t, kCoordinateAnswerSize>& answer, size_t offset,
                    size_t limit) {
    const auto begin = answer.begin() + offset;
    const auto end = answer.begin() + std::min(offset + limit, answer.size());
    return std::string(begin, std::find(begin, end, uint8_t(0)));
}

}  // namespace

std::string session_code_of_answer(const std::array<uint8_t, kCoordinateAnswerSize>& answer) {
    const std::string first =
        text_at(answer, kFirstTextOffset, kSecondTextOffset - kFirstTextOffset);
    const std::string second = text_at(answer, kSecondTextOffset, answer.size());
    return make_session_code(first, second);
}

std::array<uint8_t, kCoordinateAnswerSize> coordinate_answer(const std::string& first,
                                                             const std::string& second) {
    std::array<uint8_t, kCoordinateAnswerSize> answer{};
    std::memcpy(answer.data() + kFirstTextOffset, first.data(),
                std::min(first.size(), kSecondTextOffset - kFirstTextOffset - 1));
    std::memcpy(answer.data() + kSecondTextOffset, second.data(),
                std::min(second.size(), answer.size() - kSecondTextOffset - 1));
    return answer;
}
