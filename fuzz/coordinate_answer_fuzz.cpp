// The coordinate server's answer from any bytes, as one or two receives into
// the answer buffer (which is never cleared between answers). The session
// code is "" unless both texts are filled, else the two joined by " : ",
// each read within its field (the second up to the buffer's end), and the
// texts read back from an answer made of them give the same code.
#include "fuzz_check.h"
#include "recording/coordinate_protocol.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// The text at `offset`, ending at its NUL or `limit` bytes on.
std::string text_at(const coordinate_answer_bytes& answer, size_t offset, size_t limit) {
    const char* begin = reinterpret_cast<const char*>(answer.data() + offset);
    return std::string(begin, strnlen(begin, limit));
}

void check(const coordinate_answer_bytes& answer) {
    using namespace coordinate_answer_layout;
    const std::string code = session_code_of_answer(answer);
    const std::string first = text_at(answer, kFirstTextOffset, kFirstTextSize);
    const std::string second =
        text_at(answer, kSecondTextOffset, answer.size() - kSecondTextOffset);
    if (first.empty() || second.empty()) {
        FUZZ_CHECK(code.empty());
        return;
    }
    FUZZ_CHECK(code == first + " : " + second);
    // Texts that leave room for their terminator come back the same.
    if (first.size() < kFirstTextSize && second.size() < answer.size() - kSecondTextOffset) {
        FUZZ_CHECK(session_code_of_answer(coordinate_answer(first, second)) == code);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    coordinate_answer_bytes answer{};
    const size_t first_receive = std::min(size, answer.size());
    std::memcpy(answer.data(), data, first_receive);
    check(answer);
    // A second receive writes over the beginning and leaves the rest.
    const size_t second_receive = std::min(size - first_receive, answer.size());
    std::memcpy(answer.data(), data + first_receive, second_receive);
    check(answer);
    return 0;
}
