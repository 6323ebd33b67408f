// The enrolled staff: identifiers, names, and their lookup.

#include "tools/clocking-service/Staff.h"

#include "tools/clocking-service/Clock.h"

namespace qv::clocking {

std::string trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

void enroll(Database& db, const StaffMember& member) {
    auto insert = db.prepare("INSERT INTO staff (id, name, photo, enrolled_at) VALUES (?, ?, ?, ?) "
                             "ON CONFLICT(id) DO UPDATE SET name = excluded.name, "
                             "photo = excluded.photo, enrolled_at = excluded.enrolled_at");
    insert.bind(1, trimBlanks(member.id)).bind(2, member.name);
    if (member.photo.empty()) {
        insert.bindNull(3);
    } else {
        insert.bind(3, std::span<const std::uint8_t>(member.photo));
    }
    insert.bind(4, member.enrolledAt.empty() ? utcTimestamp(now()) : member.enrolledAt).run();
}

std::optional<StaffMember> findStaff(Database& db, std::string_view id) {
    auto query = db.prepare("SELECT id, name, photo, enrolled_at FROM staff WHERE id = ?");
    query.bind(1, trimBlanks(id));
    if (!query.step()) {
        return std::nullopt;
    }
    StaffMember member{query.text(0), query.text(1), query.blob(2), query.text(3)};
    member.hasPhoto = !member.photo.empty();
    return member;
}

std::vector<StaffMember> listStaff(Database& db) {
    auto query =
        db.prepare("SELECT id, name, enrolled_at, photo IS NOT NULL FROM staff ORDER BY id");
    std::vector<StaffMember> members;
    while (query.step()) {
        members.push_back({query.text(0), query.text(1), {}, query.text(2), query.integer(3) != 0});
    }
    return members;
}

} // namespace qv::clocking
