// The upload state's reader from any bytes, as a state file found on disk:
// it never throws (a file it cannot take is set aside), and a state it takes
// is written again as it reads, and read again to the same bytes.
#include "fleet/upload_state.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const upload_state state = upload_state::from_text(bytes, "http://127.0.0.1:7480", "fleet");
    if (state.load_problem().empty()) {
        const std::string text = state.text();
        const upload_state again = upload_state::from_text(text, "http://127.0.0.1:7480", "fleet");
        FUZZ_CHECK(again.load_problem().empty());
        FUZZ_CHECK(again.text() == text);
        FUZZ_CHECK(again.records().size() == state.records().size());
    }
    return 0;
}
