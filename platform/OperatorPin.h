// The operator's PIN: its salted hash as stored in the kiosk's PIN file, and the check of a try.

#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qv {

// Where `quorvantis-kiosk set-pin` keeps the hash: a root-owned folder, the file readable by
// the PIN checker's own user alone. The kiosk never reads it: it asks the checker.
inline constexpr const char* kOperatorPinFile = "/var/lib/quorvantis/operator-pin";

// The work factor of new hashes (PBKDF2-HMAC-SHA256); a stored hash keeps its own.
inline constexpr int kOperatorPinIterations = 600000;
inline constexpr std::size_t kOperatorPinMinLength = 6;
inline constexpr std::size_t kOperatorPinMaxLength = 64;

// Why a PIN is among the first anyone tries at a door, as the end of "The PIN must not ...":
// a plain run (000000, 123456), a repeated group (121212), doubled characters (112233), a
// palindrome (123321), lines or walks on a keypad (147258, 159753) or one of the commonest
// PINs. Nothing for a PIN with none of these.
std::optional<std::string> operatorPinWeakness(std::string_view pin);

// Throws GeneralError, with a message for the person setting it, when the PIN is too short,
// too long, holds control characters or is weak (operatorPinWeakness).
void checkNewOperatorPin(std::string_view pin);

// The stored form of a PIN: "pbkdf2-sha256$<iterations>$<salt hex>$<key hex>".
std::string hashOperatorPin(std::string_view pin, std::span<const unsigned char> salt,
                            int iterations = kOperatorPinIterations);
// The same with a fresh random salt.
std::string hashOperatorPin(std::string_view pin);

// Whether the PIN is the one the stored form was made from. A stored form that is not one
// (damaged, or an unreasonable work factor) throws GeneralError rather than letting anyone in.
bool operatorPinMatches(std::string_view stored, std::string_view pin);

// The stored form in the PIN file, its surrounding blanks removed. Throws GeneralError when
// the file cannot be read or is empty.
std::string readOperatorPinFile(const std::string& path);

} // namespace qv
