// The operator's PIN: its salted hash as stored in the kiosk's PIN file, and the check of a try.

#include "platform/OperatorPin.h"

#include "platform/Errors.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <fstream>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <optional>
#include <vector>

namespace qv {
namespace {

constexpr std::string_view kScheme = "pbkdf2-sha256";
constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kKeyBytes = 32;
// Bounds on a stored work factor: a damaged or hostile file must neither make the check
// trivial nor stall the station for minutes.
constexpr int kMinIterations = 1000;
constexpr int kMaxIterations = 10000000;
// A PIN file is one short line; anything longer is not one.
constexpr std::size_t kMaxPinFileBytes = 4096;

std::string toHex(std::span<const unsigned char> bytes) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0f];
    }
    return text;
}

std::optional<std::vector<unsigned char>> fromHex(std::string_view text) {
    if (text.empty() || text.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<unsigned char> bytes(text.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto [end, error] =
            std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, bytes[i], 16);
        if (error != std::errc() || end != text.data() + 2 * i + 2) {
            return std::nullopt;
        }
    }
    return bytes;
}

std::array<unsigned char, kKeyBytes>
deriveKey(std::string_view pin, std::span<const unsigned char> salt, int iterations) {
    std::array<unsigned char, kKeyBytes> key{};
    if (PKCS5_PBKDF2_HMAC(pin.data(), static_cast<int>(pin.size()), salt.data(),
                          static_cast<int>(salt.size()), iterations, EVP_sha256(),
                          static_cast<int>(key.size()), key.data()) != 1) {
        throw GeneralError("Cannot derive the operator PIN's key");
    }
    return key;
}

std::vector<std::string_view> splitFields(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('$', start);
        fields.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return fields;
        }
        start = end + 1;
    }
}

} // namespace

void checkNewOperatorPin(std::string_view pin) {
    if (pin.size() < kOperatorPinMinLength) {
        throw GeneralError("The PIN must have at least " + std::to_string(kOperatorPinMinLength) +
                           " characters");
    }
    if (pin.size() > kOperatorPinMaxLength) {
        throw GeneralError("The PIN must have at most " + std::to_string(kOperatorPinMaxLength) +
                           " characters");
    }
    if (std::any_of(pin.begin(), pin.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
        throw GeneralError("The PIN must not hold control characters");
    }
    // The first PINs anyone tries at a door: 000000, 123456, 987654.
    for (const int step : {0, 1, -1}) {
        const bool run = std::adjacent_find(pin.begin(), pin.end(), [step](char a, char b) {
                             return b - a != step;
                         }) == pin.end();
        if (run) {
            throw GeneralError(step == 0 ? "The PIN must not repeat a single character"
                                         : "The PIN must not be a plain ascending or "
                                           "descending run");
        }
    }
}

std::string hashOperatorPin(std::string_view pin, std::span<const unsigned char> salt,
                            int iterations) {
    const auto key = deriveKey(pin, salt, iterations);
    return std::string(kScheme) + '$' + std::to_string(iterations) + '$' + toHex(salt) + '$' +
           toHex(key);
}

std::string hashOperatorPin(std::string_view pin) {
    std::array<unsigned char, kSaltBytes> salt{};
    if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1) {
        throw GeneralError("Cannot make a random salt for the operator PIN");
    }
    return hashOperatorPin(pin, salt);
}

bool operatorPinMatches(std::string_view stored, std::string_view pin) {
    const std::vector<std::string_view> fields = splitFields(stored);
    int iterations = 0;
    const auto invalid = [] { return GeneralError("The operator PIN file holds no valid PIN"); };
    if (fields.size() != 4 || fields[0] != kScheme) {
        throw invalid();
    }
    const auto [end, error] =
        std::from_chars(fields[1].data(), fields[1].data() + fields[1].size(), iterations);
    if (error != std::errc() || end != fields[1].data() + fields[1].size() ||
        iterations < kMinIterations || iterations > kMaxIterations) {
        throw invalid();
    }
    const auto salt = fromHex(fields[2]);
    const auto expected = fromHex(fields[3]);
    if (!salt || !expected || expected->size() != kKeyBytes) {
        throw invalid();
    }
    const auto key = deriveKey(pin, *salt, iterations);
    return CRYPTO_memcmp(key.data(), expected->data(), key.size()) == 0;
}

std::string readOperatorPinFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw GeneralError("Cannot read the operator PIN file " + path);
    }
    std::string text(kMaxPinFileBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    if (first >= last || text.size() > kMaxPinFileBytes) {
        throw GeneralError("The operator PIN file " + path + " holds no PIN");
    }
    return std::string(first, last);
}

} // namespace qv
