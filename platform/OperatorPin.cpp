// The operator's PIN: its salted hash as stored in the kiosk's PIN file, and the check of a try.

#include "platform/OperatorPin.h"

#include "platform/Errors.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
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
// A run goes up, down or nowhere, one step at a time.
constexpr std::array<int, 3> kRunSteps{0, 1, -1};
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

// Whether every step is the same: 000000, 123456, 987654.
bool isPlainRun(std::string_view pin) {
    return std::any_of(kRunSteps.begin(), kRunSteps.end(), [pin](int step) {
        return std::adjacent_find(pin.begin(), pin.end(),
                                  [step](char a, char b) { return b - a != step; }) == pin.end();
    });
}

// A group said again and again: 121212, 123123, 520520.
bool repeatsAGroup(std::string_view pin) {
    for (std::size_t length = 1; length <= pin.size() / 2; ++length) {
        if (pin.size() % length == 0 && pin.substr(length) == pin.substr(0, pin.size() - length)) {
            return true;
        }
    }
    return false;
}

// Each character said at least twice in a row: 112233, 111222, 998877.
bool isDoubledCharacters(std::string_view pin) {
    std::size_t start = 0;
    while (start < pin.size()) {
        const std::size_t end = std::min(pin.find_first_not_of(pin[start], start), pin.size());
        if (end - start < 2) {
            return false;
        }
        start = end;
    }
    return true;
}

// Where a digit sits on a keypad: rows 123, 456, 789, then 0 under the 8.
std::optional<std::pair<int, int>> keyPosition(char digit) {
    if (digit == '0') {
        return std::pair{3, 1};
    }
    if (digit < '1' || digit > '9') {
        return std::nullopt;
    }
    return std::pair{(digit - '1') / 3, (digit - '1') % 3};
}

// Lines of three keys (rows, columns, diagonals, either way) one after another: 147258, 789456,
// 159753; or a walk from each key to one of its neighbours: 147852, 124578.
bool followsTheKeypad(std::string_view pin) {
    std::vector<std::pair<int, int>> keys;
    for (const char c : pin) {
        const auto key = keyPosition(c);
        if (!key) {
            return false;
        }
        keys.push_back(*key);
    }
    const auto step = [&](std::size_t i) {
        return std::pair{keys[i + 1].first - keys[i].first, keys[i + 1].second - keys[i].second};
    };
    const auto neighbours = [&](std::size_t i) {
        const auto [rows, columns] = step(i);
        return std::max(std::abs(rows), std::abs(columns)) == 1;
    };
    bool walk = true;
    for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
        walk = walk && neighbours(i);
    }
    bool lines = keys.size() % 3 == 0;
    for (std::size_t i = 0; lines && i < keys.size(); i += 3) {
        lines = neighbours(i) && step(i) == step(i + 1);
    }
    return walk || lines;
}

// Six-digit PINs found near the top of every published count of chosen PINs that the shapes
// above do not already catch.
constexpr std::array<std::string_view, 14> kCommonPins{
    "102030", "123654", "102938", "100200", "112358", "142536", "010203",
    "121314", "123098", "135790", "246810", "013579", "024680", "147369",
};

} // namespace

std::optional<std::string> operatorPinWeakness(std::string_view pin) {
    if (isPlainRun(pin)) {
        return "repeat one character or be a plain ascending or descending run";
    }
    if (repeatsAGroup(pin)) {
        return "repeat a group of characters (121212, 123123)";
    }
    if (isDoubledCharacters(pin)) {
        return "be made of repeated characters (112233, 111222)";
    }
    if (std::equal(pin.begin(), pin.begin() + static_cast<std::ptrdiff_t>(pin.size() / 2),
                   pin.rbegin())) {
        return "read the same backwards (123321)";
    }
    if (followsTheKeypad(pin)) {
        return "follow lines or neighbouring keys on a keypad (147258, 789456, 159753)";
    }
    if (std::find(kCommonPins.begin(), kCommonPins.end(), pin) != kCommonPins.end()) {
        return "be one of the commonest PINs";
    }
    return std::nullopt;
}

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
    if (const std::optional<std::string> weakness = operatorPinWeakness(pin)) {
        throw GeneralError("The PIN must not " + *weakness);
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
