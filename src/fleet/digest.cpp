#include "fleet/digest.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace {

std::string digest(const EVP_MD* type, std::string_view bytes) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), out, &size, type, nullptr) != 1) {
        throw std::runtime_error("digest failed in OpenSSL");
    }
    return std::string(reinterpret_cast<const char*>(out), size);
}

std::string hex(const std::string& raw) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(raw.size() * 2);
    for (const unsigned char c : raw) {
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

std::string base64(const std::string& raw) {
    std::string out(4 * ((raw.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(raw.data()),
                                  static_cast<int>(raw.size()));
    out.resize(size_t(n));
    return out;
}

}  // namespace

std::string sha256_hex(std::string_view bytes) {
    return hex(digest(EVP_sha256(), bytes));
}

std::string md5_hex(std::string_view bytes) {
    return hex(digest(EVP_md5(), bytes));
}

payload_digests digests_of(std::string_view bytes) {
    const std::string md5 = digest(EVP_md5(), bytes);
    return {sha256_hex(bytes), hex(md5), base64(md5)};
}

bool is_lower_hex(std::string_view text, size_t digits) {
    if (text.size() != digits) return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}
