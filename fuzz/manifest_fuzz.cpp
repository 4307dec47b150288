// The session manifest's reader, and the JSON under it, from any bytes. A
// manifest the reader takes must be written again as it reads, and read
// again to the same bytes; any bytes as a JSON string must read back whole.
#include "fleet/json.h"
#include "fleet/manifest.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string quoted;
    append_json_string(quoted, bytes);
    FUZZ_CHECK(parse_json(quoted).text == bytes);
    try {
        const session_manifest m = read_manifest(bytes);
        const std::string text = write_manifest(m);
        FUZZ_CHECK(write_manifest(read_manifest(text)) == text);
        FUZZ_CHECK(m.count == m.frames.size() && !m.chunks.empty());
    } catch (const manifest_error&) {
    }
    return 0;
}
