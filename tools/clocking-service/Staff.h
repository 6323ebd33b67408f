// The enrolled staff: identifiers, names, and their lookup.

#pragma once

#include "tools/clocking-service/Database.h"

#include <optional>
#include <string>
#include <vector>

namespace qv::clocking {

struct StaffMember {
    std::string id; // stored trimmed of blanks
    std::string name;
    std::vector<std::uint8_t> photo;          // a JPEG file, or empty
    std::string enrolledAt;                   // UTC, ISO 8601
    bool hasPhoto = false;                    // also set where the photograph itself is not read
    std::optional<std::int64_t> photoId = {}; // set by findStaff: the stored picture's number
};

// The identifier as it is compared: without leading and trailing blanks (spaces and tabs).
std::string trimBlanks(std::string_view text);

// Adds a member, or replaces the name and photograph of one with the same identifier.
void enroll(Database& db, const StaffMember& member);
// Removes a member; the ledger keeps their rows, name and photograph. False when unknown.
bool removeStaff(Database& db, std::string_view id);
// With the photograph's bytes unless `withPhoto` is false (photoId and hasPhoto are set).
std::optional<StaffMember> findStaff(Database& db, std::string_view id, bool withPhoto = true);
// A stored photograph by number; empty when there is none.
std::vector<std::uint8_t> storedPhoto(Database& db, std::int64_t photoId);
// Without photographs, ordered by identifier.
std::vector<StaffMember> listStaff(Database& db);

} // namespace qv::clocking
