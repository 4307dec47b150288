// The store's XML answers from any bytes: the error document's reader never
// throws, the listing's reader throws only its own error, and what it reads
// is whole (a truncated page always has a token to go on with).
#include "fleet/s3_answer.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    (void)read_s3_error(body);
    try {
        const s3_list_page page = read_list_page(body);
        FUZZ_CHECK(!page.truncated || !page.next_token.empty());
        for (const auto& object : page.objects)
            FUZZ_CHECK(!object.key.empty());
    } catch (const s3_answer_error&) {
    }
    return 0;
}
